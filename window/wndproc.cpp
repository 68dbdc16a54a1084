// The main window's message dispatch.
#include "app/appstate.h"
#include "window/window.h"
// needs windows.h first
#include <dbt.h>

namespace {

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
    case DM_GETDEFID: {
        // Without a default button Return presses nothing (the dialog
        // manager then sends IDOK, which no control has).
        const int id = DefaultButtonId();
        result = id ? MAKELRESULT(id, DC_HASDEFID) : 0;
        return true;
    }
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
        result = OnQueryEndSession();
        return true;
    case WM_ENDSESSION:
        OnEndSession(wParam != FALSE);
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
        OnClose();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        // Under a box (or a notice that waits) the operator cannot reach
        // the window's controls, nor a control that is off: a command that
        // gets there anyway (a click sent by a program) is dropped.
        if (HIWORD(wParam) == 0 && !BoxesBusy() && (lParam == 0 || IsWindowEnabled(reinterpret_cast<HWND>(lParam)))) {
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
    case WM_APP_NOTICE_TURN:
        OnNoticeTurn();
        return 0;
    case WM_APP_RECORD_FAILED:
        for (const std::string &text : TakeRecordFailures())
            ShowNotice({text, kBoxCaption, MB_ICONWARNING, nullptr, true});
        return 0;
    }
    LRESULT result;
    if (OnWindowMessage(hwnd, msg, wParam, lParam, result))
        return result;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
