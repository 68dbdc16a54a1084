// The release-notes window of the identified hardware option.
#include "app/appstate.h"
#include "app/dpiscale.h"
#include "app/notestext.h"
#include "window/window.h"
#include "app/workflows.h"

HWND g_notesWnd, g_notesEdit;

namespace {

// 640 x 560 at 96 DPI, scaled for the main window's screen.
HWND CreateNotesWindow()
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g_hwnd, GWLP_HINSTANCE));
    const UINT dpi = WindowDpi(g_hwnd);
    return CreateWindowExW(0, kNotesClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           ScaleFrom96(640, dpi), ScaleFrom96(560, dpi), g_hwnd, nullptr, instance, nullptr);
}

}  // namespace

void ShowReleaseNotes()
{
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!prod || !hw)
        return;
    std::string bytes;
    if (!ReadReleaseNotes(*hw, bytes)) {
        ShowBox(kNoReleaseNotes, "Release Notes", MB_ICONINFORMATION);
        return;
    }
    const std::string text = ToEditLineEnds(bytes);
    const std::string caption = prod->name + " Release Notes";
    if (!g_notesWnd) {
        g_notesWnd = CreateNotesWindow();
        if (!g_notesWnd)
            return;
    }
    SetText(g_notesWnd, caption);
    SetText(g_notesEdit, text);
    SendMessageA(g_notesEdit, EM_SETSEL, 0, 0);
    SendMessageA(g_notesEdit, EM_SCROLLCARET, 0, 0);
    ShowWindow(g_notesWnd, SW_SHOW);
    SetForegroundWindow(g_notesWnd);
    // The text has the focus: it scrolls with the keys; Escape closes.
    SetFocus(g_notesEdit);
}

LRESULT CALLBACK NotesWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        g_notesEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", 0x503008C4, 0, 0, 10, 10, hwnd,
                                      reinterpret_cast<HMENU>(IDC_NOTES_EDIT), nullptr, nullptr);
        SendMessageA(g_notesEdit, WM_SETFONT, WPARAM(MonoFont(WindowDpi(hwnd))), TRUE);
        SetWindowIcons(hwnd, WindowDpi(hwnd));
        return 0;
    case WM_SETFOCUS:
        SetFocus(g_notesEdit);
        return 0;
    case WM_DPICHANGED: {
        const RECT &r = *reinterpret_cast<const RECT *>(lParam);
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(g_notesEdit, WM_SETFONT, WPARAM(MonoFont(HIWORD(wParam))), TRUE);
        SetWindowIcons(hwnd, HIWORD(wParam));
        return 0;
    }
    case WM_SIZE: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        MoveWindow(g_notesEdit, 0, 0, rc.right, rc.bottom, TRUE);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        g_notesWnd = nullptr;
        g_notesEdit = nullptr;
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
