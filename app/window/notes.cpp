// The release-notes window of the identified hardware option.
#include "app/appstate.h"
#include "app/notestext.h"
#include "app/window/window.h"
#include "app/workflows.h"

HWND g_notesWnd, g_notesEdit;

namespace {

HWND CreateNotesWindow()
{
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g_hwnd, GWLP_HINSTANCE));
    return CreateWindowExW(0, kNotesClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                           640, 560, g_hwnd, nullptr, instance, nullptr);
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
}

LRESULT CALLBACK NotesWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        g_notesEdit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", 0x503008C4, 0, 0, 10, 10, hwnd,
                                      reinterpret_cast<HMENU>(IDC_NOTES_EDIT), nullptr, nullptr);
        SendMessageA(g_notesEdit, WM_SETFONT, WPARAM(g_monoFont), TRUE);
        return 0;
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
