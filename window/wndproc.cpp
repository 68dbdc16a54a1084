// The main window's message dispatch.
#include "app/appstate.h"
#include "window/window.h"
// needs windows.h first
#include <dbt.h>

namespace {

// Closing while programming leaves the device without working firmware: the
// operator decides, and a Return pressed out of habit answers No.
bool ConfirmClose()
{
    return ShowBox("Programming is in progress. Closing now leaves the device without "
                   "working firmware.\n\nClose anyway?",
                   kBoxCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool IsDeviceArrivalOrRemoval(WPARAM event)
{
    return event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE || event == DBT_DEVNODES_CHANGED;
}

// Messages the window handles around the operator's workflow: keyboard,
// activation, DPI, the session's end, device changes and the system menu.
// True when handled, with the result in `result`.
bool OnWindowMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    result = 0;
    switch (msg) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE || HIWORD(wParam))
            return false;
        PlaceFocus();
        return true;
    case DM_GETDEFID:
        result = MAKELRESULT(DefaultButtonId(), DC_HASDEFID);
        return true;
    case WM_NEXTDLGCTL:
        MoveFocus(wParam, lParam);
        return true;
    case WM_GETDPISCALEDSIZE: {
        *reinterpret_cast<SIZE *>(lParam) = OuterSizeForDpi(kClientWidth, kClientHeight, kMainStyle, UINT(wParam));
        result = TRUE;
        return true;
    }
    case WM_DPICHANGED:
        OnDpiChanged(hwnd, HIWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return true;
    case WM_QUERYENDSESSION:
        result = SessionMayEnd();
        return true;
    case WM_DEVICECHANGE:
        if (IsDeviceArrivalOrRemoval(wParam))
            SchedulePortRefresh();
        result = TRUE;
        return true;
    case WM_TIMER:
        if (wParam != kPortRefreshTimer)
            return false;
        OnPortRefreshTimer();
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) != IDM_ABOUT)
            return false;
        ShowAbout();
        return true;
    default:
        return false;
    }
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
        if (HIWORD(wParam) == 0) {
            NoteCommandSender(reinterpret_cast<HWND>(lParam));
            OnCommand(LOWORD(wParam));
        }
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
    LRESULT result;
    if (OnWindowMessage(hwnd, msg, wParam, lParam, result))
        return result;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
