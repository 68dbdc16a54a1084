// The window on a screen of 144 DPI (150 %) under Wine: every control is
// one and a half times its 96-DPI rectangle, its text fits it, and the
// fonts are made for that DPI; at 96 DPI nothing moves. Wine takes the
// system's DPI from HKCU\Control Panel\Desktop LogPixels when a program
// starts, so the test sets it around one start and puts it back. A DPI
// change while the window is open (a move to another screen) is told to
// the window as Windows tells it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/utf16.h"
#include "tests/e2e/appsession.h"
#include "tests/e2e/winui.h"

namespace {

enum { IDC_PORT_COMBO = 1001, IDC_CAPTURE = 1003, IDC_DEVICE = 1004, IDC_LOG = 1007, IDC_DISCONNECT = 1010 };

// The system's DPI for programs started while this lives.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi)
    {
        DWORD size = sizeof old_;
        had_ = RegGetValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &old_, &size) ==
               ERROR_SUCCESS;
        set_ = RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) == ERROR_SUCCESS;
    }
    ~SystemDpi()
    {
        if (had_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels", REG_DWORD, &old_, sizeof old_);
            return;
        }
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"LogPixels");
            RegCloseKey(key);
        }
    }
    bool Set() const { return set_; }

private:
    static constexpr const wchar_t *kKey = L"Control Panel\\Desktop";
    DWORD old_ = 0;
    bool had_ = false;
    bool set_ = false;
};

// This thread sees other programs' windows in their own pixels while this
// lives (a DPI-unaware thread would see them scaled to 96 DPI).
class PerMonitorAware {
public:
    PerMonitorAware()
    {
        if (set_)
            old_ = set_(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    }
    ~PerMonitorAware()
    {
        if (set_ && old_)
            set_(old_);
    }

private:
    using SetFn = HANDLE(WINAPI *)(HANDLE);
    SetFn set_ = reinterpret_cast<SetFn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    HANDLE old_ = nullptr;
};

struct Control {
    HWND hwnd;
    std::string cls, text;
    RECT rect;  // in the main window's client coordinates
};

std::vector<Control> Controls(HWND main)
{
    std::vector<Control> controls;
    for (HWND h = GetWindow(main, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        char cls[64] = "";
        GetClassNameA(h, cls, sizeof cls);
        RECT rc;
        GetWindowRect(h, &rc);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT *>(&rc), 2);
        controls.push_back({h, cls, WindowText(h), rc});
    }
    return controls;
}

SIZE ClientSize(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    return {rc.right, rc.bottom};
}

bool IsCombo(const Control &c)
{
    return _stricmp(c.cls.c_str(), "ComboBox") == 0;
}

// `edge` (96 DPI) at 144 DPI, give or take the pixel its rounding may take.
bool OneAndAHalf(long edge96, long edge144)
{
    return std::labs(edge96 * 3 - edge144 * 2) <= 2;
}

// The 96-DPI rectangles against those at 144 DPI (a combo box's closed
// height follows its font, not the layout; its drop-down is compared).
void ExpectOneAndAHalfTimes(const std::vector<Control> &at96, const std::vector<Control> &at144)
{
    ASSERT_EQ(at96.size(), at144.size());
    for (size_t i = 0; i < at96.size(); i++) {
        const RECT &a = at96[i].rect, &b = at144[i].rect;
        const std::string what = at96[i].cls + " \"" + at96[i].text + "\" #" + std::to_string(i);
        EXPECT_TRUE(OneAndAHalf(a.left, b.left) && OneAndAHalf(a.top, b.top) && OneAndAHalf(a.right, b.right))
            << what << ": " << b.left << "," << b.top << "," << b.right;
        if (!IsCombo(at96[i])) {
            EXPECT_TRUE(OneAndAHalf(a.bottom, b.bottom)) << what << ": bottom " << b.bottom;
        }
    }
}

// The stock dialog font (this program's, made for 96 DPI) at `dpi`.
HFONT DialogFontAt(int dpi)
{
    LOGFONTW lf = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
    lf.lfHeight = MulDiv(lf.lfHeight, dpi, 96);
    return CreateFontIndirectW(&lf);
}

HFONT LogFontAt(int dpi)
{
    return CreateFontW(-MulDiv(12, dpi, 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                       L"Consolas");
}

SIZE TextExtent(HFONT font, const std::string &text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring wide = WideFromUtf8(text);
    RECT rc = {0, 0, 0, 0};
    DrawTextW(dc, wide.c_str(), int(wide.size()), &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteDC(dc);
    return {rc.right, rc.bottom};
}

int LineHeight(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm = {};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return tm.tmHeight;
}

// Every caption fits its control with room to spare: a push button keeps a
// margin of 4 pixels at 96 DPI on each side (its frame and focus mark), a
// group box its caption's indent and the frame's corners.
void ExpectTextsFit(const std::vector<Control> &controls, int dpi)
{
    HFONT font = DialogFontAt(dpi);
    const int margin = MulDiv(4, dpi, 96);
    for (const Control &c : controls) {
        const bool button = _stricmp(c.cls.c_str(), "Button") == 0;
        if (c.text.empty() || !(button || _stricmp(c.cls.c_str(), "Static") == 0))
            continue;
        const bool group = button && (Style(c.hwnd) & BS_TYPEMASK) == BS_GROUPBOX;
        const SIZE text = TextExtent(font, c.text);
        const long width = c.rect.right - c.rect.left, height = c.rect.bottom - c.rect.top;
        const long room = group ? 4 * margin : button ? 2 * margin : 0;
        EXPECT_LE(text.cx + room, width) << "\"" << c.text << "\" at " << dpi << " DPI";
        if (!group) {
            EXPECT_LE(text.cy + (button ? margin : 0), height) << "\"" << c.text << "\" at " << dpi << " DPI";
        }
    }
    DeleteObject(font);
}

// Two log lines: the title and one of a cancelled capture.
void LogASecondLine(AppSession &app)
{
    ASSERT_TRUE(SelectComboText(app.Control(IDC_PORT_COMBO), Config().silentCom));
    Click(app.Control(IDC_CAPTURE));
    ASSERT_TRUE(WaitFor([&] { return app.LogHas("Waiting for target. Power up the device now..."); }));
    Click(app.Control(IDC_DISCONNECT));
    ASSERT_TRUE(WaitFor([&] { return app.Text(IDC_DEVICE) == "(capture failed)"; }));
}

// The log's line pitch: from its first line to its second.
int LogLinePitch(HWND log)
{
    const LRESULT second = SendMessageW(log, EM_LINEINDEX, 1, 0);
    const LRESULT a = SendMessageW(log, EM_POSFROMCHAR, 0, 0), b = SendMessageW(log, EM_POSFROMCHAR, WPARAM(second), 0);
    return short(HIWORD(b)) - short(HIWORD(a));
}

class GuiDpi : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(Config().appExe.empty()) << "ZF_E2E_APP is not set";
        AppSession app;
        ASSERT_TRUE(app.Launch(Config().appExe));
        at96 = Controls(app.Main());
        // The same state as at 144 DPI below, for the screenshots side by side.
        LogASecondLine(app);
        app.Screenshot("main-96dpi", app.Main());
        RecordProperty("listLineAt96", int(SendMessageW(app.Control(IDC_PORT_COMBO), CB_GETITEMHEIGHT, 0, 0)));
        RecordProperty("logLineAt96", LogLinePitch(app.Control(IDC_LOG)));
    }

    static std::vector<Control> at96;
};

std::vector<Control> GuiDpi::at96;

TEST_F(GuiDpi, At96DpiTheTextsFitTheirControls)
{
    ASSERT_EQ(at96.size(), 21u);
    ExpectTextsFit(at96, 96);
}

TEST_F(GuiDpi, AMoveToAScreenOf144DpiLaysTheWindowOutAgainAndBack)
{
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    ASSERT_TRUE(app.SendDpiChanged(144));
    EXPECT_EQ(ClientSize(app.Main()).cx, 914);
    EXPECT_EQ(ClientSize(app.Main()).cy, 618);
    ExpectOneAndAHalfTimes(at96, Controls(app.Main()));
    HFONT dialogFont = DialogFontAt(144);
    EXPECT_EQ(SendMessageW(app.Control(IDC_PORT_COMBO), CB_GETITEMHEIGHT, 0, 0), LineHeight(dialogFont));
    DeleteObject(dialogFont);

    ASSERT_TRUE(app.SendDpiChanged(96));
    EXPECT_EQ(ClientSize(app.Main()).cx, 609);
    EXPECT_EQ(ClientSize(app.Main()).cy, 412);
    const std::vector<Control> back = Controls(app.Main());
    ASSERT_EQ(back.size(), at96.size());
    for (size_t i = 0; i < back.size(); i++)
        EXPECT_TRUE(EqualRect(&back[i].rect, &at96[i].rect)) << at96[i].text << " #" << i;
}

TEST_F(GuiDpi, At144DpiEveryControlIsOneAndAHalfTimesItselfWithItsTextInside)
{
    SystemDpi dpi(144);
    ASSERT_TRUE(dpi.Set());
    AppSession app;
    ASSERT_TRUE(app.Launch(Config().appExe));
    PerMonitorAware aware;

    EXPECT_EQ(ClientSize(app.Main()).cx, 914);
    EXPECT_EQ(ClientSize(app.Main()).cy, 618);
    const std::vector<Control> at144 = Controls(app.Main());
    ExpectOneAndAHalfTimes(at96, at144);
    ExpectTextsFit(at144, 144);
    // The fonts are made for 144 DPI: the lists' lines and the log's.
    HFONT dialogFont = DialogFontAt(144), logFont = LogFontAt(144);
    const LRESULT itemHeight = SendMessageW(app.Control(IDC_PORT_COMBO), CB_GETITEMHEIGHT, 0, 0);
    EXPECT_EQ(itemHeight, LineHeight(dialogFont));
    LogASecondLine(app);
    const int pitch = LogLinePitch(app.Control(IDC_LOG));
    EXPECT_EQ(pitch, LineHeight(logFont));
    // The figures, in the test's XML.
    RecordProperty("listLineAt144", int(itemHeight));
    RecordProperty("logLineAt144", pitch);
    DeleteObject(dialogFont);
    DeleteObject(logFont);
    app.Screenshot("main-144dpi", app.Main());
}

}  // namespace
