// Keys the window handles before the dialog manager (IsDialogMessage, which
// does Tab, the arrows, Return and Space) gets them: Escape, and the access
// keys, whose letters the captions do not carry.
#include "app/appstate.h"
#include "window/window.h"

namespace {

bool IsIn(HWND window, HWND hwnd)
{
    return window && (hwnd == window || IsChild(window, hwnd));
}

// True when a control takes typed characters itself (a list's type-ahead,
// an edit); a button does not, so there a letter alone is an access key.
bool TakesCharacters(HWND hwnd)
{
    const LRESULT code = SendMessageW(hwnd, WM_GETDLGCODE, 0, 0);
    return (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) != 0;  // DLGC_WANTALLKEYS is DLGC_WANTMESSAGE
}

// Escape closes the release notes; in the main window it cancels a capture
// that waits for the device and otherwise does nothing (a multi-line edit
// would take it as a request to close the window). An open list closes.
bool OnEscape(HWND hwnd)
{
    if (IsIn(g_notesWnd, hwnd)) {
        SendMessageW(g_notesWnd, WM_CLOSE, 0, 0);
        return true;
    }
    if (!IsIn(g_hwnd, hwnd) || SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0))
        return false;
    if (g_capturing && IsWindowEnabled(g_disconnectBtn))
        OnCommand(IDC_DISCONNECT);
    return true;
}

}  // namespace

bool HandleWindowKey(const MSG &msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
        return msg.wParam == VK_ESCAPE && OnEscape(msg.hwnd);
    case WM_SYSCHAR:
        return IsIn(g_hwnd, msg.hwnd) && PressAccessKey(unsigned(msg.wParam));
    case WM_CHAR:
        return IsIn(g_hwnd, msg.hwnd) && !TakesCharacters(msg.hwnd) && PressAccessKey(unsigned(msg.wParam));
    default:
        return false;
    }
}
