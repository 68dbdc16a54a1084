// Program entry: common controls, title, fonts, window classes, the main
// window and the message loop.

#include "app/appstate.h"
#include "app/utf16.h"
#include "app/window/window.h"
#include "targetlib/capture.h"

const wchar_t kMainClass[] = L"ZelvoFlashUpdateWndClass";
const wchar_t kNotesClass[] = L"ZelvoNotesWndClass";
const char kBoxCaption[] = "ZelvoFlashUpdate";

HWND g_hwnd;
HFONT g_monoFont;

namespace {

const DWORD kMainStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x00CA0000
const int kClientWidth = 609;
const int kClientHeight = 412;

// Worker messages go to the main window's queue. A message that cannot be
// posted (the window is gone) would leak its attached string: free it here.
void PostToMainWindow(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    if (PostMessageA(g_hwnd, msg, WPARAM(wParam), LPARAM(lParam)))
        return;
    if ((msg == WM_APP_LOG || msg == WM_APP_QUERY_DONE) && lParam != 0)
        delete reinterpret_cast<std::string *>(lParam);
}

void RefreshCustomPanel()
{
    UpdateCustomUI();
    SetUIState();
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t *name, WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

HFONT CreateMonoFont()
{
    return CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FIXED_PITCH | FF_MODERN, L"Consolas");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    g_appTitle = "Zelvo Flash Update  v" + Version();
    g_monoFont = CreateMonoFont();
    SetMessageSink(PostToMainWindow);
    SetMessageBoxHandler(ShowBox);
    SetCustomUiRefresher(RefreshCustomPanel);

    RegisterWindowClass(instance, kMainClass, WndProc);
    RegisterWindowClass(instance, kNotesClass, NotesWndProc);

    RECT rc = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&rc, kMainStyle, FALSE);
    CreateWindowExW(0, kMainClass, WideFromUtf8(g_appTitle).c_str(), kMainStyle, CW_USEDEFAULT,
                    CW_USEDEFAULT, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance,
                    nullptr);
    ShowWindow(g_hwnd, showCmd);
    UpdateWindow(g_hwnd);

    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return int(msg.wParam);
}
