// The window as a screen reader sees it under Wine, through oleacc from
// another process: every control has a name that says what it is (the lists
// by their labels, also while empty; the log; the progress bar), and each
// access key is the keyboard shortcut of the control it reaches, while the
// captions read exactly as they are written.
#include <gtest/gtest.h>

#include <windows.h>
// needs windows.h first
#include <oleacc.h>

#include "app/utf16.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"

namespace {

struct Spoken {
    std::string name, shortcut;
    bool found = false;
};

std::string Take(BSTR text)
{
    const std::string s = text ? Utf8FromWide(text) : std::string();
    SysFreeString(text);
    return s;
}

// What oleacc tells of `control`, as a screen reader asks for it.
Spoken Speak(HWND control)
{
    Spoken spoken;
    IAccessible *object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(control, DWORD(OBJID_CLIENT), IID_IAccessible,
                                          reinterpret_cast<void **>(&object))) ||
        !object)
        return spoken;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr, shortcut = nullptr;
    object->get_accName(self, &name);
    object->get_accKeyboardShortcut(self, &shortcut);
    object->Release();
    spoken.name = Take(name);
    spoken.shortcut = Take(shortcut);
    spoken.found = true;
    return spoken;
}

HWND ChildWithText(HWND parent, const std::string &text)
{
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (WindowText(c) == text)
            return c;
    return nullptr;
}

class GuiAccess : public testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }
    void SetUp() override
    {
        ASSERT_FALSE(Config().appExe.empty()) << "ZF_E2E_APP is not set";
        ASSERT_TRUE(app.Launch(Config().appExe));
    }
    AppSession app;
};

TEST_F(GuiAccess, EveryControlSaysWhatItIsAndTheKeyThatReachesIt)
{
    const struct {
        int id;            // 0: a label, found by its caption
        const char *text;  // the label's caption
        const char *name, *shortcut;
    } cases[] = {
        {0, "COM Port:", "COM Port:", "Alt+O"},
        {1001, nullptr, "COM Port", "Alt+O"},
        {1002, nullptr, "Refresh", "Alt+R"},
        {1003, nullptr, "Capture Device", "Alt+C"},
        {1010, nullptr, "Disconnect", "Alt+D"},
        {0, "Device:", "Device:", ""},
        {1004, nullptr, "(not captured)", ""},
        {1011, nullptr, "Release Notes", "Alt+N"},
        {0, "Installed FW:", "Installed FW:", ""},
        {1008, nullptr, "(unknown)", ""},
        {1009, nullptr, "Query", "Alt+Q"},
        {0, "Firmware:", "Firmware:", "Alt+F"},
        {1005, nullptr, "Firmware", "Alt+F"},  // an empty list
        {1006, nullptr, "Program", "Alt+P"},
        {1020, nullptr, "Custom firmware (hotfix)", ""},
        {1021, nullptr, "(none - using bundled firmware above)", ""},
        {1022, nullptr, "Drag a firmware file onto this window, or click Browse.", ""},
        {1023, nullptr, "Browse...", "Alt+B"},
        {1024, nullptr, "Clear", "Alt+L"},
        {1007, nullptr, "Log", ""},
        {1025, nullptr, "Progress", ""},
    };
    for (const auto &c : cases) {
        HWND control = c.id ? app.Control(c.id) : ChildWithText(app.Main(), c.text);
        const std::string which = c.id ? std::to_string(c.id) : c.text;
        ASSERT_NE(control, nullptr) << which;
        const Spoken spoken = Speak(control);
        ASSERT_TRUE(spoken.found) << which << ": no accessible object";
        EXPECT_EQ(spoken.name, c.name) << which;
        EXPECT_EQ(spoken.shortcut, c.shortcut) << which;
    }
    // The captions themselves carry no marker.
    EXPECT_EQ(app.Text(1003), "Capture Device");
    EXPECT_EQ(app.Text(1024), "Clear");
}

TEST_F(GuiAccess, AListKeepsItsNameWhenFilledAndAButtonsNameFollowsItsCaption)
{
    ASSERT_FALSE(Config().silentCom.empty());
    ASSERT_TRUE(SelectComboText(app.Control(1001), Config().silentCom));
    EXPECT_EQ(Speak(app.Control(1001)).name, "COM Port");
    Click(app.Control(1003));
    ASSERT_TRUE(WaitFor([&] { return app.Text(1010) == "Cancel"; }));
    const Spoken cancel = Speak(app.Control(1010));
    EXPECT_EQ(cancel.name, "Cancel");
    EXPECT_EQ(cancel.shortcut, "") << "Escape cancels; Cancel has no access key";
    Click(app.Control(1010));
    ASSERT_TRUE(WaitFor([&] { return app.Text(1010) == "Disconnect"; }));
    EXPECT_EQ(Speak(app.Control(1010)).shortcut, "Alt+D");
}

}  // namespace
