// The main window's creation: its 21 controls, fonts, drop acceptance and
// first state; and their layout for the DPI the window is shown at.

#include "app/appstate.h"
#include "app/dpiscale.h"
#include "app/mnemonics.h"
#include "window/window.h"
#include "targetlib/capture.h"

HWND g_portCombo, g_portRefresh, g_captureBtn, g_disconnectBtn;
HWND g_deviceStatic, g_notesBtn, g_installedStatic, g_queryBtn;
HWND g_fwCombo, g_programBtn, g_customFileStatic, g_customStatusStatic;
HWND g_browseBtn, g_clearBtn, g_logEdit, g_progressBar;

namespace {

// Styles with WS_CHILD | WS_VISIBLE. Every control starts its own group, so
// the arrow keys never move the focus off a button (or onto a label); the
// ones the operator works with are tab stops, in the order they are made,
// which is the order they are read in: row by row, left to right.
const DWORD kOwnGroup = WS_GROUP;
const DWORD kTabStop = WS_TABSTOP | WS_GROUP;
const DWORD kLabel = 0x50000200 | kOwnGroup;          // SS_CENTERIMAGE
const DWORD kCombo = 0x50200003 | kTabStop;           // WS_VSCROLL | CBS_DROPDOWNLIST
const DWORD kButton = 0x50000000 | kTabStop;          // BS_PUSHBUTTON
const DWORD kGroup = 0x50000007 | kOwnGroup;          // BS_GROUPBOX
const DWORD kCustomLine = 0x50004200 | kOwnGroup;     // SS_CENTERIMAGE | SS_ENDELLIPSIS
const DWORD kLogEdit = 0x50200844 | kTabStop;         // WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY
const DWORD kProgress = 0x50000001 | kOwnGroup;       // PBS_SMOOTH

struct ControlSpec {
    const wchar_t *cls;
    const wchar_t *text;
    DWORD exStyle;
    DWORD style;
    int x, y, w, h;  // client pixels at 96 DPI
    int id;
    HWND *handle;
};

// Rows without a handle variable keep theirs here, for the layout.
HWND labelHandles[5];

const ControlSpec kControls[] = {
    {L"STATIC", L"COM Port:", 0, kLabel, 10, 12, 70, 20, 0, &labelHandles[0]},
    {L"COMBOBOX", L"", 0, kCombo, 85, 10, 95, 200, IDC_PORT_COMBO, &g_portCombo},
    {L"BUTTON", L"Refresh", 0, kButton, 186, 10, 64, 24, IDC_PORT_REFRESH, &g_portRefresh},
    {L"BUTTON", L"Capture Device", 0, kButton, 256, 10, 115, 24, IDC_CAPTURE, &g_captureBtn},
    {L"BUTTON", L"Disconnect", 0, kButton, 499, 10, 100, 24, IDC_DISCONNECT, &g_disconnectBtn},
    {L"STATIC", L"Device:", 0, kLabel, 10, 46, 85, 20, 0, &labelHandles[1]},
    {L"STATIC", L"(not captured)", 0, kLabel, 100, 46, 389, 20, IDC_DEVICE, &g_deviceStatic},
    {L"BUTTON", L"Release Notes", 0, kButton, 499, 44, 100, 24, IDC_NOTES, &g_notesBtn},
    {L"STATIC", L"Installed FW:", 0, kLabel, 10, 78, 85, 20, 0, &labelHandles[2]},
    {L"STATIC", L"(unknown)", 0, kLabel, 100, 78, 389, 20, IDC_INSTALLED, &g_installedStatic},
    {L"BUTTON", L"Query", 0, kButton, 499, 76, 100, 24, IDC_QUERY, &g_queryBtn},
    {L"STATIC", L"Firmware:", 0, kLabel, 10, 114, 85, 20, 0, &labelHandles[3]},
    {L"COMBOBOX", L"", 0, kCombo, 100, 110, 389, 240, IDC_FW_COMBO, &g_fwCombo},
    {L"BUTTON", L"Program", 0, kButton, 499, 110, 100, 24, IDC_PROGRAM, &g_programBtn},
    {L"BUTTON", L"Custom firmware (hotfix)", 0, kGroup, 10, 146, 589, 76, IDC_CUSTOM_GROUP, &labelHandles[4]},
    {L"STATIC", L"", 0, kCustomLine, 24, 168, 450, 18, IDC_CUSTOM_FILE, &g_customFileStatic},
    {L"STATIC", L"", 0, kCustomLine, 24, 190, 450, 18, IDC_CUSTOM_STATUS, &g_customStatusStatic},
    {L"BUTTON", L"Browse...", 0, kButton, 487, 164, 102, 24, IDC_BROWSE, &g_browseBtn},
    {L"BUTTON", L"Clear", 0, kButton, 487, 192, 102, 24, IDC_CLEAR, &g_clearBtn},
    {L"EDIT", L"", WS_EX_CLIENTEDGE, kLogEdit, 10, 230, 589, 150, IDC_LOG, &g_logEdit},
    {L"msctls_progress32", L"", 0, kProgress, 10, 388, 589, 14, IDC_PROGRESS, &g_progressBar},
};

bool HasAccessKey(const wchar_t *text)
{
    std::string ascii;
    for (const wchar_t *c = text; *c; c++)
        ascii += char(*c);
    return MnemonicIndex(ascii) >= 0;
}

void CreateControls(HWND parent, UINT dpi)
{
    for (const ControlSpec &c : kControls) {
        const ScaledBox box = ScaleBoxFrom96(c.x, c.y, c.w, c.h, dpi);
        HWND h = CreateWindowExW(c.exStyle, c.cls, c.text, c.style, box.x, box.y, box.width, box.height,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), nullptr,
                                 nullptr);
        *c.handle = h;
        if (HasAccessKey(c.text)) {
            AddAccessKey(h);
            DescribeForAccessibility(h, nullptr, h);
        }
    }
    // The controls without a caption of their own: a list is named by its
    // label and reached by the label's access key; the log and the progress
    // bar by what they are.
    DescribeForAccessibility(g_portCombo, "COM Port", labelHandles[0]);
    DescribeForAccessibility(g_fwCombo, "Firmware", labelHandles[3]);
    DescribeForAccessibility(g_logEdit, "Log", nullptr);
    DescribeForAccessibility(g_progressBar, "Progress", nullptr);
}

void SetFonts(HWND hwnd, UINT dpi)
{
    EnumChildWindows(hwnd, SetFontCallback, LPARAM(DialogFont(dpi)));
    SendMessageA(g_logEdit, WM_SETFONT, WPARAM(MonoFont(dpi)), TRUE);
}

}  // namespace

const DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x00CA0000
const int kClientWidth = 609;
const int kClientHeight = 412;

BOOL CALLBACK SetFontCallback(HWND child, LPARAM font)
{
    SendMessageA(child, WM_SETFONT, WPARAM(font), TRUE);
    return TRUE;
}

void LayoutControls(UINT dpi)
{
    for (const ControlSpec &c : kControls) {
        const ScaledBox box = ScaleBoxFrom96(c.x, c.y, c.w, c.h, dpi);
        SetWindowPos(*c.handle, nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetFonts(g_hwnd, dpi);
}

void OnDpiChanged(HWND hwnd, UINT dpi, const RECT &suggested)
{
    SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    FitClientArea(hwnd, kClientWidth, kClientHeight, dpi);
    LayoutControls(dpi);
    SetWindowIcons(hwnd, dpi);
}

void OnCreate(HWND hwnd)
{
    g_hwnd = hwnd;
    // Laid out for the DPI of the screen the window opened on; at 96 DPI
    // that is the pixel layout above, unchanged.
    const UINT dpi = WindowDpi(hwnd);
    FitClientArea(hwnd, kClientWidth, kClientHeight, dpi);
    CreateControls(hwnd, dpi);
    SendMessageA(g_progressBar, PBM_SETRANGE32, 0, 100);
    SetProgressCallback(ProgressCallback);
    SetFonts(hwnd, dpi);
    // A long session's log must keep growing: lift the edit's default
    // 32K-character limit (0 selects the largest limit).
    SendMessageA(g_logEdit, EM_SETLIMITTEXT, 0, 0);
    DragAcceptFiles(hwnd, TRUE);
    FillPortListAtStart();
    UpdateCustomUI();
    SetUIState();
    Log(g_appTitle);

    SetWindowIcons(hwnd, dpi);
    AddAboutToSystemMenu(hwnd);
    ListenForPortChanges(hwnd);
    ChooseFocus(g_portCombo);
    // Access-key underlines and focus rectangles as the user has chosen
    // (Windows hides them until the keyboard is used, unless told otherwise).
    SendMessageW(hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_INITIALIZE, UISF_HIDEACCEL | UISF_HIDEFOCUS), 0);
}
