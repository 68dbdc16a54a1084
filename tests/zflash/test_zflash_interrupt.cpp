// Ctrl-C: it cancels the wait for the device, but programming stops only on a
// second press after a warning.
#include <signal.h>

#include "tests/zflash/test_zflash_support.h"

using zftest::kNewestInfo;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

const char *const kWarning =
    "zflash: warning: stopping now leaves the device without working firmware. Press Ctrl-C again "
    "within 5 seconds to abort anyway.\n";

}  // namespace

TEST_F(ZflashDeviceTest, CtrlCWhileWaitingForTheDeviceCancelsAsNoDevice)
{
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"capture", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
    zflash.Signal(SIGINT);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(Contains(run.out, "Capture cancelled.\n"));
    EXPECT_TRUE(Contains(run.err, "zflash: cancelled.\n"));
}

TEST_F(ZflashDeviceTest, OneCtrlCWhileProgrammingOnlyWarns)
{
    simOptions.eraseMs = 1500;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"program", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Erasing firmware region...", 30000));
    zflash.Signal(SIGINT);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.err, kWarning));
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
}

TEST_F(ZflashDeviceTest, ASecondCtrlCWhileProgrammingAbortsAsFailed)
{
    simOptions.eraseMs = 20000;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"--json", "program", "--port", Port()}));
    ASSERT_TRUE(zflash.WaitForText("Erasing firmware region...", 30000));
    zflash.Signal(SIGINT);
    ASSERT_TRUE(zflash.WaitForText("Press Ctrl-C again", 10000));
    zflash.Signal(SIGINT);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.err, "zflash: aborted while programming: the device may be left without working "
                                  "firmware. Run zflash program again to restore it.\n"));
    EXPECT_TRUE(Contains(run.out, "\"outcome\": \"failed\""));  // the document is still written
}
