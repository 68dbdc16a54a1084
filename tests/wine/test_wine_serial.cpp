// The Win32 serial port and the target library on a real COM port: under
// Wine, a pty that the simulated device holds, mapped as ZF_TEST_COM (for
// example COM7). ZF_TEST_HW names the simulated hardware (default VKT3K).
// Without ZF_TEST_COM every test here is skipped.
// The simulated device power-cycles when the host closes the port, so each
// test opens and captures afresh, once the device has seen the last host go
// (its event log, ZF_TEST_SIM_LOG, says so).
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "devicelink/comport.h"
#include "targetlib/capture.h"
#include "targetlib/transact.h"
#include "tests/support/eventually.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

const char kAnnounce[] = "Zelvo Boot Loader";

// The simulated device has seen the host close the line since it last saw
// it open (or has never seen a host): a close is noticed a moment later, and
// a host that opens again before then meets a device still captured.
bool DeviceSawTheHostLeave()
{
    const char *path = std::getenv("ZF_TEST_SIM_LOG");
    if (!path || !*path)
        return true;
    std::ifstream in(path, std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    const std::string events = log.str();
    const size_t opened = events.rfind("host opened the line");
    const size_t closed = events.rfind("host closed the line");
    return opened == std::string::npos || (closed != std::string::npos && closed > opened);
}

class WineCom : public testing::Test {
protected:
    void SetUp() override
    {
        const char *com = std::getenv("ZF_TEST_COM");
        if (!com || !*com)
            GTEST_SKIP() << "ZF_TEST_COM is not set";
        port = com;
        const char *hw = std::getenv("ZF_TEST_HW");
        simHw = hw && *hw ? hw : "VKT3K";
        ASSERT_TRUE(Eventually(DeviceSawTheHostLeave)) << "the device did not see the last test close the port";
    }
    // Leaves the library's port closed for the next test, quietly.
    void TearDown() override
    {
        if (IsSkipped())
            return;
        testing::internal::CaptureStdout();
        ClosePort();
        testing::internal::GetCapturedStdout();
    }

    // Steps the capture as the capture worker does; gives up after 10 s.
    static int CaptureWithin10s()
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int state = 1;
        while (std::chrono::steady_clock::now() < end) {
            state = CaptureTargetSM(state);
            if (state == 5 || state == 0)
                break;
            Sleep(15);
        }
        return state;
    }

    std::string port;
    std::string simHw;
};

TEST_F(WineCom, InitOpenCloseUnInitReturnTheirCodes)
{
    ComPort p;
    EXPECT_EQ(p.Init(port.c_str(), 10), 0);
    EXPECT_EQ(p.DevName(), "\\\\.\\" + port);
    EXPECT_EQ(p.Init(port.c_str(), 10), 1);
    EXPECT_EQ(p.Open(), 0);
    EXPECT_EQ(p.State(), 2);
    EXPECT_EQ(p.Open(), 1);
    EXPECT_EQ(p.Close(), 0);
    EXPECT_EQ(p.State(), 1);
    EXPECT_EQ(p.Close(), 0);
    EXPECT_EQ(p.State(), 1);
    EXPECT_EQ(p.UnInit(), 0);
    EXPECT_EQ(p.State(), 0);
    EXPECT_EQ(p.UnInit(), 0);
}

TEST_F(WineCom, PortOpensAgainAfterClose)
{
    ComPort p;
    ASSERT_EQ(p.Init(port.c_str(), 10), 0);
    ASSERT_EQ(p.Open(), 0);
    ASSERT_EQ(p.Close(), 0);
    EXPECT_EQ(p.Open(), 0);
    EXPECT_EQ(p.State(), 2);
}

// Wine completes a timed-out overlapped read as a failure with
// ERROR_TIMEOUT; it must still read as "no byte".
TEST_F(WineCom, GetCharReturnsOneWhenNothingArrivesWithin10ms)
{
    ComPort p;
    ASSERT_EQ(p.Init(port.c_str(), 10), 0);
    ASSERT_EQ(p.Open(), 0);
    // The device announces in bursts with pauses far longer than 10 ms.
    std::string got;
    unsigned char c = 0;
    int rc = 0;
    auto start = std::chrono::steady_clock::now();
    const size_t most = 3 * (sizeof kAnnounce - 1);
    while (got.size() < most && (rc = p.GetChar(&c)) == 0)
        got += static_cast<char>(c);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(p.RxCount(), got.size());
    const std::string stream = std::string(kAnnounce) + kAnnounce + kAnnounce + kAnnounce;
    EXPECT_EQ(stream.substr(stream.size() - got.size()), got) << "not a run of announcements";
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST_F(WineCom, OpenOfAMissingPortReturnsTwoAndStaysInitialised)
{
    ComPort p;
    ASSERT_EQ(p.Init("COM199", 10), 0);
    EXPECT_EQ(p.Open(), 2);
    EXPECT_EQ(p.State(), 1);
    EXPECT_EQ(p.UnInit(), 0);
    EXPECT_EQ(p.State(), 0);
}

TEST_F(WineCom, OpenPortOfAMissingPortFailsWithItsTrace)
{
    testing::internal::CaptureStdout();
    bool opened = OpenPort("COM199");
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(opened);
    EXPECT_EQ(LastError(), ErrPortNotOpen);
    EXPECT_EQ(trace, "  Opening port COM199\n    ERR:  Port open failed.\n");
}

TEST_F(WineCom, CaptureAndQueryOfHWReachTheDevice)
{
    testing::internal::CaptureStdout();
    bool opened = OpenPort(port.c_str());
    int state = opened ? CaptureWithin10s() : 0;
    std::string hw = state == 5 ? Query("HW") : std::string();
    int err = LastError();
    std::string trace = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(opened) << trace;
    ASSERT_EQ(state, 5) << trace;
    EXPECT_EQ(hw, simHw);
    EXPECT_EQ(err, ErrNone);
    const std::string opening = "  Opening port " + port + "\n  Initial baud rate is 115200.\n";
    EXPECT_EQ(trace.substr(0, opening.size()), opening);
    EXPECT_NE(trace.find("  Found target. Capturing...\n"), std::string::npos) << trace;
    const std::string tail = "  Target Captured.\n" + simHw + "\n";
    ASSERT_GE(trace.size(), tail.size());
    EXPECT_EQ(trace.substr(trace.size() - tail.size()), tail);
}

TEST_F(WineCom, ADeviceCapturedBeforeIsCapturedAgainAfterClosePort)
{
    testing::internal::CaptureStdout();
    bool first = OpenPort(port.c_str()) && CaptureWithin10s() == 5;
    bool closed = ClosePort() && Eventually(DeviceSawTheHostLeave);
    bool second = OpenPort(port.c_str()) && CaptureWithin10s() == 5;
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(first) << trace;
    EXPECT_TRUE(closed);
    EXPECT_TRUE(second) << trace;
}

// A real flash loader needs a few milliseconds to start and re-clock its
// line, and loses what arrives meanwhile; the simulated one does the same
// when zsim runs with --loader-deaf-ms (the wine-serial step sets 8 ms). The
// first request at the loader's rate is heard at its first attempt.
TEST_F(WineCom, FirstRequestAfterTheLoaderStartsIsAnsweredAtItsFirstAttempt)
{
    IMG loader = LoaderImage(921600, 600);
    testing::internal::CaptureStdout();
    bool started = OpenPort(port.c_str()) && CaptureWithin10s() == 5 && RAMExec(&loader, false, 921600);
    ResetTransactTimes();
    std::string info = started ? GetInfo(2) : std::string();
    const TransactTimes times = GetTransactTimes();
    std::string trace = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(started) << trace;
    EXPECT_NE(info.find("VN:"), std::string::npos) << trace;
    EXPECT_EQ(times.requests, 1ul) << trace;
    EXPECT_EQ(times.quietDrains, 1ul);
}

}  // namespace
