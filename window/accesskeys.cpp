// Access keys. A caption keeps its exact text (what WM_GETTEXT returns, and
// what the log and the tests compare); its access key is drawn over the
// control after the control has painted itself, as the underline alone
// (DT_PREFIXONLY), where the control's own DrawText puts that character.
// Windows hides the underlines until the keyboard is used unless the user
// chose otherwise; the control's UI state says which.
#include <vector>

#include "app/mnemonics.h"
#include "app/utf16.h"
#include "window/window.h"

namespace {

std::vector<HWND> accessKeyControls;  // in creation order

std::wstring TextOf(HWND hwnd)
{
    std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(hwnd, &text[0], int(text.size()))));
    return text;
}

bool IsButton(HWND hwnd)
{
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    return lstrcmpiW(cls, L"Button") == 0;
}

void DrawAccessKey(HWND hwnd)
{
    if (SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL)
        return;
    std::wstring text = TextOf(hwnd);
    const int at = MnemonicIndex(Utf8FromWide(text));
    if (at < 0)
        return;
    text.insert(size_t(at), L"&");
    RECT rc;
    GetClientRect(hwnd, &rc);
    // The flags the controls draw their captions with: a push button
    // centres it, a label with SS_CENTERIMAGE puts it on one line, centred
    // vertically.
    const UINT align = IsButton(hwnd) ? DT_CENTER : DT_LEFT | DT_EXPANDTABS | DT_WORDBREAK;
    HDC dc = GetDC(hwnd);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(IsWindowEnabled(hwnd) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), -1, &rc, align | DT_SINGLELINE | DT_VCENTER | DT_PREFIXONLY);
    SelectObject(dc, oldFont);
    ReleaseDC(hwnd, dc);
}

LRESULT CALLBACK AccessKeyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    switch (msg) {
    case WM_PAINT: {
        const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
        DrawAccessKey(hwnd);
        return result;
    }
    // A button repaints itself on these without a WM_PAINT: have it paint
    // again, underline included.
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_UPDATEUISTATE:
    case BM_SETSTATE:
    case BM_SETSTYLE: {
        const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, AccessKeyProc, id);
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void AddAccessKey(HWND control)
{
    accessKeyControls.push_back(control);
    SetWindowSubclass(control, AccessKeyProc, 1, 0);
}

bool PressAccessKey(unsigned key)
{
    for (HWND control : accessKeyControls) {
        if (!IsMnemonic(Utf8FromWide(TextOf(control)), key))
            continue;
        // A label's key leads to the control made right after it.
        HWND target = IsButton(control) ? control : GetWindow(control, GW_HWNDNEXT);
        if (!target || !IsWindowEnabled(target) || !IsWindowVisible(target))
            return true;  // the key is this control's, even while it is disabled
        SetFocus(target);
        if (target == control)
            SendMessageW(g_hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED), LPARAM(control));
        return true;
    }
    return false;
}
