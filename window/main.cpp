// Program entry: common controls, title, fonts, window classes, the main
// window and the message loop.

#include "app/appstate.h"
#include "app/dpiscale.h"
#include "app/utf16.h"
#include "window/window.h"
// needs windows.h first
#include <objbase.h>

#include "targetlib/capture.h"

const wchar_t kMainClass[] = L"ZelvoFlashUpdateWndClass";
const wchar_t kNotesClass[] = L"ZelvoNotesWndClass";
const char kBoxCaption[] = "ZelvoFlashUpdate";

HWND g_hwnd;
HFONT g_monoFont;

namespace {

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
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd)
{
    // A single-threaded apartment: the controls' accessible objects are
    // handed to screen readers through COM (accessible.cpp).
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    g_appTitle = "Zelvo Flash Update  v" + Version();
    g_monoFont = CreateMonoFont(kBaseDpi);
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

    // The dialog manager gives the window its keyboard: Tab, the arrows,
    // Return (the default button) and Space.
    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!HandleWindowKey(msg) && !IsDialogMessageW(g_hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        NoteFocus();
    }
    // The process ends with the records written; a record that could not
    // be, and was not yet shown, is said now (not while Windows ends the
    // session).
    WaitForRecords();
    const std::vector<std::string> lost = TakeRecordFailures();
    if (!SessionEnded())
        SayWhatMustBeSeen(lost);
    return int(msg.wParam);
}
