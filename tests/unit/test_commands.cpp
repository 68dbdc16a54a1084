// The decisions of the operator's commands that the window and zflash share.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/appstate.h"
#include "app/commands.h"
#include "catalogue/target.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

namespace fs = std::filesystem;

FirmwareVersion Image(const std::string &model, const std::string &hw)
{
    FirmwareVersion fw;
    fw.path = "/images/" + hw + ".bin";
    fw.fileName = hw + ".bin";
    fw.version = "1.2.0";
    fw.model = model;
    fw.hw = hw;
    fw.hasHW = !hw.empty();
    return fw;
}

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FindByHW("VKT3K", prod, hw));
        g_customLoaded = false;
        g_customFw = FirmwareVersion();
        g_fwList = {Image("VKT-3", "VKT3K"), Image("VKT-3", "")};
    }
    void TearDown() override
    {
        g_customLoaded = false;
        g_customValid = false;
        g_customFw = FirmwareVersion();
        ClearDeviceState();
    }
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
};

TEST_F(CommandsTest, AnImageForTheDeviceGoesAheadWithTheChecksSentence)
{
    const ImageApproval a = ApproveImage(Image("VKT-3", "VKT3K"), *prod, *hw, false);
    EXPECT_EQ(ImageApproval::Go, a.verdict);
    EXPECT_FALSE(a.text.empty());
    EXPECT_EQ(a.reason, a.text);
}

TEST_F(CommandsTest, AnImageForOtherHardwareIsRefusedWhetherCustomOrListed)
{
    for (bool custom : {false, true}) {
        const ImageApproval a = ApproveImage(Image("VKT-Q1", "VKTQ1"), *prod, *hw, custom);
        EXPECT_EQ(ImageApproval::Refuse, a.verdict);
        EXPECT_EQ("Firmware does not match device", a.caption);
        EXPECT_EQ(FailureKind::WrongHardware, a.kind);
        EXPECT_EQ(a.reason, a.text);
    }
}

TEST_F(CommandsTest, AListedImageWithoutIdentifierAsksAndACustomOneIsRefused)
{
    const ImageApproval listed = ApproveImage(Image("", ""), *prod, *hw, false);
    EXPECT_EQ(ImageApproval::Ask, listed.verdict);
    EXPECT_EQ("Cannot verify firmware", listed.caption);
    EXPECT_EQ(listed.reason + "\n\nProgram anyway?", listed.text);

    const ImageApproval custom = ApproveImage(Image("", ""), *prod, *hw, true);
    EXPECT_EQ(ImageApproval::Refuse, custom.verdict);
    EXPECT_EQ("Cannot verify firmware", custom.caption);
    EXPECT_EQ("This custom firmware image carries no Model/HW identifier and cannot be verified. It "
              "will not be programmed.",
              custom.text);
}

TEST_F(CommandsTest, TheChosenImageIsTheCustomOneWhileLoadedElseTheListEntry)
{
    FirmwareVersion fw;
    ASSERT_TRUE(ChosenImage(1, fw));
    EXPECT_EQ(g_fwList[1].path, fw.path);
    EXPECT_FALSE(ChosenImage(-1, fw));
    EXPECT_FALSE(ChosenImage(2, fw));

    g_customFw = Image("VKT-3", "VKT3K");
    g_customFw.path = "/custom/hotfix.bin";
    g_customLoaded = true;
    ASSERT_TRUE(ChosenImage(-1, fw));
    EXPECT_EQ("/custom/hotfix.bin", fw.path);
}

TEST_F(CommandsTest, ClearingForACaptureForgetsTheDeviceButNotTheCustomImage)
{
    g_prod = prod;
    g_hw = hw;
    g_customLoaded = true;
    g_customValid = true;
    g_abortCapture = true;

    ClearDeviceState();

    EXPECT_EQ(nullptr, g_prod.load());
    EXPECT_EQ(nullptr, g_hw.load());
    EXPECT_TRUE(g_fwList.empty());
    EXPECT_FALSE(g_customValid);
    EXPECT_TRUE(g_customLoaded);
    EXPECT_FALSE(g_abortCapture);
}

TEST_F(CommandsTest, ACustomImageIsJudgedWithoutBeingKept)
{
    const fs::path dir = fs::temp_directory_path() / "zf_commands_test";
    fs::create_directories(dir);
    const std::string good = (dir / "good.bin").string(), bare = (dir / "bare.bin").string();
    ASSERT_TRUE(WriteImageFile(good, "VN:2.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\n", 0x08010000,
                               SplitIntoBlocks(std::string(600, 'x'), 256)));
    ASSERT_TRUE(WriteImageFile(bare, "VN:2.0.0\r\n", 0x08010000, SplitIntoBlocks(std::string(600, 'x'), 256)));

    FirmwareVersion fw;
    EXPECT_EQ(CustomJudgement::NotAnImage, JudgeCustomImage((dir / "absent.bin").string(), fw).verdict);
    const CustomJudgement noId = JudgeCustomImage(bare, fw);
    EXPECT_EQ(CustomJudgement::NoIdentifier, noId.verdict);
    EXPECT_EQ("Cannot load firmware", std::string(noId.caption));
    EXPECT_EQ(CustomJudgement::Accepted, JudgeCustomImage(good, fw).verdict);
    EXPECT_EQ("VKT3K", fw.hw);
    EXPECT_FALSE(g_customLoaded);
    fs::remove_all(dir);
}

}  // namespace
