// A USB serial adapter's latency timer, lowered for a session and put back,
// on a made-up sysfs; and what a timer that stays high is said to cost.
#include <gtest/gtest.h>

#include "tests/support/fake_system.h"
#include "devicelink/ports/adapter_tuning.h"
#include "station/adapter_session.h"

namespace {

class AdapterTuningTest : public ::testing::Test {
protected:
    std::string Sys() const { return fake.Sys().string(); }
    FakeSystem fake;
};

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(AdapterTuningTest, LowersTheTimerToOneMillisecondAndPutsTheOldValueBackOnce)
{
    FakeAdapter a;
    a.timerMs = 32;
    fake.AddAdapter("ttyUSB0", "1-1", a);
    AdapterTuning tuning;
    tuning.Begin(fake.DevicePath("ttyUSB0").string(), Sys());
    EXPECT_TRUE(tuning.Lowered());
    EXPECT_EQ(tuning.OriginalMs(), 32);
    EXPECT_EQ(tuning.Timer().driver, "ftdi_sio");
    EXPECT_EQ(fake.ReadTimer("ttyUSB0"), "1");

    std::string error;
    EXPECT_TRUE(tuning.Restore(error));
    EXPECT_EQ(fake.ReadTimer("ttyUSB0"), "32");
    FakeSystem::Write(fake.TimerFile("ttyUSB0"), "5");  // set by someone else since
    EXPECT_TRUE(tuning.Restore(error));
    EXPECT_EQ(fake.ReadTimer("ttyUSB0"), "5");
}

TEST_F(AdapterTuningTest, FindsTheAdapterThroughAByIdLink)
{
    fake.AddAdapter("ttyUSB3", "1-1", FakeAdapter());
    const std::string link = fake.AddById("usb-FTDI_FT232R_USB_UART_A10KX-if00-port0", "ttyUSB3").string();
    AdapterTuning tuning;
    tuning.Begin(link, Sys());
    EXPECT_EQ(tuning.Timer().tty, "ttyUSB3");
    EXPECT_EQ(fake.ReadTimer("ttyUSB3"), "1");
    std::string error;
    tuning.Restore(error);
    EXPECT_EQ(fake.ReadTimer("ttyUSB3"), "16");
}

TEST_F(AdapterTuningTest, LeavesATimerAtOneAndPortsWithoutATimerAlone)
{
    FakeAdapter fast;
    fast.timerMs = 1;
    fake.AddAdapter("ttyUSB0", "1-1", fast);
    FakeAdapter acm;
    acm.driver = "cdc_acm";
    acm.timerMs = 0;
    fake.AddAdapter("ttyACM0", "1-2", acm);
    for (const char *tty : {"ttyUSB0", "ttyACM0"}) {
        AdapterTuning tuning;
        tuning.Begin(fake.DevicePath(tty).string(), Sys());
        EXPECT_FALSE(tuning.Lowered()) << tty;
        EXPECT_EQ(tuning.Refusal(), "") << tty;
    }
    EXPECT_EQ(fake.ReadTimer("ttyUSB0"), "1");
    EXPECT_FALSE(std::filesystem::exists(fake.TimerFile("ttyACM0")));
}

TEST_F(AdapterTuningTest, ATimerThatMayNotBeWrittenGivesTheReasonAndStaysAsItWas)
{
    fake.AddAdapter("ttyUSB0", "1-1", FakeAdapter());
    fake.MakeTimerReadOnly("ttyUSB0");
    AdapterTuning tuning;
    tuning.Begin(fake.DevicePath("ttyUSB0").string(), Sys());
    EXPECT_FALSE(tuning.Lowered());
    EXPECT_EQ(tuning.Refusal(), "Operation not permitted");
    EXPECT_EQ(tuning.Timer().ms, 16);
    EXPECT_EQ(fake.ReadTimer("ttyUSB0"), "16");
}

TEST(AdapterSlowdown, ASixteenMillisecondTimerMoreThanDoublesTheLinesTimeAt921600)
{
    EXPECT_GT(AdapterSlowdown(16, 921600), 2.0);
    EXPECT_LT(AdapterSlowdown(16, 921600), 2.5);
    EXPECT_LT(AdapterSlowdown(16, 115200), 1.2);
    EXPECT_LT(AdapterSlowdown(1, 921600), 1.1);
    EXPECT_GT(AdapterSlowdown(1, 921600), 1.0);
}

TEST(SlowAdapterWarning, SaysWhatTheTimerCostsAndHowToLowerItNowAndForGood)
{
    AdapterTimer t;
    t.port = "/dev/ttyUSB0";
    t.location = "/sys/class/tty/ttyUSB0/device/latency_timer";
    t.driver = "ftdi_sio";
    t.ms = 16;
    const std::string text = SlowAdapterWarning(t, 921600, "Permission denied");
    EXPECT_EQ(text.find("the USB serial adapter of /dev/ttyUSB0 (ftdi_sio) passes received bytes on only every "
                        "16 ms (its latency timer), and zflash may not lower it (Permission denied)"),
              0u)
        << text;
    EXPECT_TRUE(Contains(text, "at 921600 baud take about 2.3 times as long as the line needs")) << text;
    EXPECT_TRUE(Contains(text, "echo 1 | sudo tee /sys/class/tty/ttyUSB0/device/latency_timer")) << text;
    EXPECT_TRUE(Contains(text, "SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\""))
        << text;
    EXPECT_FALSE(Contains(SlowAdapterWarning(t, 0, ""), "baud")) << text;
}
