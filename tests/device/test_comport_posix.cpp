// ComPort's contract on a pseudo-terminal: the test holds the master side as
// the "device" and keeps the slave open to inspect its line settings.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "devicelink/comport.h"
#include "tests/support/eventually.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

std::vector<std::string> DebugTexts;
void CollectDebug(const char *text) { DebugTexts.push_back(text); }

class PtyPort : public testing::Test {
protected:
    int master = -1;
    int slave = -1;
    std::string path;

    void SetUp() override
    {
        char name[128];
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        path = name;
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);  // no echo of what the test writes before the port opens
        tcsetattr(slave, TCSANOW, &tio);
    }
    void TearDown() override
    {
        SetComPortDebugHandler(nullptr);
        if (master >= 0) close(master);
        close(slave);
    }
    void OpenPort(ComPort &port, int readTimeout = 10)
    {
        ASSERT_EQ(port.Init(path.c_str(), readTimeout), 0);
        ASSERT_EQ(port.Open(), 0);
    }
    void SendFromDevice(const Bytes &b)
    {
        ASSERT_EQ(write(master, b.data(), b.size()), ssize_t(b.size()));
    }
    // What the device received, waiting up to waitMs for n bytes.
    Bytes ReceivedByDevice(size_t n, int waitMs = 2000)
    {
        Bytes got;
        unsigned char buf[512];
        Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
        while (got.size() < n && Clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            ssize_t r = read(master, buf, sizeof buf);
            if (r > 0) got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    termios SlaveTermios()
    {
        termios tio{};
        EXPECT_EQ(tcgetattr(slave, &tio), 0);
        return tio;
    }
};

Bytes AllByteValues()
{
    Bytes b(256);
    for (int i = 0; i < 256; i++) b[size_t(i)] = (unsigned char)i;
    return b;
}

long MsSince(Clock::time_point t0)
{
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

}  // namespace

TEST_F(PtyPort, InitOnlyFromUninitialised)
{
    ComPort port;
    EXPECT_EQ(port.State(), 0);
    EXPECT_EQ(port.BaudRate(), 115200u);
    EXPECT_EQ(port.ReadTimeout(), 200);
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    EXPECT_EQ(port.State(), 1);
    EXPECT_EQ(port.DevName(), path);
    EXPECT_EQ(port.ReadTimeout(), 10);
    EXPECT_EQ(port.Init("/dev/null", 50), 1);
    EXPECT_EQ(port.DevName(), path);
    EXPECT_EQ(port.ReadTimeout(), 10);
}

TEST_F(PtyPort, OpenOnlyFromInitialised)
{
    ComPort port;
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(port.State(), 0);
    OpenPort(port);
    EXPECT_EQ(port.State(), 2);
    EXPECT_EQ(port.Open(), 1);
    EXPECT_EQ(port.State(), 2);
}

TEST_F(PtyPort, MissingDeviceGives2AndLeavesThePortInitialised)
{
    ComPort port;
    ASSERT_EQ(port.Init("/dev/no-such-serial-device", 10), 0);
    EXPECT_EQ(port.Open(), 2);
    EXPECT_EQ(port.State(), 1);
    EXPECT_EQ(port.UnInit(), 0);
    EXPECT_EQ(port.State(), 0);
    EXPECT_EQ(port.UnInit(), 0);
}

TEST_F(PtyPort, CloseOnAnInitialisedPortChangesNothing)
{
    ComPort port;
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(port.State(), 1);
    EXPECT_EQ(port.Open(), 0);
    EXPECT_EQ(port.Close(), 0);
    EXPECT_EQ(port.State(), 1);
}

TEST_F(PtyPort, OpenReportsSuccessOnTheDebugChannel)
{
    DebugTexts.clear();
    SetComPortDebugHandler(CollectDebug);
    ComPort port;
    OpenPort(port);
    EXPECT_EQ(DebugTexts, std::vector<std::string>{"ComPort::Open successful."});
}

TEST_F(PtyPort, IdleGetCharWaitsAboutTheReadTimeout)
{
    ComPort port;
    OpenPort(port, 10);
    unsigned char c = 0x55;
    Clock::time_point t0 = Clock::now();
    EXPECT_EQ(port.GetChar(&c), 1);
    long ms = MsSince(t0);
    EXPECT_GE(ms, 8);
    EXPECT_LT(ms, 500);
    EXPECT_EQ(c, 0x55);
    EXPECT_EQ(port.RxCount(), 0u);
}

TEST_F(PtyPort, ReadTimeoutZeroReturnsAtOnce)
{
    ComPort port;
    OpenPort(port, 0);
    unsigned char c = 0;
    Clock::time_point t0 = Clock::now();
    for (int i = 0; i < 10; i++)
        ASSERT_EQ(port.GetChar(&c), 1);
    EXPECT_LT(MsSince(t0), 100);  // ten idle reads, each far below any wait
    SendFromDevice({0x42});
    Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    int r = 1;
    while (r == 1 && Clock::now() < end) r = port.GetChar(&c);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(c, 0x42);
}

TEST_F(PtyPort, AllByteValuesTravelUnchangedBothWays)
{
    ComPort port;
    OpenPort(port, 200);
    Bytes all = AllByteValues();

    port.PutArray(all.data(), int(all.size()));
    EXPECT_EQ(ReceivedByDevice(256), all);
    EXPECT_EQ(port.TxCount(), 256u);

    SendFromDevice(all);
    Bytes got;
    unsigned char c;
    while (got.size() < 256 && port.GetChar(&c) == 0) got.push_back(c);
    EXPECT_EQ(got, all);
    EXPECT_EQ(port.RxCount(), 256u);
}

TEST_F(PtyPort, PutArrayWaitsWhileTheDriverQueueIsFull)
{
    ComPort port;
    OpenPort(port);
    Bytes big(100000);
    for (size_t i = 0; i < big.size(); i++) big[i] = (unsigned char)(i * 31 + i / 256);
    Bytes got;
    std::thread device([&] { got = ReceivedByDevice(big.size(), 10000); });
    port.PutArray(big.data(), int(big.size()));
    device.join();
    EXPECT_EQ(port.TxCount(), 100000u);
    EXPECT_TRUE(got == big) << got.size() << " bytes arrived";
}

TEST_F(PtyPort, PutCharAndGetNChars)
{
    ComPort port;
    OpenPort(port, 50);
    port.PutChar(0x81);
    EXPECT_EQ(ReceivedByDevice(1), Bytes{0x81});
    EXPECT_EQ(port.TxCount(), 1u);

    SendFromDevice({1, 2, 3, 4, 5});
    unsigned char buf[5] = {};
    EXPECT_EQ(port.GetNChars(5, buf), 5);
    EXPECT_EQ(Bytes(buf, buf + 5), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(port.GetNChars(5, buf), -1);
    EXPECT_EQ(port.RxCount(), 5u);
}

TEST_F(PtyPort, IoOnAPortThatIsNotOpenDoesNothing)
{
    ComPort port;
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    SendFromDevice({7});
    unsigned char c = 0, buf[4];
    EXPECT_EQ(port.GetChar(&c), 1);
    EXPECT_EQ(port.GetNChars(4, buf), -1);
    EXPECT_EQ(port.TxBytes(), 1);
    const unsigned char out[] = {1, 2};
    port.PutArray(out, 2);
    port.PutChar(3);
    EXPECT_EQ(port.TxCount(), 0u);
    EXPECT_EQ(ReceivedByDevice(1, 100).size(), 0u);
}

TEST_F(PtyPort, OpenSetsRaw8N1WithoutFlowControlAt115200)
{
    ComPort port;
    OpenPort(port);
    termios tio = SlaveTermios();
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B115200));
    EXPECT_EQ(port.TxBytes(), 0);
}

TEST_F(PtyPort, RateSetWhileClosedIsAppliedByOpen)
{
    ComPort port;
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    EXPECT_EQ(port.SetBaudRate(57600), 0);
    EXPECT_EQ(port.BaudRate(), 57600u);
    ASSERT_EQ(port.Open(), 0);
    termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B57600));
    EXPECT_EQ(cfgetispeed(&tio), speed_t(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
}

TEST_F(PtyPort, RefusedRateIsReportedAndTheLineKeepsItsRate)
{
    ComPort port;
    OpenPort(port);
    ASSERT_EQ(port.SetBaudRate(921600), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(port.SetBaudRate(12345), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot set baud rate on com port " + path + "\n");
    EXPECT_EQ(port.State(), 2);
    EXPECT_EQ(port.BaudRate(), 921600u);
    termios tio = SlaveTermios();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B921600));
}

TEST_F(PtyPort, OpenFailsWhenTheStoredRateIsRefused)
{
    ComPort port;
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    port.SetBaudRate(12345);
    testing::internal::CaptureStdout();
    EXPECT_EQ(port.Open(), 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot set baud rate on com port " + path + "\n");
    EXPECT_EQ(port.State(), 1);
}

TEST_F(PtyPort, SetLineRefusalsNameTheReasonAndThePort)
{
    ComPort port;
    OpenPort(port);
    struct { int data; char parity; int stop; const char *text; } cases[] = {
        {6, 'N', 1, "Invalid parameter databits in ComPort::SetLine, port "},
        {8, 'S', 1, "Invalid parity in ComPort::SetLine, port "},
        {8, 'N', 4, "Invalid parameter stopbits in ComPort::SetLine, port "},
        {8, 'N', 3, "Cannot set line settings on com port "},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(port.SetLine(c.data, c.parity, c.stop), 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text + path + "\n");
    }
    EXPECT_EQ(port.State(), 2);
    EXPECT_EQ(SlaveTermios().c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
}

TEST_F(PtyPort, SetLineAppliesAcceptedSettings)
{
    ComPort port;
    OpenPort(port);
    // A pseudo-terminal keeps 8 bits without parity whatever it is told; the
    // stop bits it stores.
    EXPECT_EQ(port.SetLine(7, 'e', 2), 0);
    EXPECT_EQ(SlaveTermios().c_cflag & CSTOPB, tcflag_t(CSTOPB));
    EXPECT_EQ(port.SetLine(8, 'N', 1), 0);
    EXPECT_EQ(SlaveTermios().c_cflag & CSTOPB, 0u);
}

TEST_F(PtyPort, SetLineOnAClosedPortHasNoEffect)
{
    ComPort port;
    ASSERT_EQ(port.Init(path.c_str(), 10), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(port.SetLine(6, 'N', 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(PtyPort, SecondOpenerOfTheSameDeviceGets2)
{
    ComPort first, second;
    OpenPort(first);
    ASSERT_EQ(second.Init(path.c_str(), 10), 0);
    EXPECT_EQ(second.Open(), 2);
    EXPECT_EQ(second.State(), 1);
    first.Close();
    EXPECT_EQ(second.Open(), 0);
}

TEST_F(PtyPort, DestructorReleasesTheDevice)
{
    {
        ComPort first;
        OpenPort(first);
    }
    ComPort second;
    OpenPort(second);
}

TEST_F(PtyPort, OpenDropsBytesThatArrivedBefore)
{
    SendFromDevice({'j', 'u', 'n', 'k'});
    ComPort port;
    OpenPort(port, 50);
    SendFromDevice({'Z'});
    unsigned char c = 0;
    EXPECT_EQ(port.GetChar(&c), 0);
    EXPECT_EQ(c, 'Z');
    EXPECT_EQ(port.GetChar(&c), 1);
}

TEST_F(PtyPort, ReadErrorGoesToTheDebugChannelAndReportsNoByte)
{
    ComPort port;
    OpenPort(port, 10);
    DebugTexts.clear();
    SetComPortDebugHandler(CollectDebug);
    close(master);  // the device side hangs up: reads fail with EIO
    master = -1;
    unsigned char c;
    EXPECT_EQ(port.GetChar(&c), 1);
    EXPECT_EQ(DebugTexts, std::vector<std::string>{"ComPort::GetChar error 5."});
}

TEST_F(PtyPort, AHungUpLineIdlesTheReadTimeoutInsteadOfSpinning)
{
    ComPort port;
    OpenPort(port, 20);
    close(master);
    master = -1;
    unsigned char c;
    Clock::time_point start = Clock::now();
    int calls = 0;
    while (Clock::now() - start < std::chrono::milliseconds(200)) {
        EXPECT_EQ(port.GetChar(&c), 1);
        calls++;
    }
    // About one call per read time-out; a spinning read makes many thousands.
    EXPECT_LE(calls, 20);
}

namespace {

// Waits (up to two seconds) until the port reports n received bytes.
bool Holds(ComPort &port, int n)
{
    Eventually([&] { return port.RxBytes() >= n; }, std::chrono::seconds(2));
    return port.RxBytes() == n;
}

}  // namespace

TEST_F(PtyPort, RxBytesCountsWhatArrivedAndIsNotYetRead)
{
    ComPort port;
    EXPECT_EQ(port.RxBytes(), 0);  // not open
    OpenPort(port);
    EXPECT_EQ(port.RxBytes(), 0);
    SendFromDevice({1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(Holds(port, 6));
    unsigned char c = 0;
    ASSERT_EQ(port.GetChar(&c), 0);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(port.RxBytes(), 5);  // now in the receive buffer
    EXPECT_EQ(port.RxCount(), 1u);
}

TEST_F(PtyPort, GetCharServesBufferedBytesThenTimesOutAfterAboutTheReadTimeout)
{
    ComPort port;
    OpenPort(port, 20);
    SendFromDevice({7, 8, 9});
    ASSERT_TRUE(Holds(port, 3));
    Bytes got;
    unsigned char c;
    while (got.size() < 3 && port.GetChar(&c) == 0) got.push_back(c);
    EXPECT_EQ(got, (Bytes{7, 8, 9}));
    Clock::time_point t0 = Clock::now();
    EXPECT_EQ(port.GetChar(&c), 1);
    long ms = MsSince(t0);
    EXPECT_GE(ms, 18);
    EXPECT_LT(ms, 500);
}

TEST_F(PtyPort, GetNCharsAfterBufferedBytesReturnsThemInOrder)
{
    ComPort port;
    OpenPort(port, 50);
    SendFromDevice({'a', 'b', 'c', 'd', 'e', 'f'});
    ASSERT_TRUE(Holds(port, 6));
    unsigned char c = 0;
    ASSERT_EQ(port.GetChar(&c), 0);
    EXPECT_EQ(c, 'a');
    SendFromDevice({'g', 'h'});
    unsigned char buf[7] = {};
    EXPECT_EQ(port.GetNChars(7, buf), 7);  // five buffered, two from the driver
    EXPECT_EQ(Bytes(buf, buf + 7), (Bytes{'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
    EXPECT_EQ(port.RxCount(), 8u);
}

TEST_F(PtyPort, CloseDropsBufferedBytes)
{
    ComPort port;
    OpenPort(port, 10);
    SendFromDevice({1, 2, 3, 4});
    ASSERT_TRUE(Holds(port, 4));
    unsigned char c;
    ASSERT_EQ(port.GetChar(&c), 0);
    ASSERT_EQ(port.Close(), 0);
    ASSERT_EQ(port.Open(), 0);
    EXPECT_EQ(port.RxBytes(), 0);
    EXPECT_EQ(port.GetChar(&c), 1);
}
