#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "tests/support/target_harness.h"
#include "targetlib/checksum.h"
#include "targetlib/transact.h"
#include "tools/zsim/simfaults.h"

namespace {

SimOptions WithFault(SimFault::Kind kind, int command, int count, unsigned value = 0)
{
    SimOptions options;
    SimFault fault;
    fault.kind = kind;
    fault.command = command;
    fault.count = count;
    fault.value = value;
    options.faults.push_back(fault);
    return options;
}

// `frame` with its checksum bytes written afresh after an edit.
std::string Reseal(std::string frame)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(frame.data());
    uint16_t sum = CalcFletcher16(p + 2, int(frame.size()) - 4);
    frame[frame.size() - 2] = char(sum >> 8);
    frame[frame.size() - 1] = char(sum & 0xFF);
    return frame;
}

// Waits (up to two seconds) until the port holds `n` received bytes.
bool ReceivedByPort(int n)
{
    return Eventually([n] { return Port.RxBytes() >= n; }, std::chrono::seconds(2));
}

std::vector<int> Repeated(int code, int times)
{
    return std::vector<int>(size_t(times), code);
}

// Starts a 4-byte flash loader on the captured device; the host follows it
// to `baud` (the device's loaderBaud).
bool StartLoader(unsigned long baud)
{
    IMG loader;
    loader.address = 0x20000000;
    loader.blocks.push_back(BLK{0, 4, "code"});
    bool started = false;
    Printed([&] { started = RAMExec(&loader, false, baud); });
    return started;
}

}  // namespace

TEST_F(SimTargetTest, ReplyOnTheThirdAttemptIsAccepted)
{
    Connect(WithFault(SimFault::DropReply, CmdQuery, 2));
    sim->ResetStats();
    std::string answer;
    EXPECT_EQ(Printed([&] { answer = Query("HW"); }), "VKT3K\n");
    EXPECT_EQ(answer, "VKT3K");
    EXPECT_EQ(LastError(), 0);
    EXPECT_EQ(sim->Stats().commands, Repeated(CmdQuery, 3));
}

TEST_F(SimTargetTest, NoReplyGivesUpAfterThreeTimeouts)
{
    Connect(WithFault(SimFault::DropReply, CmdQuery, -1));
    sim->ResetStats();
    std::string answer = "unchanged";
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Printed([&] { answer = Query("HW"); }), "  ERR:  No response from target.\n");
    long took = ElapsedMs(t0);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(sim->Stats().commands, Repeated(CmdQuery, 3));
    EXPECT_GE(took, 3 * 200);
    EXPECT_LT(took, 10000);
}

TEST_F(SimTargetTest, CorruptedRepliesAreRetried)
{
    Connect(WithFault(SimFault::CorruptReply, CmdQuery, 2));
    sim->ResetStats();
    EXPECT_EQ(Printed([] { Query("HW"); }), "VKT3K\n");
    EXPECT_EQ(sim->Stats().commands, Repeated(CmdQuery, 3));
}

TEST_F(SimTargetTest, NoiseBeforeAReplyIsSkipped)
{
    Connect(WithFault(SimFault::Noise, CmdQuery, 1, 40));
    sim->ResetStats();
    EXPECT_EQ(Printed([] { Query("HW"); }), "VKT3K\n");
    EXPECT_EQ(sim->Stats().commands, Repeated(CmdQuery, 1));
}

TEST_F(SimTargetTest, LongAnswerArrivesWhole)
{
    SimOptions options;
    options.installedInfo = "VN:3.1.4\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-02-01 08:00\r\n" + std::string(200, 'x') + "\r\n";
    Connect(options);
    std::string info;
    Printed([&] { info = GetInfo(2); });
    EXPECT_EQ(info, options.installedInfo);
    EXPECT_EQ(LastError(), 0);
}

TEST_F(SimTargetTest, TimeOutStartsOnceTheRequestHasLeftTheWire)
{
    SimOptions options;
    options.wireTime = true;
    // A loader at 19200, where the largest block takes 600 ms on the wire:
    // twice programming's reply time-out.
    options.loaderBaud = 19200;
    Connect(options);
    ASSERT_TRUE(StartLoader(19200));

    IMG image;
    image.blocks.push_back(BLK{0, kMaxPayload, std::string(kMaxPayload, '\x5A')});
    Printed([] { EraseFlash(2); });
    sim->ResetStats();
    bool programmed = false;
    Printed([&] { programmed = ProgramFlash(&image); });
    EXPECT_TRUE(programmed);
    // A repeated request would reach the device once its first reply is out.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(sim->Stats().commands, std::vector<int>{CmdProgramAlt});
}

namespace {

// One reply late past its attempt's time-out: the device answers the request
// and, after the host has sent it again, the repeat too. Every step of the
// session must still get its own request's answer. Each reply comes about
// half a time-out into the host's second attempt.
struct LateReplyCase {
    const char *what;
    const char *fault;  // zsim's text form (late:COMMAND:SKIP:COUNT:MS); null: none
    SimRepeats repeats;
    int weakBlock;       // a block that programming writes wrongly: a real mismatch
    const char *verify;  // how the verification ends; null: it passes
};

const char kNotBlank[] = "blank check failed: Operation failed with the following error: Flash not blank.";

const LateReplyCase kLateReplies[] = {
    {"no fault", nullptr, SimRepeats::Once, -1, nullptr},
    {"installed firmware", "late:4:0:1:300", SimRepeats::Once, -1, nullptr},
    {"hardware query", "late:3:0:1:300", SimRepeats::Once, -1, nullptr},
    {"blank check that finds firmware", "late:93:0:1:450", SimRepeats::Once, -1, nullptr},
    {"blank check after the erase", "late:93:1:1:450", SimRepeats::Once, -1, nullptr},
    {"program block", "late:190:5:1:450", SimRepeats::Once, -1, nullptr},
    {"verify block", "late:191:5:1:150", SimRepeats::Once, -1, nullptr},
    // A device that carries the repeat out again: programmed twice, block 5
    // stands in block 6's place too, and verification finds it. Verified
    // twice, the repeat's mismatch is the repeat's answer, not block 6's.
    {"program block, done twice", "late:190:5:1:450", SimRepeats::Twice, -1,
     "verify failed: Operation failed with the following error at block 6: Flash verify error."},
    {"verify block, done twice", "late:191:5:1:150", SimRepeats::Twice, -1, nullptr},
    // The last block holds other data than the image; the block before it
    // answers late: the repeat's "accepted" is not block 7's answer.
    {"verify block before a mismatch", "late:191:6:1:150", SimRepeats::Once, 7,
     "verify failed: Operation failed with the following error at block 7: Flash verify error."},
};

std::string FirstLine(const std::string &text)
{
    return text.substr(0, text.find('\r'));
}

// 8 blocks of 128 bytes that differ from each other, so that a block written
// or compared out of place shows.
std::string LateReplyImageData()
{
    std::string data = "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    data += '\0';
    for (int i = 0; data.size() < size_t(8 * 128); ++i)
        data += char((i * 7 + i / 128) & 0xFF);
    return data;
}

// The flash loader's part of a program run, each step's outcome in words.
std::vector<std::string> FlashSession(IMG &image)
{
    std::vector<std::string> said;
    auto step = [&said](const char *name, bool ok) {
        said.push_back(std::string(name) + (ok ? " ok" : " failed: " + LastErrorText()));
    };
    Printed([&] {
        said.push_back("installed " + FirstLine(GetInfo(2)));
        said.push_back("hw " + Query("HW"));
        step("blank check", BlankCheck(2));
        step("erase", EraseFlash(2));
        step("blank check", BlankCheck(2));
        step("program", ProgramFlash(&image));
        step("verify", VerifyFlash(&image));
        said.push_back("installed " + FirstLine(GetInfo(2)));
    });
    return said;
}

}  // namespace

// The erase's late reply (past 30 s) is a row of the fault matrix.
TEST_F(SimTargetTest, ALateReplyIsNeverTheAnswerToAnotherRequest)
{
    const std::string data = LateReplyImageData();
    for (const LateReplyCase &c : kLateReplies) {
        SCOPED_TRACE(c.what);
        SimOptions options;
        options.wireTime = true;  // the repeat's answer follows the late one a frame's time later
        options.loaderBaud = 115200;
        options.repeats = c.repeats;
        SimUnit unit;
        unit.weakBlock = c.weakBlock;
        options.units.push_back(unit);
        SimFault late;
        if (c.fault) {
            ASSERT_TRUE(ParseSimFault(c.fault, late));
            options.faults.push_back(late);
        }
        ASSERT_NO_FATAL_FAILURE(Connect(options));
        ASSERT_TRUE(StartLoader(115200));
        IMG image;
        image.blocks = SplitIntoBlocks(data, 128);

        const std::vector<std::string> said = FlashSession(image);
        const std::vector<std::string> expected = {
            "installed VN:1.0.0", "hw VKT3K", kNotBlank, "erase ok", "blank check ok", "program ok",
            c.verify ? c.verify : "verify ok", "installed VN:2.0.0"};
        EXPECT_EQ(said, expected);
        EXPECT_EQ(sim->FlashContents() == data, c.verify == nullptr);
        const std::vector<int> commands = sim->Stats().commands;
        if (c.fault) {
            EXPECT_GT(std::count(commands.begin(), commands.end(), late.command), late.skip + 1)
                << "the late request was not sent again";
        }
        TearDown();
    }
}

// A transaction that gave up still waits, before the next request, for the
// replies it may be owed: one that comes then is dropped.
TEST_F(PtyTargetTest, AReplyAfterTheLastAttemptIsNotTheNextRequestsAnswer)
{
    std::atomic<bool> gaveUp{false};
    // The answering thread outlives this body: it shares the flag.
    auto lateSent = std::make_shared<std::atomic<bool>>(false);
    const std::string forB = FrameOf(CmdQuery, "B");
    // B is answered only once A's late reply is on the line.
    line.Answer([lateSent, forB](const std::string &frame) {
        if (frame != forB)
            return std::string();
        const std::atomic<bool> *sent = lateSent.get();
        Eventually([sent] { return sent->load(); }, std::chrono::seconds(5));
        return FrameOf(0, "for B");
    });
    std::thread late([&] {
        Eventually([&] { return gaveUp.load(); }, std::chrono::seconds(5));
        line.Send(FrameOf(0, "for A"));
        *lateSent = true;
    });
    std::string a = "unchanged", b;
    ResetTransactTimes();
    Printed([&] {
        a = Query("A");
        gaveUp = true;
        b = Query("B");
    });
    late.join();
    EXPECT_EQ(a, "");
    EXPECT_EQ(b, "for B");
    EXPECT_EQ(GetTransactTimes().owedDrains, 1ul);
    EXPECT_EQ(GetTransactTimes().repliesDropped, 1ul);
}

TEST_F(PtyTargetTest, ARequestWithoutPayloadIsSixBytes)
{
    Printed([] { ResetTarget(); });  // unanswered: three identical attempts
    std::string one("\x81\xA1\x02\x00\x02\x04", 6);
    EXPECT_EQ(line.Received(18, 2000), one + one + one);
}

TEST_F(PtyTargetTest, LongNameTravelsInTheLongFormAndSoDoesTheAnswer)
{
    std::string name(200, 'n'), answer(300, 'a');
    // The answering thread outlives this body: it keeps its own copies.
    line.Answer([answer](const std::string &) { return FrameOf(0, answer); });
    std::string got;
    Printed([&] { got = Query(name.c_str()); });
    EXPECT_EQ(got, answer);
    ASSERT_EQ(line.Requests().size(), 1u);
    std::string request = line.Requests()[0];
    EXPECT_EQ(request, FrameOf(CmdQuery, name));
    EXPECT_EQ((unsigned char)request[3], 0x80 | (208 / 8 - 16));  // D = 1 + 200 + 7
    EXPECT_EQ(request[4], 7);                                      // pad count
}

TEST_F(PtyTargetTest, StaleBytesAndFramesBeforeTheRequestAreDropped)
{
    const std::string stale = "junk" + FrameOf(0, "STALE") + "\x81";
    line.Send(stale);
    ASSERT_TRUE(ReceivedByPort(int(stale.size())));
    line.Answer([](const std::string &) { return FrameOf(0, "FRESH"); });
    std::string got;
    EXPECT_EQ(Printed([&] { got = Query("HW"); }), "FRESH\n");
    EXPECT_EQ(got, "FRESH");
    EXPECT_EQ(line.Requests().size(), 1u);
}

TEST_F(PtyTargetTest, ALongFormReplyWithAnImpossiblePadCountIsTreatedAsDamaged)
{
    std::string damaged = FrameOf(0, std::string(200, 'd'));
    damaged[4] = 9;  // pad count: no sender writes more than 7
    damaged = Reseal(damaged);
    line.Answer([damaged, answered = 0](const std::string &) mutable {
        return ++answered == 1 ? damaged : FrameOf(0, std::string(130, 'g'));
    });
    std::string got;
    Printed([&] { got = Query("HW"); });
    EXPECT_EQ(got, std::string(130, 'g'));
    EXPECT_EQ(line.Requests().size(), 2u);
}

TEST_F(PtyTargetTest, ARequestTooLongForOneFrameIsNotSent)
{
    std::string name(kMaxPayload + 1, 'n');
    std::string got = "unchanged";
    EXPECT_EQ(Printed([&] { got = Query(name.c_str()); }),
              "  ERR:  A request of 1144 bytes does not fit in one frame.\n  ERR:  No response from target.\n");
    EXPECT_EQ(got, "");
    EXPECT_EQ(LastError(), 2);
    EXPECT_EQ(line.Received(1, 100), "");
}

TEST_F(PtyTargetTest, GetInfoSendsTheLowByteOfTheRegion)
{
    line.Answer([](const std::string &) { return FrameOf(0, "VN:1.0\r\n"); });
    std::string info;
    EXPECT_EQ(Printed([&] { info = GetInfo(258); }), "VN:1.0\r\n\n");
    EXPECT_EQ(line.Requests(), std::vector<std::string>{FrameOf(CmdGetInfo, "\x02")});
}

TEST_F(PtyTargetTest, RangeBlankCheckSendsStartAndLengthBigEndian)
{
    line.Answer([](const std::string &) { return FrameOf(0, ""); });
    bool blank = false;
    EXPECT_EQ(Printed([&] { blank = BlankCheck(0x8000ul, 4096ul); }), "  4096 bytes at 0x8000 are blank.\n");
    EXPECT_TRUE(blank);
    EXPECT_EQ(line.Requests(),
              std::vector<std::string>{FrameOf(CmdBlankCheck, std::string("\x00\x00\x80\x00\x00\x00\x10\x00", 8))});
}

TEST_F(PtyTargetTest, TheDrainDoesNotWaitOnAQuietLine)
{
    line.Answer([](const std::string &) { return FrameOf(0, "ok"); });
    ResetTransactTimes();
    Printed([] {
        for (int i = 0; i < 100; i++)
            Query("HW");
    });
    TransactTimes times = GetTransactTimes();
    EXPECT_EQ(times.calls, 100ul);
    // Idling one read timeout (10 ms) per call would take a second at least.
    EXPECT_LT(times.drainSeconds, 0.5);
    // Every request answered: no reply is owed and none is waited for.
    EXPECT_EQ(times.owedDrains, 0ul);
    EXPECT_GT(times.waitSeconds, 0.0);
}

TEST_F(PtyTargetTest, TransactTimesStartAgainFromZero)
{
    line.Answer([](const std::string &) { return FrameOf(0, "ok"); });
    Printed([] { Query("HW"); });
    EXPECT_GE(GetTransactTimes().calls, 1ul);
    ResetTransactTimes();
    TransactTimes times = GetTransactTimes();
    EXPECT_EQ(times.calls, 0ul);
    EXPECT_EQ(times.drainSeconds + times.sendSeconds + times.waitSeconds, 0.0);
}
