// Custom images and images that cannot be verified: judged by zflash exactly
// where the window judges them, with the window's texts.
#include <fstream>

#include <sys/stat.h>

#include "targetlib/sha256.h"
#include "tests/zflash/test_zflash_support.h"

using nlohmann::json;

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

// A file that cannot be programmed is refused with the real reason, before
// any device is touched.
TEST_F(ZflashDeviceTest, AnUnusableImageFileIsRefusedWithItsReason)
{
    const std::string text = (root / "notes.txt").string();
    { std::ofstream(text) << "hello"; }
    const std::string fifo = (root / "pipe.bin").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = (root / "big.bin").string();
    std::filesystem::resize_file((std::ofstream(big), big), 70u << 20);
    const struct {
        std::string file, reason;
    } cases[] = {
        {text, "This does not appear to be a Zelvo Image file."},
        {root.string(), "it is a folder, not an image file."},
        {fifo, "it is not a regular file (a FIFO, socket or device), so it cannot be an image file."},
        {big, "Image file <" + big + "> is too large (73400320 bytes; image files are at most 64 MiB)."},
    };
    ASSERT_TRUE(StartSim());
    for (const auto &c : cases) {
        ZflashRun run = Zflash({"program", "--port", Port(), "--image", c.file});
        EXPECT_EQ(run.exitCode, 2) << c.file;
        EXPECT_EQ(run.err, "zflash: cannot use " + c.file + ": " + c.reason + "\n");
    }
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

// The image is read once, before the device is awaited: the bytes judged
// are the bytes programmed and hashed, whatever happens to the file meanwhile.
TEST_F(ZflashDeviceTest, AnImageReplacedWhileTheDeviceIsAwaitedIsProgrammedAsItWasRead)
{
    std::string image = WriteImage(root / "hotfix.bin", kHotfixInfo);
    const std::string checked = FileSha256(image);
    const std::string log = (root / "swap.jsonl").string();
    simOptions.announce = false;
    ASSERT_TRUE(StartSim());
    ZflashProcess zflash(WithRoot({"--log", log, "program", "--port", Port(), "--image", image}));
    ASSERT_TRUE(zflash.WaitForText("Waiting for target. Power up the device now...", 30000));
    WriteImage(image, "VN:2.0.0\r\nMD:VKT-Q1\r\nHW:VKTQ1\r\nTS:2026-05-01 08:00\r\n");
    simOptions.announce = true;
    sim->SetOptions(simOptions);
    ZflashRun run = zflash.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sim->InstalledInfo(), kHotfixInfo);
    const json record = Records(log).at(0);
    EXPECT_EQ(record["image"]["sha256"], checked);
    EXPECT_EQ(record["image"]["version"], "1.10.1");
}
