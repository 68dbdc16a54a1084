// The simulated device as a host sees it through a plain raw serial fd on
// the pty slave: announcements, capture, framed requests and replies, baud
// enforcement, power cycling, and faults.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"
#include "targetlib/transact.h"
#include "tools/zsim/simdevice.h"
#include "tools/zsim/simfaults.h"
#include "tests/support/eventually.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kAnnouncement = "Zelvo Boot Loader";
const std::string kAck("\x81\xA1\x00\x00\x00\x00", 6);

std::string Bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}

// A host end of the line: raw 8N1 at a settable speed.
class Host {
public:
    explicit Host(const std::string &path, speed_t speed = B115200)
    {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0) << path;
        SetSpeed(speed);
        zQueueInit(queueStore, sizeof queueStore, &reader, &writer, 2048);
        packetizer = zBinInitPacketizer(packetStore, sizeof packetStore, reader, 2048);
    }
    ~Host() { Close(); }
    void Close()
    {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    void SetSpeed(speed_t speed)
    {
        termios t;
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
        tcsetattr(fd, TCSANOW, &t);
    }
    void Write(const std::string &s) { ASSERT_EQ(write(fd, s.data(), s.size()), ssize_t(s.size())); }
    // Everything that arrives within `ms`.
    std::string ReadFor(int ms)
    {
        std::string got;
        auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until)
            ReadSome(got, 5);
        return got;
    }
    // Reads until `want` has arrived (true) or `ms` have passed.
    bool ReadUntil(const std::string &want, int ms, std::string *got = nullptr)
    {
        std::string all;
        auto until = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < until && all.find(want) == std::string::npos)
            ReadSome(all, 5);
        if (got)
            *got = all;
        return all.find(want) != std::string::npos;
    }
    void Request(unsigned char code, const std::string &payload)
    {
        unsigned char buf[6 + 1144];
        int n = BuildFrame(buf, code, payload);
        Write(std::string(reinterpret_cast<char *>(buf), n));
    }
    // The next good reply frame within `ms`; bytes read after it wait for
    // the next call (two replies may come in one read).
    bool Reply(unsigned char &status, std::string &payload, int ms = 1000)
    {
        auto until = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (unsigned char *f = zBinGetPacket(packetizer)) {
                status = f[0];
                return UnpackReply(f, payload);
            }
            if (Clock::now() >= until)
                return false;
            std::string got;
            ReadSome(got, 5);
            for (char c : got)
                zQueueWriteChar(writer, (unsigned char)c);
        }
    }
    // Request and reply; status 0xEE when no reply came.
    std::string Ask(unsigned char code, const std::string &payload, unsigned char &status, int ms = 1000)
    {
        Request(code, payload);
        std::string reply;
        if (!Reply(status, reply, ms))
            status = 0xEE;
        return reply;
    }
    void Capture()
    {
        ASSERT_TRUE(ReadUntil(kAnnouncement, 2000));
        Write("TargetStop!");
        ASSERT_TRUE(ReadUntil(kAck, 2000));
    }
    int fd = -1;

private:
    void ReadSome(std::string &into, int ms)
    {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, ms) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n > 0)
                into.append(buf, n);
        }
    }
    alignas(16) unsigned char queueStore[2048 + 64];
    alignas(16) unsigned char packetStore[2048 + 64];
    QueueReader *reader = nullptr;
    QueueWriter *writer = nullptr;
    Packetizer *packetizer = nullptr;
};

SimOptions Fast()
{
    SimOptions o;
    o.announceGapMs = 10;
    o.eraseMs = 1;
    return o;
}

size_t Count(const std::string &s, const std::string &what)
{
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

// The zero-terminated information text at the start of a flash loader's
// first RAM block.
std::string LoaderBlock(const std::string &info)
{
    return info + '\0' + std::string(40, '\x5A');
}

// Capture, download a loader naming `br` and start it; the host follows
// once the device has switched (its thread does so after the reply is out).
void StartLoader(const SimDevice &sim, Host &host, const std::string &br, speed_t hostSpeed)
{
    host.Capture();
    unsigned char st;
    host.Ask(CmdRamBlockAlt, LoaderBlock("MD:FL\nBR:" + br + "\n"), st);
    ASSERT_EQ(st, 0);
    host.Ask(CmdRamStart, Bytes({0x20, 0, 0, 0}), st);
    ASSERT_EQ(st, 0);
    ASSERT_TRUE(Eventually([&] { return sim.LoaderRunning(); }));
    host.SetSpeed(hostSpeed);
}

class SimulatorTest : public ::testing::Test {
protected:
    void Begin(const SimOptions &o = Fast())
    {
        sim.reset(new SimDevice(o));
        ASSERT_TRUE(sim->Start());
        host.reset(new Host(sim->PortPath()));
    }
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<Host> host;
    unsigned char status = 0;
};

}  // namespace

TEST_F(SimulatorTest, AnnouncementRepeatsUntilCaptured)
{
    Begin();
    std::string got = host->ReadFor(300);
    EXPECT_GE(Count(got, kAnnouncement), 3u);
    EXPECT_EQ(got.find_first_not_of(kAnnouncement), std::string::npos);
    EXPECT_FALSE(sim->Captured());
}

TEST_F(SimulatorTest, CaptureRequestIsAcknowledgedAndSilencesTheBootLoader)
{
    Begin();
    host->Capture();
    EXPECT_EQ(host->ReadFor(100), "");
    EXPECT_TRUE(sim->Captured());
    EXPECT_EQ(sim->Stats().captures, 1u);
}

TEST_F(SimulatorTest, WrongAcknowledgementIsSentWhenAsked)
{
    SimOptions o = Fast();
    o.ack = SimOptions::AckWrong;
    Begin(o);
    ASSERT_TRUE(host->ReadUntil(kAnnouncement, 2000));
    host->Write("TargetStop!");
    EXPECT_TRUE(host->ReadUntil(Bytes({0x81, 0xA1, 0x01, 0x00, 0x01, 0x01}), 2000));
}

TEST_F(SimulatorTest, QueryOfHWAnswersTheHardwareIdentifier)
{
    Begin();
    host->Capture();
    EXPECT_EQ(host->Ask(CmdQuery, "HW", status), "VKT3K");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdQuery, "SN", status), Bytes({9}));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(host->Ask(77, "", status), Bytes({8}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, EmptyHardwareIdentifierAnswersNoStringData)
{
    SimOptions o = Fast();
    o.hw = "";
    Begin(o);
    host->Capture();
    EXPECT_EQ(host->Ask(CmdQuery, "HW", status), Bytes({10}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, GetInfoAnswersTheInstalledTextOfRegion2Only)
{
    Begin();
    host->Capture();
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), Fast().installedInfo);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({1}), status), Bytes({6}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, BlankRegionAnswersNoStringData)
{
    SimOptions o = Fast();
    o.installedInfo = "";
    Begin(o);
    host->Capture();
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), Bytes({10}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, LoaderRunsAtTheBaudOfItsInformationText)
{
    Begin();
    StartLoader(*sim, *host, "921600", B921600);
    EXPECT_TRUE(sim->LoaderRunning());
    EXPECT_EQ(sim->CurrentBaud(), 921600u);
    EXPECT_EQ(host->Ask(CmdQuery, "HW", status), "VKT3K");
    EXPECT_EQ(status, 0);
}

TEST_F(SimulatorTest, HostThatStaysAtTheOldBaudGetsNoValidReply)
{
    Begin();
    StartLoader(*sim, *host, "4", B115200);
    EXPECT_EQ(sim->CurrentBaud(), 460800u);
    host->Ask(CmdQuery, "HW", status, 300);
    EXPECT_EQ(status, 0xEE);
    host->SetSpeed(B460800);
    EXPECT_EQ(host->Ask(CmdQuery, "HW", status), "VKT3K");
}

TEST_F(SimulatorTest, ResetAnswersAndReturnsToAnnouncing)
{
    Begin();
    host->Capture();
    host->Ask(CmdReset, "", status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(host->ReadUntil(kAnnouncement, 2000));
    EXPECT_FALSE(sim->Captured());
}

// Whether the host opens the port again once the device has noticed the
// close or at once (before the device thread can wake: the hang-up is over
// by the time it looks), the device power-cycles and announces.
TEST_F(SimulatorTest, ClosingThePortPowerCyclesTheDevice)
{
    for (const bool atOnce : {false, true}) {
        SCOPED_TRACE(atOnce ? "opened again at once" : "opened again after the device noticed");
        Begin();
        StartLoader(*sim, *host, "9", B921600);
        host->Close();
        if (!atOnce) {
            ASSERT_TRUE(Eventually([&] { return !sim->Captured(); }));
        }
        Host again(sim->PortPath());
        EXPECT_TRUE(again.ReadUntil(kAnnouncement, 2000));
        EXPECT_FALSE(sim->Captured());
        EXPECT_EQ(sim->CurrentBaud(), 115200u);
    }
}

// A program block sent again while the device is still at work on it (its
// reply 300 ms late), or again after its reply: written once or twice.
TEST_F(SimulatorTest, ARepeatIsCarriedOutOnceOnlyWhenItCameBeforeTheReply)
{
    const struct {
        SimRepeats repeats;
        bool beforeTheReply;
        int copies;               // of the block in the flash
        unsigned answeredAgain;   // repeats answered without being carried out
    } rows[] = {
        {SimRepeats::Once, true, 1, 1},
        {SimRepeats::Once, false, 2, 0},
        {SimRepeats::Twice, true, 2, 0},
        {SimRepeats::Twice, false, 2, 0},
    };
    const std::string block(64, '\x3C');
    for (const auto &r : rows) {
        SCOPED_TRACE(std::string(r.repeats == SimRepeats::Once ? "once" : "twice") +
                     (r.beforeTheReply ? ", before the reply" : ", after the reply"));
        SimOptions o = Fast();
        o.repeats = r.repeats;
        o.installedInfo.clear();  // a blank region
        Begin(o);
        StartLoader(*sim, *host, "1", B115200);
        SimFault late;
        ASSERT_TRUE(ParseSimFault("late:190:0:1:300", late));
        sim->AddFault(late);  // counted from here: the loader's start is not a 190
        std::string reply;
        host->Request(CmdProgramAlt, block);
        if (!r.beforeTheReply) {
            ASSERT_TRUE(host->Reply(status, reply, 2000));
        }
        host->Request(CmdProgramAlt, block);
        for (int replies = r.beforeTheReply ? 2 : 1; replies > 0; replies--) {
            ASSERT_TRUE(host->Reply(status, reply, 2000));
            EXPECT_EQ(status, 0);
        }
        std::string copies;
        for (int i = 0; i < r.copies; i++)
            copies += block;
        EXPECT_EQ(sim->FlashContents(), copies);
        EXPECT_EQ(sim->Stats().repeatsAnswered, r.answeredAgain);
    }
    // Equal blocks, each sent as soon as the one before is answered, are new
    // requests: all of them written.
    SimOptions o = Fast();
    o.installedInfo.clear();
    Begin(o);
    StartLoader(*sim, *host, "1", B115200);
    for (int i = 0; i < 50; i++) {
        host->Ask(CmdProgramAlt, block, status);
        ASSERT_EQ(status, 0) << i;
    }
    EXPECT_EQ(sim->FlashContents().size(), 50 * block.size());
    EXPECT_EQ(sim->Stats().repeatsAnswered, 0u);
}

TEST_F(SimulatorTest, EraseProgramAndVerifyFollowTheFlash)
{
    Begin();
    StartLoader(*sim, *host, "1", B115200);
    host->Ask(CmdBlankCheck, Bytes({2}), status);
    EXPECT_EQ(status, 1);
    host->Ask(CmdErase, Bytes({2}), status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdBlankCheck, Bytes({2}), status), "");
    EXPECT_EQ(status, 0);
    const std::string text = "VN:2.0.0\r\nHW:VKT3K\r\n";
    const std::string a = text + '\0' + "code", b(300, '\x42');
    host->Ask(CmdProgramAlt, a, status);
    EXPECT_EQ(status, 0);
    host->Ask(CmdProgram, b, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sim->FlashContents(), a + b);
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), text);
    host->Ask(CmdVerifyAlt, a, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdVerify, std::string(300, '\x43'), status), Bytes({4}));
    EXPECT_EQ(host->Ask(CmdBlankCheck, Bytes({0, 0, 0, 0, 0, 0, 0, 8}), status), Bytes({7}));
    EXPECT_EQ(host->Ask(CmdBlankCheck, Bytes({0, 0, 0x10, 0, 0, 0, 0, 8}), status), "");
    EXPECT_EQ(status, 0);
}

TEST_F(SimulatorTest, ProgrammingOverFirmwareWithoutEraseIsAWriteError)
{
    Begin();
    StartLoader(*sim, *host, "1", B115200);
    EXPECT_EQ(host->Ask(CmdProgram, "data", status), Bytes({3}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, ProgrammingBeyondTheRegionIsABadLength)
{
    SimOptions o = Fast();
    o.flashSize = 100;
    Begin(o);
    StartLoader(*sim, *host, "1", B115200);
    host->Ask(CmdErase, Bytes({2}), status);
    EXPECT_EQ(host->Ask(CmdProgram, std::string(101, 'x'), status), Bytes({2}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, ForcedVerifyMismatchHitsTheNamedBlock)
{
    SimOptions o = Fast();
    o.verifyMismatchBlock = 1;
    Begin(o);
    StartLoader(*sim, *host, "1", B115200);
    host->Ask(CmdErase, Bytes({2}), status);
    host->Ask(CmdProgram, "one", status);
    host->Ask(CmdProgram, "two", status);
    host->Ask(CmdVerify, "one", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdVerify, "two", status), Bytes({4}));
    EXPECT_EQ(status, 1);
}

TEST_F(SimulatorTest, FaultAppliesToExactlyTheRequestsItNames)
{
    SimOptions o = Fast();
    o.faults.push_back({SimFault::DropReply, CmdQuery, 1, 1, 0});
    o.faults.push_back({SimFault::ErrorCode, CmdGetInfo, 0, 1, 7});
    Begin(o);
    host->Capture();
    host->Ask(CmdQuery, "HW", status);
    EXPECT_EQ(status, 0);
    host->Ask(CmdQuery, "HW", status, 300);
    EXPECT_EQ(status, 0xEE);
    host->Ask(CmdQuery, "HW", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), Bytes({7}));
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), Fast().installedInfo);
    EXPECT_EQ(sim->Stats().commands, (std::vector<int>{3, 3, 3, 4, 4}));
}

TEST_F(SimulatorTest, CorruptReplyFailsItsChecksumAndNoiseDoesNotHurt)
{
    SimOptions o = Fast();
    o.faults.push_back({SimFault::CorruptReply, CmdQuery, 0, 1, 0});
    o.faults.push_back({SimFault::Noise, CmdGetInfo, 0, 1, 40});
    Begin(o);
    host->Capture();
    host->Ask(CmdQuery, "HW", status, 300);
    EXPECT_EQ(status, 0xEE);
    EXPECT_EQ(host->Ask(CmdGetInfo, Bytes({2}), status), Fast().installedInfo);
}

TEST_F(SimulatorTest, OddStatusIsSentAsGiven)
{
    SimOptions o = Fast();
    o.faults.push_back({SimFault::OddStatus, -1, 0, 1, 5});
    Begin(o);
    host->Capture();
    EXPECT_EQ(host->Ask(CmdQuery, "HW", status), "");
    EXPECT_EQ(status, 5);
}

TEST_F(SimulatorTest, LineGoesDeadAfterTheGivenNumberOfRequests)
{
    SimOptions o = Fast();
    o.closeAfterRequests = 2;
    Begin(o);
    host->Capture();
    host->Ask(CmdQuery, "HW", status);
    host->Ask(CmdQuery, "HW", status);
    EXPECT_EQ(status, 0);
    host->Ask(CmdQuery, "HW", status, 300);
    EXPECT_EQ(status, 0xEE);
}

TEST_F(SimulatorTest, WireTimeDelaysALongReplyByItsBytesAtTheBaud)
{
    SimOptions o = Fast();
    o.wireTime = true;
    o.installedInfo = "VN:1\n" + std::string(1100, 'i');
    Begin(o);
    host->Capture();
    sim->ResetStats();
    auto t0 = Clock::now();
    host->Ask(CmdGetInfo, Bytes({2}), status, 3000);
    double took = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_EQ(status, 0);
    SimStats s = sim->Stats();
    EXPECT_NEAR(s.wireSecondsOut, s.bytesOut * 10.0 / 115200, 1e-9);
    EXPECT_GE(took, (s.bytesOut + s.bytesIn) * 10.0 / 115200 * 0.9);
}

TEST(SimFaultText, ParsesEveryField)
{
    SimFault f;
    ASSERT_TRUE(ParseSimFault("error:93:2:3:7", f));
    EXPECT_EQ(f.kind, SimFault::ErrorCode);
    EXPECT_EQ(f.command, 93);
    EXPECT_EQ(f.skip, 2);
    EXPECT_EQ(f.count, 3);
    EXPECT_EQ(f.value, 7u);
    ASSERT_TRUE(ParseSimFault("drop:any:0:all", f));
    EXPECT_EQ(f.kind, SimFault::DropReply);
    EXPECT_EQ(f.command, -1);
    EXPECT_EQ(f.count, -1);
    ASSERT_TRUE(ParseSimFault("late:190:5:1:500", f));
    EXPECT_EQ(f.kind, SimFault::LateReply);
    EXPECT_EQ(f.skip, 5);
    EXPECT_EQ(f.value, 500u);
    // Every kind's word is the one its log line names.
    for (const char *word : {"drop", "corrupt", "error", "odd", "noise", "close", "slow", "late", "unplug", "reseat"}) {
        ASSERT_TRUE(ParseSimFault(std::string(word) + ":92", f)) << word;
        EXPECT_STREQ(SimFaultName(f.kind), word);
    }
}

TEST(SimFaultText, RefusesMalformedText)
{
    SimFault f;
    f.command = 42;
    EXPECT_FALSE(ParseSimFault("drop", f));
    EXPECT_FALSE(ParseSimFault("melt:92", f));
    EXPECT_FALSE(ParseSimFault("drop:256", f));
    EXPECT_FALSE(ParseSimFault("drop:92:x", f));
    EXPECT_FALSE(ParseSimFault("drop:92:0:1:2:3", f));
    EXPECT_EQ(f.command, 42);
}

TEST_F(SimulatorTest, CloseFaultSilencesTheLineAndCanHangItUp)
{
    SimOptions o = Fast();
    o.faults.push_back({SimFault::CloseLine, CmdGetInfo, 0, 1, 1});
    Begin(o);
    host->Capture();
    host->Ask(CmdGetInfo, Bytes({2}), status, 300);
    EXPECT_EQ(status, 0xEE);
    pollfd p{host->fd, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
}

TEST_F(SimulatorTest, DeviceKeepsItsStateOverACloseWhenToldTo)
{
    SimOptions o = Fast();
    o.powerCycleOnClose = false;
    Begin(o);
    host->Capture();
    host->Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Host again(sim->PortPath());
    EXPECT_EQ(again.Ask(CmdQuery, "HW", status), "VKT3K");
    EXPECT_TRUE(sim->Captured());
}
