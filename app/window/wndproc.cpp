// The main window's message dispatch.

#include "app/appstate.h"
#include "app/window/window.h"

namespace {

// Closing while programming leaves the device without working firmware: the
// operator decides.
bool ConfirmClose()
{
    return ShowBox("Programming is in progress. Closing now leaves the device without "
                   "working firmware.\n\nClose anyway?",
                   kBoxCaption, MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_CLOSE:
        if (g_programming && !ConfirmClose())
            return 0;
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0)
            OnCommand(LOWORD(wParam));
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_APP_LOG:
        ShowLogLine(reinterpret_cast<std::string *>(lParam));
        return 0;
    case WM_APP_PROGRESS:
        ShowProgress(wParam, lParam);
        return 0;
    case WM_APP_ERASE_BUSY:
        ShowEraseBusy(wParam != 0);
        return 0;
    case WM_APP_CAPTURE_DONE:
        OnCaptureDone(wParam != 0);
        return 0;
    case WM_APP_PROGRAM_DONE:
        OnProgramDone(wParam != 0);
        return 0;
    case WM_APP_QUERY_DONE:
        OnQueryDone(wParam != 0, reinterpret_cast<std::string *>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
