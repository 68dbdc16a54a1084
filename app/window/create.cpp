// The main window's creation: its 21 controls, fonts, drop acceptance and
// first state.

#include "app/appstate.h"
#include "app/window/window.h"
#include "targetlib/capture.h"

HWND g_portCombo, g_portRefresh, g_captureBtn, g_disconnectBtn;
HWND g_deviceStatic, g_notesBtn, g_installedStatic, g_queryBtn;
HWND g_fwCombo, g_programBtn, g_customFileStatic, g_customStatusStatic;
HWND g_browseBtn, g_clearBtn, g_logEdit, g_progressBar;

namespace {

// Styles with WS_CHILD | WS_VISIBLE.
const DWORD kLabel = 0x50000200;        // SS_CENTERIMAGE
const DWORD kCombo = 0x50200003;        // WS_VSCROLL | CBS_DROPDOWNLIST
const DWORD kButton = 0x50000000;       // BS_PUSHBUTTON
const DWORD kGroup = 0x50000007;        // BS_GROUPBOX
const DWORD kCustomLine = 0x50004200;   // SS_CENTERIMAGE | SS_ENDELLIPSIS
const DWORD kLogEdit = 0x50200844;      // WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY
const DWORD kProgress = 0x50000001;     // PBS_SMOOTH

struct ControlSpec {
    const wchar_t *cls;
    const wchar_t *text;
    DWORD exStyle;
    DWORD style;
    int x, y, w, h;
    int id;
    HWND *handle;
};

const ControlSpec kControls[] = {
    {L"STATIC", L"COM Port:", 0, kLabel, 10, 12, 70, 20, 0, nullptr},
    {L"COMBOBOX", L"", 0, kCombo, 85, 10, 95, 200, IDC_PORT_COMBO, &g_portCombo},
    {L"BUTTON", L"Refresh", 0, kButton, 186, 10, 64, 24, IDC_PORT_REFRESH, &g_portRefresh},
    {L"BUTTON", L"Capture Device", 0, kButton, 256, 10, 115, 24, IDC_CAPTURE, &g_captureBtn},
    {L"BUTTON", L"Disconnect", 0, kButton, 499, 10, 100, 24, IDC_DISCONNECT, &g_disconnectBtn},
    {L"STATIC", L"Device:", 0, kLabel, 10, 46, 85, 20, 0, nullptr},
    {L"STATIC", L"(not captured)", 0, kLabel, 100, 46, 389, 20, IDC_DEVICE, &g_deviceStatic},
    {L"BUTTON", L"Release Notes", 0, kButton, 499, 44, 100, 24, IDC_NOTES, &g_notesBtn},
    {L"STATIC", L"Installed FW:", 0, kLabel, 10, 78, 85, 20, 0, nullptr},
    {L"STATIC", L"(unknown)", 0, kLabel, 100, 78, 389, 20, IDC_INSTALLED, &g_installedStatic},
    {L"BUTTON", L"Query", 0, kButton, 499, 76, 100, 24, IDC_QUERY, &g_queryBtn},
    {L"STATIC", L"Firmware:", 0, kLabel, 10, 114, 85, 20, 0, nullptr},
    {L"COMBOBOX", L"", 0, kCombo, 100, 110, 389, 240, IDC_FW_COMBO, &g_fwCombo},
    {L"BUTTON", L"Program", 0, kButton, 499, 110, 100, 24, IDC_PROGRAM, &g_programBtn},
    {L"BUTTON", L"Custom firmware (hotfix)", 0, kGroup, 10, 146, 589, 76, IDC_CUSTOM_GROUP, nullptr},
    {L"STATIC", L"", 0, kCustomLine, 24, 168, 450, 18, IDC_CUSTOM_FILE, &g_customFileStatic},
    {L"STATIC", L"", 0, kCustomLine, 24, 190, 450, 18, IDC_CUSTOM_STATUS, &g_customStatusStatic},
    {L"BUTTON", L"Browse...", 0, kButton, 487, 164, 102, 24, IDC_BROWSE, &g_browseBtn},
    {L"BUTTON", L"Clear", 0, kButton, 487, 192, 102, 24, IDC_CLEAR, &g_clearBtn},
    {L"EDIT", L"", WS_EX_CLIENTEDGE, kLogEdit, 10, 230, 589, 150, IDC_LOG, &g_logEdit},
    {L"msctls_progress32", L"", 0, kProgress, 10, 388, 589, 14, IDC_PROGRESS, &g_progressBar},
};

void CreateControls(HWND parent)
{
    for (const ControlSpec &c : kControls) {
        HWND h = CreateWindowExW(c.exStyle, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), nullptr,
                                 nullptr);
        if (c.handle)
            *c.handle = h;
    }
}

}  // namespace

BOOL CALLBACK SetFontCallback(HWND child, LPARAM font)
{
    SendMessageA(child, WM_SETFONT, WPARAM(font), TRUE);
    return TRUE;
}

void OnCreate(HWND hwnd)
{
    g_hwnd = hwnd;
    HFONT dialogFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    CreateControls(hwnd);
    SendMessageA(g_progressBar, PBM_SETRANGE32, 0, 100);
    SetProgressCallback(ProgressCallback);
    EnumChildWindows(hwnd, SetFontCallback, LPARAM(dialogFont));
    SendMessageA(g_logEdit, WM_SETFONT, WPARAM(g_monoFont), TRUE);
    // A long session's log must keep growing: lift the edit's default
    // 32K-character limit (0 selects the largest limit).
    SendMessageA(g_logEdit, EM_SETLIMITTEXT, 0, 0);
    DragAcceptFiles(hwnd, TRUE);
    RefreshPortList();
    UpdateCustomUI();
    SetUIState();
    Log(g_appTitle);
}
