// Names that are not ASCII, end to end under Wine: the program runs from a
// folder whose name is not ASCII ("Zelvo Prüf Жук", made by the test script),
// lists images with such names beside it, and takes a custom image with such
// a name and folder, dropped and browsed. Every name must read the same in
// the list, the custom-firmware panel, the log, message boxes and the release
// notes. (Cyrillic rather than Greek: Wine's own dialog font has no Greek
// letters, and the screenshots should show the names.) The tests run in order
// and share one running program.
#include <gtest/gtest.h>

#include <fstream>

#include "app/utf16.h"
#include "targetlib/utf8path.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

enum {
    IDC_PORT_COMBO = 1001, IDC_CAPTURE = 1003, IDC_DEVICE = 1004, IDC_FW_COMBO = 1005,
    IDC_PROGRAM = 1006, IDC_INSTALLED = 1008, IDC_NOTES = 1011, IDC_CUSTOM_FILE = 1021,
    IDC_CUSTOM_STATUS = 1022, IDC_BROWSE = 1023, IDC_CLEAR = 1024, IDC_NOTES_EDIT = 1030,
};

const char kK3Folder[] = "firmware\\VKT3/VKT3K\\";
const std::string kNewestName = "vkt3k_fw_Prüf_Жук_v3_0_0.bin";
const std::string kOtherName = "vkt3_Жук_v0_5_0.bin";
const std::string kHotfixName = "Prüf_Жук.bin";
const std::string kNotes = "Release notes für VKT-3 – Жук build\r\n  • Prüf\r\n";

std::string Info(const std::string &version, const std::string &model, const std::string &hw)
{
    return "VN:" + version + "\r\nMD:" + model + "\r\nHW:" + hw + "\r\nTS:2026-10-01 08:00\r\n";
}

// The image writer takes narrow paths: the image is written under an ASCII
// name and then renamed to its UTF-8 one.
bool WriteFirmwareAs(const std::string &path, const std::string &info)
{
    const std::string temp = Config().workDir + "\\names-image.tmp";
    if (!WriteImageFile(temp, info, 0x08010000, SplitIntoBlocks(info + '\0' + std::string(3000, 'Z'), 1024)))
        return false;
    return MoveFileExW(WideFromUtf8(temp).c_str(), WideFromUtf8(path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool WriteText(const std::string &path, const std::string &text)
{
    std::ofstream out(PathFromUtf8(path), std::ios::binary);
    out << text;
    return bool(out);
}

std::string HotfixFolder() { return Config().workDir + "\\Hotfix Prüf Жук"; }
std::string HotfixPath() { return HotfixFolder() + "\\" + kHotfixName; }

class GuiNames : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const E2eConfig &c = Config();
        ASSERT_FALSE(c.namesAppExe.empty()) << "ZF_E2E_NAMES_APP is not set";
        const std::string k3 = c.namesAppDir() + kK3Folder;
        ASSERT_TRUE(WriteFirmwareAs(k3 + kNewestName, Info("3.0.0", "VKT-3", "VKT3K")));
        ASSERT_TRUE(WriteFirmwareAs(k3 + kOtherName, Info("0.5.0", "VKT-3 Жук", "VKT3")));
        ASSERT_TRUE(WriteText(k3 + "release.txt", kNotes));
        ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(HotfixFolder()).c_str(), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(WriteFirmwareAs(HotfixPath(), Info("2.0.2", "VKT-3", "VKT3K")));
        app = new AppSession;
        ASSERT_TRUE(app->Launch(c.namesAppExe)) << "the main window did not appear";
    }
    static void TearDownTestSuite()
    {
        delete app;
        app = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(app, nullptr);
        ASSERT_TRUE(app->Main() != nullptr);
    }

    // Waits for the custom-firmware file line; a screenshot named `shot` is
    // taken whether or not it came, so a wrong text can be seen.
    static bool WaitForCustomFile(const std::string &line, const char *shot = nullptr)
    {
        const bool shown = WaitFor([&] { return app->Text(IDC_CUSTOM_FILE) == line; });
        if (shot)
            app->Screenshot(shot, app->Main());
        return shown;
    }

    static void ExpectLoadedLines(size_t from)
    {
        const std::vector<std::string> expected = {"Custom firmware loaded: " + kHotfixName,
                                                   "    for VKT-3 (VKT3K)  v2.0.2"};
        app->WaitForLogLines(from, expected);
        EXPECT_EQ(app->LogLinesFrom(from), expected);
    }

    // Clears the custom image; its log line (posted, so it may come after
    // the panel changed) is in before the next step counts lines.
    static void ClearCustom()
    {
        const bool loaded = app->Text(IDC_CUSTOM_FILE) != "(none - using bundled firmware above)";
        const size_t from = app->LogLines().size();
        Click(app->Control(IDC_CLEAR));
        ASSERT_TRUE(WaitFor([] { return app->Text(IDC_CUSTOM_FILE) == "(none - using bundled firmware above)"; }));
        if (loaded) {
            ASSERT_TRUE(WaitFor([from] { return app->LogHas("Custom firmware cleared - using bundled firmware.", from); }));
        }
    }

    static AppSession *app;
};

AppSession *GuiNames::app = nullptr;

TEST_F(GuiNames, ADroppedImageShowsItsNameInThePanelAndTheLog)
{
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(app->DropFile(HotfixPath()));
    EXPECT_TRUE(WaitForCustomFile(kHotfixName + "   v2.0.2", "names-panel-dropped")) << app->Text(IDC_CUSTOM_FILE);
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "For VKT-3 (VKT3K) - capture a device to verify.");
    ExpectLoadedLines(from);
}

TEST_F(GuiNames, BrowsingForTheImageByItsNameLoadsItAgain)
{
    ClearCustom();
    const size_t from = app->LogLines().size();
    Click(app->Control(IDC_BROWSE));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = app->FindWindowOf("#32770", "Select custom firmware image")); }));
    ASSERT_TRUE(WaitFor([&] { return GetDlgItem(dialog, 0x47C) != nullptr; }));
    SetText(GetDlgItem(dialog, 0x47C), HotfixPath());
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(WaitForCustomFile(kHotfixName + "   v2.0.2")) << app->Text(IDC_CUSTOM_FILE);
    ExpectLoadedLines(from);
    ClearCustom();
}

TEST_F(GuiNames, DiscoveryInTheProgramsFolderListsTheNamesRight)
{
    ASSERT_TRUE(SelectComboText(app->Control(IDC_PORT_COMBO), Config().com));
    const size_t from = app->LogLines().size();
    Click(app->Control(IDC_CAPTURE));
    const bool captured = WaitFor([from] {
        return app->LogHas("Detected: VKT-3 (VKT3K)", from) && app->Text(IDC_DEVICE) != "Detecting..." &&
               app->Text(IDC_INSTALLED) != "Querying..." &&
               app->EnabledControls().find("capture") != std::string::npos;
    }, 60);
    HWND list = app->Control(IDC_FW_COMBO);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    WaitFor([&] { return SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5);
    app->Screenshot("names-list", app->Main());
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    ASSERT_TRUE(captured);
    EXPECT_EQ(app->Text(IDC_DEVICE), "VKT-3 (VKT3K)");
    const std::vector<std::string> items = {
        kNewestName + "  (v3.0.0)",
        "vkt3k_fw_v1_10_3.bin  (v1.10.3)",
        "vkt3k_fw_v1_9_7.bin  (v1.9.7)",
        "vkt3k_fw_v1_2_0.bin  (v1.2.0)",
        "vkt3k_fw_v0_9_8_legacy.bin  (v0.9.8)  [unverified]",
        kOtherName + "  (v0.5.0)",
    };
    EXPECT_EQ(ComboItems(list), items);
    EXPECT_TRUE(app->LogHas("Found 6 firmware version(s).", from));
}

TEST_F(GuiNames, AMessageBoxShowsTheImagesOwnTextRight)
{
    ASSERT_TRUE(SelectComboText(app->Control(IDC_FW_COMBO), kOtherName + "  (v0.5.0)"));
    Click(app->Control(IDC_PROGRAM));
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "Firmware does not match device");
    EXPECT_EQ(AppSession::BoxText(box),
              "This firmware is for VKT-3 Жук (VKT3), but the connected device is VKT-3 (VKT3K). "
              "It cannot be programmed onto this device.");
    AppSession::Answer(box, IDOK);
    ASSERT_TRUE(WaitFor([] { return app->NoBoxOpen(); }));
}

TEST_F(GuiNames, ReleaseNotesAreReadFromTheProgramsFolderAndShownRight)
{
    Click(app->Control(IDC_NOTES));
    HWND notes = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (notes = app->FindWindowOf("ZelvoNotesWndClass")); }));
    EXPECT_EQ(WindowText(notes), "VKT-3 Release Notes");
    EXPECT_EQ(WindowText(GetDlgItem(notes, IDC_NOTES_EDIT)), kNotes);
    app->Screenshot("names-notes", notes);
    PostMessageW(notes, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(notes); }));
}

TEST_F(GuiNames, ADroppedImageIsVerifiedAgainstTheDeviceByItsName)
{
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(app->DropFile(HotfixPath()));
    EXPECT_TRUE(WaitForCustomFile(kHotfixName + "   v2.0.2", "names-panel")) << app->Text(IDC_CUSTOM_FILE);
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "Verified: matches the connected VKT-3 (VKT3K).");
    ExpectLoadedLines(from);
}

}  // namespace
