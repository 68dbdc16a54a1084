#include <gtest/gtest.h>

#include "tests/support/target_harness.h"
#include "targetlib/checksum.h"
#include "targetlib/transact.h"

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
    IMG loader;
    loader.address = 0x20000000;
    loader.blocks.push_back(BLK{0, 4, "code"});
    bool started = false;
    Printed([&] { started = RAMExec(&loader, false, 19200); });
    ASSERT_TRUE(started);

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
