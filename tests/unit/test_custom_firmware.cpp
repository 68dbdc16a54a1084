// Loading a custom ("hotfix") image and judging it against the captured device.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "app/workflows.h"
#include "tests/support/message_recorder.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

namespace fs = std::filesystem;

const char *const kNotAnImage =
    "That file is not a valid Zelvo firmware image.\n\n"
    "It is either not a firmware file, or it was damaged in transit.";
const char *const kNoIdentifier =
    "That firmware image carries no Model/HW identifier, so it cannot be checked against the "
    "connected device.\n\n"
    "Custom firmware supplied by Zelvo always carries these identifiers. Please request an updated "
    "file.";

struct ShownBox {
    std::string text, caption;
    unsigned type;
};
std::vector<ShownBox> shownBoxes;

// What the panel saw when it was refreshed.
struct Refresh {
    bool loaded, valid;
    size_t linesBefore;
};
std::vector<Refresh> refreshes;
const MessageRecorder *activeRecorder = nullptr;

int RecordBox(const std::string &text, const std::string &caption, unsigned type)
{
    shownBoxes.push_back({text, caption, type});
    return BoxAnswerOk;
}

void RecordRefresh()
{
    refreshes.push_back({g_customLoaded, g_customValid, activeRecorder->LogLines().size()});
}

class CustomFirmware : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        dir = fs::temp_directory_path() / ("zf_custom_" + std::to_string(stamp));
        fs::create_directories(dir);
        Unload();
        shownBoxes.clear();
        refreshes.clear();
        activeRecorder = &recorder;
        SetMessageBoxHandler(RecordBox);
        SetCustomUiRefresher(RecordRefresh);
    }

    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        SetCustomUiRefresher(nullptr);
        Unload();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    static void Unload()
    {
        g_customFw = FirmwareVersion();
        g_customLoaded = false;
        g_customValid = false;
        g_prod = nullptr;
        g_hw = nullptr;
    }

    std::string WriteImage(const std::string &name, const std::string &info)
    {
        std::string path = (dir / name).string();
        const std::string data = info + '\0' + "firmware body";
        EXPECT_TRUE(WriteImageFile(path, info, 0x08010000, SplitIntoBlocks(data, 16)));
        return path;
    }

    static void Identify(const std::string &hw)
    {
        const Product *prod = nullptr;
        const HWOption *option = nullptr;
        ASSERT_TRUE(FindByHW(hw, prod, option));
        g_prod = prod;
        g_hw = option;
    }

    MessageRecorder recorder;
    fs::path dir;
};

TEST_F(CustomFirmware, ValidImageBeforeCaptureIsLoadedButNotValid)
{
    const std::string path = WriteImage("hotfix.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n");

    LoadCustomFirmware(path);

    EXPECT_TRUE(g_customLoaded);
    EXPECT_FALSE(g_customValid);
    EXPECT_EQ(path, g_customFw.path);
    EXPECT_EQ("hotfix.bin", g_customFw.fileName);
    const std::vector<std::string> expected = {"Custom firmware loaded: hotfix.bin", "    for VKT-3 (VKT3K)  v1.2.1"};
    EXPECT_EQ(expected, recorder.LogLines());
    EXPECT_TRUE(shownBoxes.empty());
}

TEST_F(CustomFirmware, ImageLoadedBeforeCaptureBecomesValidForAFittingDevice)
{
    LoadCustomFirmware(WriteImage("hotfix.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));
    Identify("VKT3K");

    ValidateCustom();

    EXPECT_TRUE(g_customValid);
}

TEST_F(CustomFirmware, ImageForTheConnectedDeviceIsValidWithoutWarning)
{
    Identify("VKT3K");

    LoadCustomFirmware(WriteImage("hotfix.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));

    EXPECT_TRUE(g_customValid);
    EXPECT_EQ(2u, recorder.LogLines().size());
}

TEST_F(CustomFirmware, ImageForOtherHardwareIsKeptWithAWarning)
{
    Identify("VKT3");

    LoadCustomFirmware(WriteImage("hotfix.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));

    EXPECT_TRUE(g_customLoaded);
    EXPECT_FALSE(g_customValid);
    const std::vector<std::string> expected = {
        "Custom firmware loaded: hotfix.bin",
        "    for VKT-3 (VKT3K)  v1.2.1",
        "    WARNING: does not match the connected VKT-3 (VKT3).",
    };
    EXPECT_EQ(expected, recorder.LogLines());
}

TEST_F(CustomFirmware, ImageWithoutVersionIsLoggedWithoutVersionPart)
{
    LoadCustomFirmware(WriteImage("noversion.bin", "MD:VKT-Q2\r\nHW:VKTQ2\r\n"));

    EXPECT_EQ("    for VKT-Q2 (VKTQ2)", recorder.LogLines().back());
}

TEST_F(CustomFirmware, FileThatIsNotAnImageIsRefusedAndTheEarlierImageStays)
{
    const std::string earlier = WriteImage("earlier.bin", "VN:1.0\r\nHW:VKTN1\r\n");
    LoadCustomFirmware(earlier);
    recorder.Clear();
    const std::string junk = (dir / "notes.bin").string();
    std::ofstream(junk, std::ios::binary) << "zimX this is not an image";

    LoadCustomFirmware(junk);

    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ(kNotAnImage, shownBoxes[0].text);
    EXPECT_EQ("Cannot load firmware", shownBoxes[0].caption);
    EXPECT_EQ(unsigned(BoxIconError | BoxOk), shownBoxes[0].type);
    EXPECT_TRUE(g_customLoaded);
    EXPECT_EQ(earlier, g_customFw.path);
    EXPECT_TRUE(recorder.Messages().empty());
    EXPECT_EQ(1u, refreshes.size());
}

TEST_F(CustomFirmware, ImageWithoutHardwareIdentifierIsRefusedEvenWithAModel)
{
    LoadCustomFirmware(WriteImage("nohw.bin", "VN:1.0\r\nMD:VKT-3\r\n"));

    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ(kNoIdentifier, shownBoxes[0].text);
    EXPECT_EQ("Cannot load firmware", shownBoxes[0].caption);
    EXPECT_EQ(unsigned(BoxIconError | BoxOk), shownBoxes[0].type);
    EXPECT_FALSE(g_customLoaded);
    EXPECT_EQ("", g_customFw.path);
    EXPECT_TRUE(recorder.Messages().empty());
    EXPECT_TRUE(refreshes.empty());
}

TEST_F(CustomFirmware, EmptyHardwareIdentifierCountsAsNone)
{
    LoadCustomFirmware(WriteImage("emptyhw.bin", "VN:1.0\r\nHW:\r\n"));

    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ(kNoIdentifier, shownBoxes[0].text);
    EXPECT_FALSE(g_customLoaded);
}

TEST_F(CustomFirmware, SecondImageReplacesEveryFieldOfTheFirst)
{
    LoadCustomFirmware(WriteImage("first.bin", "VN:2.0\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));
    const std::string second = WriteImage("second.bin", "HW:VKTQ1\r\n");

    LoadCustomFirmware(second);

    EXPECT_EQ(second, g_customFw.path);
    EXPECT_EQ("second.bin", g_customFw.fileName);
    EXPECT_EQ("", g_customFw.version);
    EXPECT_EQ("", g_customFw.model);
    EXPECT_EQ("VKTQ1", g_customFw.hw);
    EXPECT_TRUE(g_customFw.hasHW);
}

TEST_F(CustomFirmware, PanelIsRefreshedOnceAfterValidationAndBeforeTheLogLines)
{
    Identify("VKT3K");

    LoadCustomFirmware(WriteImage("hotfix.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));

    ASSERT_EQ(1u, refreshes.size());
    EXPECT_TRUE(refreshes[0].loaded);
    EXPECT_TRUE(refreshes[0].valid);
    EXPECT_EQ(0u, refreshes[0].linesBefore);
}

TEST_F(CustomFirmware, ValidationNeedsALoadedImageAndAnIdentifiedDevice)
{
    Identify("VKT3K");
    g_customValid = true;
    ValidateCustom();
    EXPECT_FALSE(g_customValid);

    LoadCustomFirmware(WriteImage("hotfix.bin", "HW:VKT3K\r\n"));
    ASSERT_TRUE(g_customValid);
    g_prod = nullptr;
    g_hw = nullptr;
    ValidateCustom();
    EXPECT_FALSE(g_customValid);
    EXPECT_TRUE(g_customLoaded);
}

}  // namespace

TEST_F(CustomFirmware, AFolderIsRefusedAsNoImage)
{
    LoadCustomFirmware(WriteImage("first.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));
    const fs::path folder = dir / "folder.bin";
    fs::create_directory(folder);
    recorder.Clear();

    LoadCustomFirmware(folder.string());

    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ(kNotAnImage, shownBoxes[0].text);
    EXPECT_EQ("first.bin", g_customFw.fileName);
    EXPECT_TRUE(recorder.LogLines().empty());
}

// 2 GiB dropped on the window: refused at once, nothing allocated for it (a
// 32-bit process could not hold it), and the image loaded before stays.
TEST_F(CustomFirmware, AFileTooLargeForAnyImageIsRefusedWithoutBeingRead)
{
    LoadCustomFirmware(WriteImage("first.bin", "VN:1.2.1\r\nMD:VKT-3\r\nHW:VKT3K\r\n"));
    const std::string huge = WriteImage("huge.bin", "VN:9.9.9\r\nMD:VKT-3\r\nHW:VKT3K\r\n");
    fs::resize_file(huge, (2ull << 30) + 1);  // sparse: the size without the bytes
    recorder.Clear();

    LoadCustomFirmware(huge);

    ASSERT_EQ(1u, shownBoxes.size());
    EXPECT_EQ(kNotAnImage, shownBoxes[0].text);
    EXPECT_EQ("first.bin", g_customFw.fileName);
    EXPECT_TRUE(g_customLoaded);
    EXPECT_TRUE(recorder.LogLines().empty());
}
