#include <gtest/gtest.h>

#include "tests/support/target_harness.h"

namespace {

const std::string kAnnounce = "Zelvo Boot Loader";
const std::string kAck("\x81\xA1\x00\x00\x00\x00", 6);
const char kHandshake[] = "  Waiting for target.\n  Found target. Capturing...\n  Target Captured.\n";

class PtyCaptureTest : public PtyTargetTest {
protected:
    // One capture step; its trace goes to `out`.
    int Step(int state, std::string &out)
    {
        int next = -1;
        out = Printed([&] { next = CaptureTargetSM(state); });
        return next;
    }
};

}  // namespace

TEST_F(SimTargetTest, CaptureStepsReachFiveWithTheHandshakeTrace)
{
    StartSim();
    bool opened = false;
    EXPECT_EQ(Printed([&] { opened = OpenPort(sim->PortPath().c_str()); }),
              "  Opening port " + sim->PortPath() + "\n  Initial baud rate is 115200.\n");
    ASSERT_TRUE(opened);
    EXPECT_EQ(Port.BaudRate(), 115200u);
    int state = 0;
    EXPECT_EQ(Printed([&] { state = StepCapture(5000); }), kHandshake);
    EXPECT_EQ(state, 5);
    EXPECT_EQ(LastError(), 0);
    EXPECT_TRUE(sim->Captured());
}

TEST_F(SimTargetTest, StateFiveReturnsAtOnceWithoutReading)
{
    Connect();
    sim->PowerCycle();  // the device announces again: bytes are waiting
    ASSERT_TRUE(Eventually([] { return Port.RxBytes() > 0; }));
    unsigned before = Port.RxCount();
    int state = 0;
    EXPECT_EQ(Printed([&] { state = CaptureTargetSM(5); }), "");
    EXPECT_EQ(state, 5);
    EXPECT_EQ(Port.RxCount(), before);
}

TEST_F(SimTargetTest, MissingAcknowledgementTimesOutAfterOneSecondAndWaitsAgain)
{
    SimOptions options;
    options.ack = SimOptions::AckNone;
    StartSim(options);
    Printed([&] { OpenPort(sim->PortPath().c_str()); });

    auto started = std::chrono::steady_clock::now();
    auto requestSent = started;
    std::string out;
    int state = 1;
    while (out.find("Timeout") == std::string::npos && ElapsedMs(started) < 5000) {
        auto before = std::chrono::steady_clock::now();
        std::string step = Printed([&] { state = CaptureTargetSM(state); });
        if (step.find("Found target") != std::string::npos)
            requestSent = before;
        out += step;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    EXPECT_GT(ElapsedMs(requestSent), 1000);
    EXPECT_NE(out.find("  Found target. Capturing...\n  Timeout waiting for target capture.  Restart.\n"
                       "  Waiting for target.\n"),
              std::string::npos)
        << out;
    EXPECT_NE(state, 5);
    EXPECT_NE(state, 0);
}

TEST_F(SimTargetTest, WrongAcknowledgementGoesBackToWaitingForTheAnnouncement)
{
    SimOptions options;
    options.ack = SimOptions::AckWrong;
    StartSim(options);
    Printed([&] { OpenPort(sim->PortPath().c_str()); });
    const std::string backToWaiting = "  Found target. Capturing...\n  Waiting for target.\n";
    auto started = std::chrono::steady_clock::now();
    std::string out;
    int state = 1;
    while (out.find(backToWaiting) == std::string::npos && ElapsedMs(started) < 5000) {
        out += Printed([&] { state = CaptureTargetSM(state); });
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    EXPECT_NE(out.find(backToWaiting), std::string::npos) << out;
    EXPECT_EQ(out.find("Timeout"), std::string::npos) << out;
}

TEST_F(SimTargetTest, BlockingCaptureOpensAndCaptures)
{
    StartSim();
    bool captured = false;
    EXPECT_EQ(Printed([&] { captured = CaptureTarget(sim->PortPath().c_str()); }),
              "  Opening port " + sim->PortPath() + "\n  Initial baud rate is 115200.\n" + kHandshake);
    EXPECT_TRUE(captured);
    EXPECT_EQ(LastError(), 0);
    EXPECT_TRUE(sim->Captured());
}

TEST_F(SimTargetTest, SecondOpenWhileOpenFailsAndLeavesThePortUninitialised)
{
    StartSim();
    Printed([&] { OpenPort(sim->PortPath().c_str()); });
    ASSERT_EQ(Port.State(), 2);
    bool opened = true;
    EXPECT_EQ(Printed([&] { opened = OpenPort(sim->PortPath().c_str()); }),
              "  Opening port " + sim->PortPath() + "\n    ERR:  Port open failed.\n");
    EXPECT_FALSE(opened);
    EXPECT_EQ(LastError(), 1);
    EXPECT_EQ(Port.State(), 0);
}

TEST_F(PtyCaptureTest, NoiseAroundTheHandshakeIsIgnored)
{
    std::string out, all;
    SendArrived("\x81\xA1noise" + kAnnounce);
    EXPECT_EQ(Step(1, out), 3);
    all += out;
    EXPECT_EQ(line.Received(11, 1000), "TargetStop!");
    SendArrived("Zelvo Boot\x01\x02" + kAck);  // the tail of a repeated announcement first
    EXPECT_EQ(Step(3, out), 5);
    all += out;
    EXPECT_EQ(all, kHandshake);
}

TEST_F(PtyCaptureTest, AnExtraFirstLetterHidesThatAnnouncement)
{
    std::string out;
    SendArrived("Z" + kAnnounce);
    EXPECT_EQ(Step(1, out), 2);
    EXPECT_EQ(out, "  Waiting for target.\n");
    EXPECT_EQ(line.Received(1, 50), "");
    SendArrived(kAnnounce);
    EXPECT_EQ(Step(2, out), 3);
    EXPECT_EQ(out, "  Found target. Capturing...\n");
}

TEST_F(PtyCaptureTest, EachStepReturnsWithinAboutOneReadTimeoutOnAQuietLine)
{
    std::string out;
    const long generous = 500;  // the read timeout is 10 ms
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Step(1, out), 2);
    EXPECT_LT(ElapsedMs(t0), generous);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Step(2, out), 2);
    EXPECT_LT(ElapsedMs(t0), generous);

    SendArrived(kAnnounce);
    EXPECT_EQ(Step(2, out), 3);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Step(3, out), 3);
    EXPECT_LT(ElapsedMs(t0), generous);

    SendArrived(kAck.substr(0, 2));
    EXPECT_EQ(Step(3, out), 4);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Step(4, out), 4);
    EXPECT_LT(ElapsedMs(t0), generous);

    SendArrived(kAck.substr(2));
    EXPECT_EQ(Step(4, out), 5);
    EXPECT_EQ(out, "  Target Captured.\n");
}

TEST_F(PtyCaptureTest, BlockingCaptureCountsSilentAcknowledgementBytesAsMatched)
{
    SendArrived(kAnnounce + "\x81");
    bool captured = false;
    EXPECT_EQ(Printed([&] { captured = CaptureTarget(); }), kHandshake);
    EXPECT_TRUE(captured);
    EXPECT_EQ(line.Received(11, 1000), "TargetStop!");
}

TEST_F(PtyCaptureTest, BlockingCaptureStartsOverOnAWrongAcknowledgementByte)
{
    SendArrived(kAnnounce + std::string("\x81\xA1\x05", 3) + kAnnounce + kAck);
    bool captured = false;
    EXPECT_EQ(Printed([&] { captured = CaptureTarget(); }),
              "  Waiting for target.\n  Found target. Capturing...\n  Found target. Capturing...\n"
              "  Target Captured.\n");
    EXPECT_TRUE(captured);
    EXPECT_EQ(line.Received(22, 1000), "TargetStop!TargetStop!");
}
