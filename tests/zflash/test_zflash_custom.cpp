// Custom images and images that cannot be verified: judged by zflash exactly
// where the window judges them, with the window's texts.
#include <fstream>

#include "tests/zflash/test_zflash_support.h"

using zftest::kInstalledInfo;
using zftest::kLegacyInfo;

namespace {

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

const char *const kHotfixInfo = "VN:1.10.1\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-04-01 08:00\r\n";

}  // namespace

TEST_F(ZflashDeviceTest, ACustomImageForTheDeviceIsProgrammed)
{
    std::string image = WriteImage(root / "hotfix.bin", kHotfixInfo);
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--image", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "Custom firmware loaded: hotfix.bin\n    for VKT-3 (VKT3K)  v1.10.1\n"));
    EXPECT_TRUE(Contains(run.out, "Programming hotfix.bin (version 1.10.1) [custom]...\n"));
    EXPECT_EQ(sim->InstalledInfo(), kHotfixInfo);
}

TEST_F(ZflashDeviceTest, ACustomImageForOtherHardwareIsRefusedAndTheFlashIsUntouched)
{
    std::string image = WriteImage(root / "w.bin", "VN:3.0\r\nMD:VKT-3W\r\nHW:VKT3W\r\n");
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--image", image});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: This firmware is for VKT-3W (VKT3W), but the connected device is "
                                  "VKT-3 (VKT3K). It cannot be programmed onto this device.\n"));
    EXPECT_EQ(sim->InstalledInfo(), kInstalledInfo);
}

TEST_F(ZflashDeviceTest, ACustomImageWithoutHardwareIdentifierIsRefusedBeforeTheDeviceIsTouched)
{
    std::string image = WriteImage(root / "old.bin", kLegacyInfo);
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--image", image});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: That firmware image carries no Model/HW identifier, so it "
                                  "cannot be checked against the connected device. Custom firmware "
                                  "supplied by Zelvo always carries these identifiers. Please request an "
                                  "updated file.\n"));
    EXPECT_EQ(sim->Stats().captures, 0u);
}

TEST_F(ZflashDeviceTest, AFileThatIsNotAnImageIsRefusedAsBadInput)
{
    std::string file = (root / "notes.txt").string();
    { std::ofstream(file) << "hello"; }
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--image", file});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: That file is not a valid Zelvo firmware image. It is either "
                                  "not a firmware file, or it was damaged in transit.\n"));
    EXPECT_EQ(sim->Stats().captures, 0u);
}

TEST_F(ZflashDeviceTest, AMissingImageFileIsBadInput)
{
    std::string file = (root / "gone.bin").string();
    ZflashRun run = Zflash({"program", "--port", "/dev/null", "--image", file});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "zflash: image file not found: " + file + "\n");
}

TEST_F(ZflashDeviceTest, AListedImageThatCannotBeVerifiedNeedsYes)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--version", "0.9"});
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_TRUE(Contains(run.err, "zflash: This firmware image has no hardware identifier embedded (older "
                                  "build). Compatibility with VKT-3 (VKT3K) cannot be verified "
                                  "automatically. Run again with --yes to program it anyway.\n"));
    EXPECT_EQ(sim->InstalledInfo(), kInstalledInfo);
}

TEST_F(ZflashDeviceTest, AListedImageThatCannotBeVerifiedIsProgrammedWithYes)
{
    ASSERT_TRUE(StartSim());
    ZflashRun run = Zflash({"program", "--port", Port(), "--version", "0.9", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "zflash: warning: This firmware image has no hardware identifier"));
    EXPECT_EQ(sim->InstalledInfo(), kLegacyInfo);
}

TEST_F(ZflashDeviceTest, AnImageDamagedAfterItWasJudgedIsRefusedBeforeTheErase)
{
    std::string image = WriteImage(root / "hotfix.bin", kHotfixInfo);
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"program", "--port", Port(), "--image", image}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
    std::ofstream(image, std::ios::binary | std::ios::trunc) << "damaged";
    simOptions.announce = true;
    sim->SetOptions(simOptions);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Contains(run.err, "zflash: cannot program " + image +
                                      ": This does not appear to be a Zelvo Image file. Nothing was erased.\n"));
    EXPECT_EQ(sim->InstalledInfo(), kInstalledInfo);
    EXPECT_FALSE(Contains(run.out, "Erasing"));
}
