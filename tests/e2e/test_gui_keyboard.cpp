// The window by keyboard alone under Wine, as a technician without a mouse
// works it: the focus starts in the port list, Tab walks the controls in
// reading order, Return presses the default button (Capture Device until a
// device is captured; then none, so that a stray Return never erases the
// device), Space the focused one, Alt and a letter the access keys, Escape
// cancels a waiting capture and closes the release notes; a close asked for
// by Alt+F4 while the device is written defaults to No, and so does Windows'
// end of session. Keys are posted to the control that has the program's
// focus, as the keyboard would deliver them. The tests run in order and
// share one running program and a simulated VKT-3 (VKT3K) of their own, so
// what they program is not what the other tests find installed.
#include <gtest/gtest.h>

#include <functional>

#include "tests/e2e/appsession.h"
#include "tests/e2e/sharedapp.h"
#include "tests/e2e/winui.h"

namespace {

const std::string kTitle = "Zelvo Flash Update  v1.0";
const std::string kDevice = "VKT-3 (VKT3K)";

enum {
    IDC_PORT_COMBO = 1001, IDC_PORT_REFRESH = 1002, IDC_CAPTURE = 1003, IDC_DEVICE = 1004,
    IDC_FW_COMBO = 1005, IDC_PROGRAM = 1006, IDC_LOG = 1007, IDC_INSTALLED = 1008, IDC_QUERY = 1009,
    IDC_DISCONNECT = 1010, IDC_NOTES = 1011, IDC_CUSTOM_GROUP = 1020, IDC_CUSTOM_FILE = 1021,
    IDC_CUSTOM_STATUS = 1022, IDC_BROWSE = 1023, IDC_CLEAR = 1024, IDC_PROGRESS = 1025, IDC_NOTES_EDIT = 1030,
};

const int kPushButtons[] = {IDC_PORT_REFRESH, IDC_CAPTURE, IDC_DISCONNECT, IDC_NOTES,
                            IDC_QUERY,        IDC_PROGRAM, IDC_BROWSE,     IDC_CLEAR};

class GuiKeyboard : public SharedAppSuite<GuiKeyboard> {
protected:
    void SetUp() override
    {
        SharedAppSuite::SetUp();
        ASSERT_FALSE(Config().keysCom.empty()) << "ZF_E2E_KEYS_COM is not set";
    }

    // Presses a key and waits until `done` holds.
    static bool Press(UINT vk, const std::function<bool()> &done, bool alt = false)
    {
        app->Key(vk, alt);
        return WaitFor(done);
    }
    static bool FocusComesTo(int id)
    {
        return WaitFor([id] { return app->FocusId() == id; });
    }
    // Return, once the message box has the focus (until then the key would
    // go to the main window).
    static bool ReturnAnswers(HWND box)
    {
        return WaitFor([&] { return IsChild(box, app->Focus()); }) && Press(VK_RETURN, [&] { return !IsWindow(box); });
    }
    // The push button drawn as the default one (BS_DEFPUSHBUTTON); 0 if none.
    static int DefaultLooking()
    {
        int found = 0;
        for (int id : kPushButtons)
            if ((Style(app->Control(id)) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                found = found ? -1 : id;
        return found;
    }
    static bool LooksDefault(int id)
    {
        return WaitFor([id] { return DefaultLooking() == id; });
    }
    // Moves the selection of the focused list with the arrow keys to `text`.
    static void ArrowTo(int listId, const std::string &text)
    {
        HWND list = app->Control(listId);
        const int target = IndexOf(ComboItems(list), text);
        ASSERT_GE(target, 0) << text << " is not listed";
        while (ComboSelection(list) != target) {
            const int from = ComboSelection(list);
            ASSERT_TRUE(Press(from < target ? VK_DOWN : VK_UP, [&] { return ComboSelection(list) != from; }))
                << "the list did not follow the arrow keys";
        }
    }
    // Tab until the focus is on control `id`.
    static bool TabTo(int id)
    {
        for (int i = 0; i < 20 && app->FocusId() != id; i++) {
            const HWND from = app->Focus();
            if (!Press(VK_TAB, [&] { return app->Focus() != from; }))
                return false;
        }
        return app->FocusId() == id;
    }
    static bool Idle()
    {
        return app->Text(IDC_INSTALLED) != "Querying..." && app->EnabledControls().find("capture") != std::string::npos;
    }
};

TEST_F(GuiKeyboard, StartsWithTheFocusInThePortListAndCaptureAsTheDefaultButton)
{
    EXPECT_TRUE(FocusComesTo(IDC_PORT_COMBO)) << "focus on " << app->FocusId();
    EXPECT_TRUE(LooksDefault(IDC_CAPTURE)) << DefaultLooking();
    for (int id : {IDC_PORT_COMBO, IDC_PORT_REFRESH, IDC_CAPTURE, IDC_DISCONNECT, IDC_NOTES, IDC_QUERY,
                   IDC_FW_COMBO, IDC_PROGRAM, IDC_BROWSE, IDC_CLEAR, IDC_LOG})
        EXPECT_TRUE(Style(app->Control(id)) & WS_TABSTOP) << id;
    for (int id : {IDC_DEVICE, IDC_INSTALLED, IDC_CUSTOM_GROUP, IDC_CUSTOM_FILE, IDC_CUSTOM_STATUS, IDC_PROGRESS})
        EXPECT_FALSE(Style(app->Control(id)) & WS_TABSTOP) << id;
}

TEST_F(GuiKeyboard, TabWalksTheEnabledControlsInReadingOrderAndTheFocusedButtonIsTheDefault)
{
    ASSERT_TRUE(FocusComesTo(IDC_PORT_COMBO));
    const struct {
        int id;
        int defaultButton;
    } steps[] = {
        {IDC_PORT_REFRESH, IDC_PORT_REFRESH}, {IDC_CAPTURE, IDC_CAPTURE}, {IDC_BROWSE, IDC_BROWSE},
        {IDC_LOG, IDC_CAPTURE},               {IDC_PORT_COMBO, IDC_CAPTURE},
    };
    for (const auto &step : steps) {
        ASSERT_TRUE(Press(VK_TAB, [&] { return app->FocusId() == step.id; })) << "Tab to " << step.id;
        EXPECT_TRUE(LooksDefault(step.defaultButton)) << step.id << ": " << DefaultLooking();
        if (step.id == IDC_LOG) {
            // A multi-line edit would take Escape as a request to close the
            // window: Escape changes nothing here (the Tab after it is
            // handled only after it).
            app->Key(VK_ESCAPE);
        }
    }
    EXPECT_TRUE(IsWindow(app->Main()));
    EXPECT_EQ(app->EnabledControls(), "port refresh capture browse");
}

TEST_F(GuiKeyboard, ACaptureAndAProgrammingRunByKeysAlone)
{
    ASSERT_TRUE(FocusComesTo(IDC_PORT_COMBO));
    ArrowTo(IDC_PORT_COMBO, Config().keysCom);
    const size_t from = app->LogLines().size();
    // Return in the port list presses the default button: Capture Device.
    ASSERT_TRUE(Press(VK_RETURN, [] { return app->Text(IDC_DEVICE) == kDevice; }, false)) << app->Text(IDC_DEVICE);
    ASSERT_TRUE(WaitFor(Idle));
    EXPECT_TRUE(app->LogHas("Detected: VKT-3 (VKT3K)", from));
    // The focus is back in the port list; no button is the default now.
    EXPECT_TRUE(FocusComesTo(IDC_PORT_COMBO));
    EXPECT_TRUE(LooksDefault(0)) << DefaultLooking();

    // Alt+F: the firmware list; Down picks the second image.
    ASSERT_TRUE(Press('F', [] { return app->FocusId() == IDC_FW_COMBO; }, true));
    ArrowTo(IDC_FW_COMBO, "vkt3k_fw_v1_9_7.bin  (v1.9.7)");
    // Tab: Program; Space presses it.
    ASSERT_TRUE(Press(VK_TAB, [] { return app->FocusId() == IDC_PROGRAM; }));
    EXPECT_TRUE(LooksDefault(IDC_PROGRAM)) << DefaultLooking();
    app->Key(VK_SPACE);
    HWND done = app->WaitForBox(120);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(AppSession::BoxText(done), "Programming complete.");
    // Return answers the box; the query shows the new version and the focus
    // comes back to Program.
    ASSERT_TRUE(ReturnAnswers(done));
    EXPECT_TRUE(WaitFor([] { return app->Text(IDC_INSTALLED).rfind("v1.9.7   VKT-3 (VKT3K)", 0) == 0; }))
        << app->Text(IDC_INSTALLED);
    EXPECT_TRUE(FocusComesTo(IDC_PROGRAM));
    EXPECT_TRUE(app->LogHas("Programming vkt3k_fw_v1_9_7.bin (version 1.9.7)...", from));
    EXPECT_TRUE(app->LogHas("Programming complete.", from));

    // Alt+D: Disconnect. Its button goes off, so the focus goes to the
    // default button, which is Capture Device again.
    ASSERT_TRUE(Press('D', [] {
        return app->LogLines().back() == "COM port released. The port is now free for a terminal program.";
    }, true));
    EXPECT_TRUE(FocusComesTo(IDC_CAPTURE));
    EXPECT_TRUE(LooksDefault(IDC_CAPTURE)) << DefaultLooking();
}

TEST_F(GuiKeyboard, ReleaseNotesOpenWithTheirAccessKeyAndCloseOnEscape)
{
    app->Key('N', true);
    HWND notes = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (notes = app->FindWindowOf("ZelvoNotesWndClass")); }));
    EXPECT_TRUE(WaitFor([&] { return app->Focus() == GetDlgItem(notes, IDC_NOTES_EDIT); }))
        << "the notes' text has no focus";
    app->Key(VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(notes); }));
    EXPECT_TRUE(IsWindow(app->Main()));
    EXPECT_TRUE(FocusComesTo(IDC_NOTES));
}

// Once a device is captured Return, pressed in a list or the log, presses
// nothing: Program is pressed only on purpose.
TEST_F(GuiKeyboard, AStrayReturnInAListOrTheLogNeverStartsARun)
{
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(Press('C', [&] { return app->LogHas("Detected: VKT-3 (VKT3K)", from); }, true));
    ASSERT_TRUE(WaitFor(Idle));
    const std::string idle = app->EnabledControls();
    ASSERT_NE(idle.find("program"), std::string::npos) << idle;
    const size_t lines = app->LogLines().size();
    for (int id : {IDC_PORT_COMBO, IDC_FW_COMBO, IDC_LOG}) {
        ASSERT_TRUE(TabTo(id)) << "no focus on " << id;
        EXPECT_TRUE(LooksDefault(0)) << id << ": " << DefaultLooking();
        app->Key(VK_RETURN);
        // The keys are handled in order: once Tab has moved the focus on,
        // the Return before it has been handled.
        ASSERT_TRUE(Press(VK_TAB, [&] { return app->FocusId() != id; })) << id;
        EXPECT_EQ(app->EnabledControls(), idle) << "Return in " << id;
        EXPECT_TRUE(app->NoBoxOpen()) << "Return in " << id;
    }
    EXPECT_EQ(app->LogLines().size(), lines) << app->LogLines().back();
    // Return on the Program button itself programs.
    ASSERT_TRUE(TabTo(IDC_PROGRAM));
    app->Key(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return app->LogHas("Programming vkt3k_fw_v1_10_3.bin (version 1.10.3)...", lines); }));
    HWND done = app->WaitForBox(120);
    ASSERT_NE(done, nullptr);
    ASSERT_TRUE(ReturnAnswers(done));
    ASSERT_TRUE(WaitFor(Idle));
}

TEST_F(GuiKeyboard, AltF4DuringTheEraseAsksWithNoAsDefaultAndTheSessionsEndIsHeldBack)
{
    EXPECT_EQ(SendWithin(app->Main(), WM_QUERYENDSESSION, 0, 0), TRUE) << "idle, the session may end";
    // Alt+C captures on the selected port, Alt+P programs the newest image.
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(Press('C', [&] { return app->LogHas("Detected: VKT-3 (VKT3K)", from); }, true));
    ASSERT_TRUE(WaitFor(Idle));
    app->Key('P', true);
    ASSERT_TRUE(WaitFor([] { return app->Caption() == kTitle + " - Erasing..."; }, 60)) << app->Caption();

    EXPECT_EQ(SendWithin(app->Main(), WM_QUERYENDSESSION, 0, 0), FALSE) << "the session may end mid-erase";
    app->Key(VK_F4, true);
    HWND box = app->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(AppSession::BoxText(box),
              "Programming is in progress. Closing now leaves the device without working firmware."
              "\n\nClose anyway?");
    EXPECT_TRUE(WaitFor([&] { return FocusOf(box) == GetDlgItem(box, IDNO); })) << "No is not the default";
    // Return, pressed out of habit, answers No: the device goes on being written.
    ASSERT_TRUE(ReturnAnswers(box));
    HWND done = app->WaitForBox(120);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(AppSession::BoxText(done), "Programming complete.");
    EXPECT_TRUE(IsWindow(app->Main()));
    ASSERT_TRUE(ReturnAnswers(done));
    ASSERT_TRUE(WaitFor(Idle));
    EXPECT_TRUE(WaitFor([] { return app->Text(IDC_INSTALLED).rfind("v1.10.3   VKT-3 (VKT3K)", 0) == 0; }))
        << app->Text(IDC_INSTALLED);
    EXPECT_EQ(SendWithin(app->Main(), WM_QUERYENDSESSION, 0, 0), TRUE) << "after programming, the session may end";
}

TEST_F(GuiKeyboard, EscapeCancelsACaptureThatWaits)
{
    // With a device captured Return would program it: Alt+C captures.
    ASSERT_TRUE(Press('O', [] { return app->FocusId() == IDC_PORT_COMBO; }, true));
    ArrowTo(IDC_PORT_COMBO, Config().silentCom);
    const size_t from = app->LogLines().size();
    ASSERT_TRUE(Press('C', [&] { return app->LogHas("Waiting for target. Power up the device now...", from); }, true));
    // Everything but Cancel is off: the focus is on Cancel.
    EXPECT_TRUE(FocusComesTo(IDC_DISCONNECT));
    EXPECT_EQ(app->Text(IDC_DISCONNECT), "Cancel");
    ASSERT_TRUE(Press(VK_ESCAPE, [] { return app->Text(IDC_DISCONNECT) == "Disconnect"; }));
    const std::vector<std::string> expected = {
        "Opening " + Config().silentCom + "...", "Waiting for target. Power up the device now...",
        "Cancelling capture...", "Capture cancelled."};
    EXPECT_TRUE(app->WaitForLogLines(from, expected));
    EXPECT_EQ(app->LogLinesFrom(from), expected);
    EXPECT_TRUE(FocusComesTo(IDC_CAPTURE));
}

}  // namespace
