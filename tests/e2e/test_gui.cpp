// The Windows program end to end under Wine: an operator's session against the
// simulated VKT-3 (VKT3K), driven through the program's own windows. The tests
// run in order and share one running program.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/e2e/appsession.h"
#include "app/utf16.h"
#include "devicelink/ports/ports.h"
#include "targetlib/sha256.h"
#include "tests/e2e/winui.h"
#include "tools/imagewriter/imagewriter.h"

namespace {

const std::string kTitle = "Zelvo Flash Update  v1.0";
const std::string kDevice = "VKT-3 (VKT3K)";
const char kK3Folder[] = "firmware\\VKT3/VKT3K\\";

enum {
    IDC_PORT_COMBO = 1001, IDC_PORT_REFRESH = 1002, IDC_CAPTURE = 1003, IDC_DEVICE = 1004,
    IDC_FW_COMBO = 1005, IDC_PROGRAM = 1006, IDC_LOG = 1007, IDC_INSTALLED = 1008, IDC_QUERY = 1009,
    IDC_DISCONNECT = 1010, IDC_NOTES = 1011, IDC_CUSTOM_FILE = 1021, IDC_CUSTOM_STATUS = 1022,
    IDC_BROWSE = 1023, IDC_CLEAR = 1024, IDC_PROGRESS = 1025, IDC_NOTES_EDIT = 1030,
};

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool WriteFirmware(const std::string &path, const std::string &info)
{
    return WriteImageFile(path, info, 0x08010000, SplitIntoBlocks(info + '\0' + std::string(3000, 'Z'), 1024));
}

std::string Info(const std::string &version, const std::string &hw)
{
    return "VN:" + version + "\r\nMD:VKT-3\r\nHW:" + hw + "\r\nTS:2026-10-01 08:00\r\n";
}

std::string HotfixPath() { return Config().workDir + "\\hotfix_vkt3k_v2_0_1.bin"; }
std::string OtherHotfixPath() { return Config().workDir + "\\hotfix_vkt3_v2_0_1.bin"; }

// How many requests that write or erase the firmware region the simulator has seen.
int WritingRequests()
{
    const std::string log = ReadFile(Config().simLog);
    int n = 0;
    for (const char *request : {"request 93,", "request 92,", "request 90,", "request 190,"})
        for (size_t at = log.find(request); at != std::string::npos; at = log.find(request, at + 1))
            n++;
    return n;
}

// Records in the file when the suite started.
size_t recordsBefore = 0;

// How often the simulator saw the host close its line.
int LineClosings()
{
    const std::string log = ReadFile(Config().simLog);
    int n = 0;
    for (size_t at = log.find("host closed the line"); at != std::string::npos;
         at = log.find("host closed the line", at + 1))
        n++;
    return n;
}

class Gui : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        const E2eConfig &c = Config();
        ASSERT_FALSE(c.appExe.empty()) << "ZF_E2E_APP is not set";
        // Beside the shipped images: one built for the other VKT-3 option.
        ASSERT_TRUE(WriteFirmware(c.appDir() + kK3Folder + "vkt3_other_hw_v0_5_0.bin", Info("0.5.0", "VKT3")));
        ASSERT_TRUE(WriteFirmware(HotfixPath(), Info("2.0.1", "VKT3K")));
        ASSERT_TRUE(WriteFirmware(OtherHotfixPath(), Info("2.0.1", "VKT3")));
        recordsBefore = UserRecords().size();
        app = new AppSession;
        ASSERT_TRUE(app->Launch(c.appExe)) << "the main window did not appear";
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

    static void SelectPort(const std::string &port)
    {
        ASSERT_TRUE(SelectComboText(app->Control(IDC_PORT_COMBO), port)) << port << " is not listed";
    }

    static void CaptureSimulatedDevice()
    {
        ASSERT_TRUE(app->Capture(Config().com)) << app->Text(IDC_DEVICE);
    }

    // Starts programming the newest listed image; returns once it runs.
    static void StartProgrammingNewest()
    {
        ASSERT_TRUE(app->StartProgramming(0));
    }

    static AppSession *app;
};

AppSession *Gui::app = nullptr;

TEST_F(Gui, StartsWithOnlyPortSelectionCaptureAndBrowseEnabled)
{
    EXPECT_EQ(app->Caption(), kTitle);
    EXPECT_EQ(app->LogLines(), std::vector<std::string>{kTitle});
    EXPECT_EQ(app->Text(IDC_DEVICE), "(not captured)");
    EXPECT_EQ(app->Text(IDC_INSTALLED), "(unknown)");
    EXPECT_EQ(app->Text(IDC_DISCONNECT), "Disconnect");
    EXPECT_EQ(app->Text(IDC_CUSTOM_FILE), "(none - using bundled firmware above)");
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "Drag a firmware file onto this window, or click Browse.");
    EXPECT_TRUE(ComboItems(app->Control(IDC_FW_COMBO)).empty());
    EXPECT_EQ(ComboSelection(app->Control(IDC_PORT_COMBO)), 0);
    EXPECT_EQ(app->EnabledControls(), "port refresh capture browse");
    EXPECT_EQ(SendMessageA(app->Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
    // A long session's log keeps growing past the edit control's default 32K.
    EXPECT_GT(DWORD(SendMessageA(app->Control(IDC_LOG), EM_GETLIMITTEXT, 0, 0)), 0x100000u);
    RECT rc;
    GetClientRect(app->Main(), &rc);
    EXPECT_EQ(rc.right, 609);
    EXPECT_EQ(rc.bottom, 412);
    EXPECT_EQ(Style(app->Main()) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
}

TEST_F(Gui, RefreshListsTheSimulatedPortsInNaturalOrderAndKeepsTheSelection)
{
    HWND ports = app->Control(IDC_PORT_COMBO);
    const std::vector<std::string> before = ComboItems(ports);
    EXPECT_GE(IndexOf(before, Config().com), 0);
    EXPECT_GE(IndexOf(before, Config().silentCom), 0);
    EXPECT_TRUE(std::is_sorted(before.begin(), before.end(), NaturalLess));
    SelectComboEntry(ports, int(before.size()) - 1);
    ASSERT_TRUE(WaitFor([&] { return ComboSelection(ports) == int(before.size()) - 1; }));
    // Sent, not posted: Refresh has refilled the list when it returns.
    SendWithin(app->Control(IDC_PORT_REFRESH), BM_CLICK, 0, 0);
    EXPECT_EQ(ComboItems(ports), before);
    EXPECT_EQ(ComboSelection(ports), int(before.size()) - 1);
}

TEST_F(Gui, CaptureOfASilentDeviceWaitsAndCanBeCancelled)
{
    SelectPort(Config().silentCom);
    const size_t from = app->LogLines().size();
    Click(app->Control(IDC_CAPTURE));
    ASSERT_TRUE(WaitFor([from] { return app->LogHas("Waiting for target. Power up the device now...", from); }));
    EXPECT_EQ(app->Text(IDC_DEVICE), "Detecting...");
    EXPECT_EQ(app->Text(IDC_DISCONNECT), "Cancel");
    EXPECT_EQ(app->EnabledControls(), "disconnect");

    Click(app->Control(IDC_DISCONNECT));
    ASSERT_TRUE(WaitFor([] { return app->Text(IDC_DISCONNECT) == "Disconnect"; }));
    const std::vector<std::string> log = app->LogLines();
    const std::vector<std::string> expected = {
        "Opening " + Config().silentCom + "...", "Waiting for target. Power up the device now...",
        "Cancelling capture...", "Capture cancelled."};
    EXPECT_EQ(std::vector<std::string>(log.begin() + long(from), log.end()), expected);
    EXPECT_EQ(app->Text(IDC_DEVICE), "(capture failed)");
    EXPECT_EQ(app->EnabledControls(), "port refresh capture browse");
}

TEST_F(Gui, CaptureIdentifiesTheDeviceListsItsFirmwareNewestFirstAndQueriesIt)
{
    const size_t from = app->LogLines().size();
    CaptureSimulatedDevice();
    const std::vector<std::string> items = {
        "vkt3k_fw_v1_10_3.bin  (v1.10.3)",
        "vkt3k_fw_v1_9_7.bin  (v1.9.7)",
        "vkt3k_fw_v1_2_0.bin  (v1.2.0)",
        "vkt3k_fw_v0_9_8_legacy.bin  (v0.9.8)  [unverified]",
        "vkt3_other_hw_v0_5_0.bin  (v0.5.0)",
    };
    EXPECT_EQ(ComboItems(app->Control(IDC_FW_COMBO)), items);
    EXPECT_EQ(ComboSelection(app->Control(IDC_FW_COMBO)), 0);
    EXPECT_EQ(app->Text(IDC_INSTALLED), "v1.0.0   VKT-3 (VKT3K)   built 2026-01-15 10:00");
    EXPECT_EQ(app->EnabledControls(), "port refresh capture disconnect query notes fwlist browse program");
    EXPECT_EQ(app->Caption(), kTitle);
    for (const char *line : {"Target captured. Identifying hardware...", "Detected: VKT-3 (VKT3K)",
                             "Starting flashloader (921600 baud)...", "Found 5 firmware version(s).",
                             "Querying installed firmware...",
                             "    v1.0.0   VKT-3 (VKT3K)   built 2026-01-15 10:00"})
        EXPECT_TRUE(app->LogHas(line, from)) << line;
}

TEST_F(Gui, ProgrammingTheNewestImageShowsEraseAndProgressThenTheNewVersion)
{
    const size_t from = app->LogLines().size();
    StartProgrammingNewest();
    bool sawErase = false, sawProgramming = false, sawVerifying = false, shotTaken = false;
    HWND bar = app->Control(IDC_PROGRESS);
    HWND box = nullptr;
    WaitFor([&] {
        const std::string caption = app->Caption();
        const LRESULT pos = SendMessageA(bar, PBM_GETPOS, 0, 0);
        if (caption == kTitle + " - Erasing..." && (Style(bar) & PBS_MARQUEE))
            sawErase = true;
        if (caption == kTitle + " - Programming " + std::to_string(pos) + "%" && pos > 0) {
            sawProgramming = true;
            if (!shotTaken && pos >= 30 && pos <= 70)
                shotTaken = app->Screenshot("main-programming", app->Main());
        }
        if (caption.rfind(kTitle + " - Verifying ", 0) == 0)
            sawVerifying = true;
        box = app->NoBoxOpen() ? nullptr : app->WaitForBox(0);
        return box != nullptr;
    }, 120);
    EXPECT_TRUE(sawErase);
    EXPECT_TRUE(sawProgramming);
    EXPECT_TRUE(sawVerifying);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "ZelvoFlashUpdate");
    EXPECT_EQ(AppSession::BoxText(box), "Programming complete.");
    EXPECT_EQ(app->Caption(), kTitle);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(Style(bar) & PBS_MARQUEE, 0);
    AppSession::Answer(box, IDOK);

    EXPECT_TRUE(WaitFor([] {
        return app->Text(IDC_INSTALLED) == "v1.10.3   VKT-3 (VKT3K)   built 2026-09-18 16:05";
    })) << app->Text(IDC_INSTALLED);
    for (const char *line : {"Programming vkt3k_fw_v1_10_3.bin (version 1.10.3)...",
                             "Blank-checking firmware region...", "Erasing firmware region...",
                             "Programming...", "Verifying...", "Programming complete."})
        EXPECT_TRUE(app->LogHas(line, from)) << line;
    WaitFor([] { return app->EnabledControls().find("program") != std::string::npos; });
    app->Screenshot("main-programmed", app->Main());
}

// Each Program run leaves the record zflash would write, in the user's file.
TEST_F(Gui, TheProgramRunIsInTheUsersRecordFile)
{
    const std::string image = Config().appDir() + kK3Folder + "vkt3k_fw_v1_10_3.bin";
    nlohmann::json record;
    ASSERT_TRUE(WaitFor([&] {
        const std::vector<nlohmann::json> records = UserRecords();
        if (records.size() != recordsBefore + 1)
            return false;
        record = records.back();
        return true;
    })) << UserRecords().size() << " records, " << recordsBefore << " before";
    EXPECT_EQ(record["schema"], 3);
    EXPECT_EQ(record["result"], "ok");
    // Its start was written before anything was erased, with the same session.
    const std::vector<nlohmann::json> starts = UserStarts();
    ASSERT_FALSE(starts.empty());
    EXPECT_EQ(starts.back()["session"], record["session"]);
    EXPECT_EQ(starts.back()["image"]["sha256"], FileSha256(image));
    EXPECT_EQ(record["port"], Config().com);
    EXPECT_EQ(record["device"]["hw"], "VKT3K");
    EXPECT_EQ(record["before"]["version"], "1.0.0");
    EXPECT_EQ(record["after"]["version"], "1.10.3");
    EXPECT_EQ(record["image"]["file"], "vkt3k_fw_v1_10_3.bin");
    EXPECT_EQ(record["image"]["sha256"], FileSha256(image));
    EXPECT_EQ(record["attempts"], 1);
    EXPECT_GT(record["seconds"]["program"].get<double>(), 0.0);
}

TEST_F(Gui, AnImageForOtherHardwareIsRefusedWithAnErrorBox)
{
    const std::vector<std::string> items = ComboItems(app->Control(IDC_FW_COMBO));
    const int other = IndexOf(items, "vkt3_other_hw_v0_5_0.bin  (v0.5.0)");
    ASSERT_GE(other, 0);
    const size_t lines = app->LogLines().size();
    SelectComboEntry(app->Control(IDC_FW_COMBO), other);
    Click(app->Control(IDC_PROGRAM));
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "Firmware does not match device");
    EXPECT_EQ(AppSession::BoxText(box),
              "This firmware is for VKT-3 (VKT3), but the connected device is VKT-3 (VKT3K). "
              "It cannot be programmed onto this device.");
    AppSession::Answer(box, IDOK);
    ASSERT_TRUE(WaitFor([] { return app->NoBoxOpen(); }));
    EXPECT_EQ(app->LogLines().size(), lines);
    EXPECT_TRUE(Enabled(app->Control(IDC_PROGRAM)));
}

TEST_F(Gui, AnImageWithoutHardwareIdentifierAsksAndNoStartsNothing)
{
    const int legacy = IndexOf(ComboItems(app->Control(IDC_FW_COMBO)),
                               "vkt3k_fw_v0_9_8_legacy.bin  (v0.9.8)  [unverified]");
    ASSERT_GE(legacy, 0);
    const size_t lines = app->LogLines().size();
    SelectComboEntry(app->Control(IDC_FW_COMBO), legacy);
    Click(app->Control(IDC_PROGRAM));
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "Cannot verify firmware");
    EXPECT_EQ(AppSession::BoxText(box),
              "This firmware image has no hardware identifier embedded (older build). "
              "Compatibility with VKT-3 (VKT3K) cannot be verified automatically.\n\nProgram anyway?");
    AppSession::Answer(box, IDNO);
    ASSERT_TRUE(WaitFor([] { return app->NoBoxOpen(); }));
    Sleep(300);
    EXPECT_EQ(app->LogLines().size(), lines);
    EXPECT_EQ(app->EnabledControls(), "port refresh capture disconnect query notes fwlist browse program");
}

TEST_F(Gui, ACustomImageChosenWithBrowseIsVerifiedAgainstTheDevice)
{
    const size_t from = app->LogLines().size();
    Click(app->Control(IDC_BROWSE));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = app->FindWindowOf("#32770", "Select custom firmware image")); }));
    ASSERT_TRUE(WaitFor([&] { return GetDlgItem(dialog, 0x47C) != nullptr; }));
    SendMessageA(GetDlgItem(dialog, 0x47C), WM_SETTEXT, 0, LPARAM(HotfixPath().c_str()));
    Click(GetDlgItem(dialog, IDOK));

    ASSERT_TRUE(WaitFor([] { return app->Text(IDC_CUSTOM_FILE) == "hotfix_vkt3k_v2_0_1.bin   v2.0.1"; }))
        << app->Text(IDC_CUSTOM_FILE);
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "Verified: matches the connected VKT-3 (VKT3K).");
    EXPECT_EQ(app->EnabledControls(), "port refresh capture disconnect query notes browse clear program");
    const std::vector<std::string> expected = {"Custom firmware loaded: hotfix_vkt3k_v2_0_1.bin",
                                               "    for VKT-3 (VKT3K)  v2.0.1"};
    app->WaitForLogLines(from, expected);
    EXPECT_EQ(app->LogLinesFrom(from), expected);
}

TEST_F(Gui, ADroppedImageForOtherHardwareReplacesItAndShowsTheMismatch)
{
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(app->DropFile(OtherHotfixPath()));
    ASSERT_TRUE(WaitFor([] { return app->Text(IDC_CUSTOM_FILE) == "hotfix_vkt3_v2_0_1.bin   v2.0.1"; }))
        << app->Text(IDC_CUSTOM_FILE);
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "DOES NOT MATCH - this firmware is for VKT-3 (VKT3).  Use Clear.");
    EXPECT_EQ(app->EnabledControls(), "port refresh capture disconnect query notes browse clear");
    const std::vector<std::string> expected = {"Custom firmware loaded: hotfix_vkt3_v2_0_1.bin",
                                               "    for VKT-3 (VKT3)  v2.0.1",
                                               "    WARNING: does not match the connected VKT-3 (VKT3K)."};
    app->WaitForLogLines(from, expected);
    EXPECT_EQ(app->LogLinesFrom(from), expected);
}

// The window programs the bytes it judged: a custom image replaced on disk
// between the drop and Program is refused before anything is sent.
TEST_F(Gui, ACustomImageReplacedOnDiskAfterItWasJudgedIsNotWritten)
{
    const std::string swap = Config().workDir + "\\hotfix_swap_v2_0_2.bin";
    ASSERT_TRUE(WriteFirmware(swap, Info("2.0.2", "VKT3K")));
    const size_t dropped = app->LogLines().size();
    ASSERT_TRUE(app->DropFile(swap));
    ASSERT_TRUE(WaitFor([] { return app->Text(IDC_CUSTOM_STATUS) == "Verified: matches the connected VKT-3 (VKT3K)."; }))
        << app->Text(IDC_CUSTOM_STATUS);
    // The drop's log lines are posted: all in before Program's are counted.
    ASSERT_TRUE(app->WaitForLogLines(dropped, {"Custom firmware loaded: hotfix_swap_v2_0_2.bin",
                                               "    for VKT-3 (VKT3K)  v2.0.2"}));
    ASSERT_TRUE(WriteFirmware(swap, Info("2.0.2", "VKT3")));  // now an image for other hardware
    const int writing = WritingRequests();
    const size_t from = app->LogLines().size();

    Click(app->Control(IDC_PROGRAM));
    HWND box = app->WaitForBox(60);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(AppSession::BoxText(box), "Programming failed - see log for details.");
    AppSession::Answer(box, IDOK);

    const std::vector<std::string> expected = {"Programming hotfix_swap_v2_0_2.bin (version 2.0.2) [custom]...",
                                               "ERROR: The image file changed after it was checked. Nothing was written."};
    app->WaitForLogLines(from, expected);
    EXPECT_EQ(app->LogLinesFrom(from), expected);
    EXPECT_EQ(WritingRequests(), writing);
    ASSERT_TRUE(WaitFor([] { return app->EnabledControls().find("program") != std::string::npos; }));
}

TEST_F(Gui, ClearReturnsToTheBundledFirmware)
{
    const size_t from = app->LogLines().size();
    Click(app->Control(IDC_CLEAR));
    ASSERT_TRUE(WaitFor([] { return app->Text(IDC_CUSTOM_FILE) == "(none - using bundled firmware above)"; }));
    EXPECT_EQ(app->Text(IDC_CUSTOM_STATUS), "Drag a firmware file onto this window, or click Browse.");
    const std::vector<std::string> expected = {"Custom firmware cleared - using bundled firmware."};
    app->WaitForLogLines(from, expected);
    EXPECT_EQ(app->LogLinesFrom(from), expected);
    EXPECT_EQ(app->EnabledControls(), "port refresh capture disconnect query notes fwlist browse program");
}

TEST_F(Gui, ReleaseNotesOpenWithTheOptionsNotesInOneReusedWindow)
{
    Click(app->Control(IDC_NOTES));
    HWND notes = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (notes = app->FindWindowOf("ZelvoNotesWndClass")); }));
    EXPECT_EQ(WindowText(notes), "VKT-3 Release Notes");
    EXPECT_EQ(GetWindow(notes, GW_OWNER), app->Main());
    HWND edit = GetDlgItem(notes, IDC_NOTES_EDIT);
    const std::string file = ReadFile(Config().appDir() + kK3Folder + "release.txt");
    ASSERT_NE(file.find("DEMO"), std::string::npos);
    EXPECT_EQ(WindowText(edit), file);  // already CR LF
    RECT client, editRect;
    GetClientRect(notes, &client);
    GetWindowRect(edit, &editRect);
    EXPECT_EQ(editRect.right - editRect.left, client.right);
    EXPECT_EQ(editRect.bottom - editRect.top, client.bottom);
    app->Screenshot("notes", notes);

    Click(app->Control(IDC_NOTES));
    Sleep(300);
    EXPECT_EQ(app->FindWindowOf("ZelvoNotesWndClass"), notes);
    PostMessageA(notes, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(notes); }));
    EXPECT_TRUE(IsWindow(app->Main()));
}

TEST_F(Gui, DisconnectReleasesThePortAndKeepsTheDeviceAndList)
{
    const int closings = LineClosings();
    Click(app->Control(IDC_DISCONNECT));
    EXPECT_TRUE(WaitFor([&] { return LineClosings() == closings + 1; })) << "the device saw no close";
    ASSERT_TRUE(WaitFor([] {
        return app->LogLines().back() == "COM port released. The port is now free for a terminal program.";
    }));
    EXPECT_EQ(app->EnabledControls(), "port refresh capture notes fwlist browse");
    EXPECT_EQ(app->Text(IDC_DEVICE), kDevice);
    EXPECT_EQ(ComboItems(app->Control(IDC_FW_COMBO)).size(), 5u);
}

// An FTDI adapter at its 16 ms latency timer: said once, at the capture,
// with what it costs and where to change it.
TEST_F(Gui, ASlowFtdiAdapterIsToldOnceAtCapture)
{
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+ZFGUI1A\\0000\\Device Parameters";
    HKEY params = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &params, nullptr),
              ERROR_SUCCESS);
    const std::wstring port = WideFromUtf8(Config().com);
    const DWORD timer = 16;
    RegSetValueExW(params, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE *>(port.c_str()),
                   DWORD(port.size() + 1) * DWORD(sizeof(wchar_t)));
    RegSetValueExW(params, L"LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&timer), sizeof timer);
    RegCloseKey(params);
    const size_t from = app->LogLines().size();

    CaptureSimulatedDevice();
    CaptureSimulatedDevice();

    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\VID_0403+PID_6001+ZFGUI1A");
    const std::string warning = "WARNING: The USB serial adapter on " + Config().com +
                                " (FTDI) passes on what the device sends only every 16 ms (its latency timer), "
                                "and every block waits for it. Programming and verifying at 921600 baud take "
                                "about 2.3 times as long as they need.";
    const std::vector<std::string> lines = app->LogLinesFrom(from);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), warning), 1) << "once, not at every capture";
    const auto at = std::find(lines.begin(), lines.end(), warning);
    ASSERT_NE(at, lines.end());
    ASSERT_NE(at + 1, lines.end());
    EXPECT_EQ(*(at + 1), "    To set it to 1 ms: Device Manager, Ports (COM & LPT), the adapter's port (" +
                             Config().com + "), Properties, Port Settings, Advanced..., Latency Timer (msec): 1.");
}

TEST_F(Gui, ClosingWhileProgrammingAsksAndNoKeepsTheWindow)
{
    CaptureSimulatedDevice();
    StartProgrammingNewest();
    PostMessageA(app->Main(), WM_CLOSE, 0, 0);
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(box), "ZelvoFlashUpdate");
    EXPECT_EQ(AppSession::BoxText(box),
              "Programming is in progress. Closing now leaves the device without working firmware."
              "\n\nClose anyway?");
    AppSession::Answer(box, IDNO);
    ASSERT_TRUE(WaitFor([] { return app->NoBoxOpen(); }));
    EXPECT_FALSE(app->WaitExit(0.5));

    HWND done = app->WaitForBox(120);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(AppSession::BoxText(done), "Programming complete.");
    AppSession::Answer(done, IDOK);
    ASSERT_TRUE(WaitFor([] { return app->EnabledControls().find("capture") != std::string::npos; }));

    // Idle again: closing is immediate.
    PostMessageA(app->Main(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(app->WaitExit(15));
}

TEST_F(Gui, ClosingWhileProgrammingCanBeConfirmed)
{
    ASSERT_TRUE(app->WaitExit(0));
    delete app;
    app = new AppSession;
    ASSERT_TRUE(app->Launch(Config().appExe));
    CaptureSimulatedDevice();
    StartProgrammingNewest();
    PostMessageA(app->Main(), WM_CLOSE, 0, 0);
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    AppSession::Answer(box, IDYES);
    EXPECT_TRUE(app->WaitExit(15));
}

}  // namespace
