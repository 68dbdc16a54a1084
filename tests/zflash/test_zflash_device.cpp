// zflash capture and program against the simulated device, and the exit code
// of each kind of failure.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/support.h"
#include "tests/zflash/test_zflash_support.h"

using zftest::kInstalledInfo;
using zftest::kNewestInfo;
using zftest::kOlderInfo;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ZflashDeviceTest, CaptureIdentifiesTheDeviceListsImagesNewestFirstAndShowsTheInstalledFirmware)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out,
                         "Device:       VKT-3 (VKT3K)\n"
                         "Flash loader: 921600 baud\n"
                         "Firmware:     3 image(s), newest first\n"
                         "  fw_1_10_0.bin  (v1.10.0)\n"
                         "  fw_1_2_0.bin  (v1.2.0)\n"
                         "  legacy_0_9.bin  (v0.9)  [unverified]\n"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "Installed:    v1.0.0   VKT-3 (VKT3K)   built 2026-01-15 10:00\n"));
    EXPECT_EQ(sim->InstalledInfo(), kInstalledInfo);
}

TEST_F(ZflashDeviceTest, CaptureShowsTheOperatorsLogLinesAndHidesTheLibraryTrace)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"capture", "--port", Port()});
    EXPECT_TRUE(Contains(run.out, "Opening " + Port() + "...\n"
                                  "Waiting for target. Power up the device now...\n"
                                  "Target captured. Identifying hardware...\n"
                                  "Detected: VKT-3 (VKT3K)\n"
                                  "Starting flashloader (921600 baud)...\n"
                                  "Found 3 firmware version(s).\n"));
    EXPECT_FALSE(Contains(run.out, "Target Captured."));  // the library's own line
}

TEST_F(ZflashDeviceTest, VerboseAlsoShowsTheLibraryTrace)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"--verbose", "capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, "  Target Captured.\n"));
}

TEST_F(ZflashDeviceTest, ProgramWritesTheNewestImageAndReportsTheNewVersion)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kNewestInfo);
    EXPECT_TRUE(Contains(run.out, "Programming fw_1_10_0.bin (version 1.10.0)...\n"));
    EXPECT_TRUE(Contains(run.out, "Programming complete.\n"));
    EXPECT_TRUE(Contains(run.out, "Installed:    v1.10.0   VKT-3 (VKT3K)   built 2026-03-01 12:00\n"));
}

TEST_F(ZflashDeviceTest, ProgramShowsPlainProgressLinesWhenNotOnATerminal)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.err, "Programming: 100% (3.1 of 3.1 kB"));
    EXPECT_TRUE(Contains(run.err, "Verifying: 100% (3.1 of 3.1 kB"));
    EXPECT_FALSE(Contains(run.err, "\r"));
}

TEST_F(ZflashDeviceTest, ProgramDrawsOneUpdatingLinePerPhaseOnATerminal)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = ZflashProcess(WithRoot({"program", "--port", Port()}), true).Finish();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.err, "\rProgramming          [####################] 100%  3.1/3.1 kB"));
    EXPECT_TRUE(Contains(run.err, "\rVerifying            [####################] 100%  3.1/3.1 kB"));
    EXPECT_FALSE(Contains(run.err, "Programming: "));
}

TEST_F(ZflashDeviceTest, ProgramWithVersionWritesTheListedImageOfThatVersion)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--version", "1.2.0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kOlderInfo);
}

// A version no image has is refused before the device is touched; one that
// only other hardware has, once the device is identified.
TEST_F(ZflashDeviceTest, ProgramWithAVersionThatIsNotListedIsBadInput)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--version", "7.7"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: no image of version 7.7 is listed for any device under "));
    EXPECT_EQ(sim->Stats().captures, 0u);

    WriteImage(root / "firmware" / "VKTQ1" / "q1_7_7.bin", "VN:7.7\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\n");
    run = Zflash({"program", "--port", Port(), "--version", "v7.7"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: no listed image has version 7.7 (listed: 1.10.0, 1.2.0, 0.9).\n"));
    EXPECT_EQ(sim->InstalledInfo(), kInstalledInfo);
}

TEST_F(ZflashDeviceTest, AVersionTakesTheListingsOwnForm)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--version", "v1.2.0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), zftest::kOlderInfo);
}

TEST_F(ZflashDeviceTest, APortThatDoesNotExistIsNoDeviceAndSaysSo)
{
    std::string port = (root / "no-such-port").string();
    ZflashRun run = Zflash({"capture", "--port", port});
    EXPECT_EQ(run.exitCode, 3);
    // One diagnosis: the workflow's guess ("Is another program using it?") gives way to it.
    EXPECT_EQ("Opening " + port + "...\n", run.out);
    EXPECT_EQ("zflash: " + port + " does not exist. Run \"zflash ports\" to list the serial ports.\n", run.err);
}

TEST_F(ZflashDeviceTest, APortThatAnotherProgramHoldsIsNoDeviceAndSaysSo)
{
    ASSERT_TRUE(StartSim());
    int holder = open(Port().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ZflashRun run = Zflash({"capture", "--port", Port()});
    close(holder);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(Contains(run.err, "zflash: " + Port() + " is busy: another program is using it."));
    EXPECT_EQ(sim->Stats().captures, 0u);
}

TEST_F(ZflashDeviceTest, ASilentDeviceEndsTheWaitAtTheTimeoutAsNoDevice)
{
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"--timeout", "0.5", "capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_FALSE(Contains(run.out, "Capture cancelled."));  // nobody cancelled it
    EXPECT_TRUE(Contains(run.err, "zflash: no device answered on " + Port() + " within 0.5 s."));
}

TEST_F(ZflashDeviceTest, AnEraseTheDeviceRefusesIsAFailedOperation)
{
    SimFault fault;
    fault.kind = SimFault::ErrorCode;
    fault.command = 92;  // erase
    fault.count = -1;
    fault.value = 5;
    simOptions.faults.push_back(fault);
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, "ERROR: Erase failed.\n"));
    EXPECT_TRUE(Contains(run.err, "zflash: Erase failed. The device may be left without working firmware: "
                                  "power it off and on, then run zflash program again.\n"));
}

TEST_F(ZflashDeviceTest, AVerifyMismatchIsAFailedOperationThatNamesSupport)
{
    simOptions.verifyMismatchBlock = 3;
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, std::string("ERROR: Verification failed after programming. Contact ") +
                                      kSupportEmail + " with a copy of this log.\n"));
}

TEST_F(ZflashDeviceTest, ADeviceWithoutItsFlashLoaderInTheRootIsBadInput)
{
    std::filesystem::remove_all(root / "flashloader");
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"capture", "--port", Port()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: Flashloader image missing or corrupt: "));
}
