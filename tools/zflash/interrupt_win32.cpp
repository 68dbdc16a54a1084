#include "tools/zflash/interrupt.h"

#include <windows.h>

#include <atomic>

namespace {

// How long the console's handler holds back the end of the process so that
// the records can be written (Windows ends it after about 5 seconds).
constexpr DWORD kSettleMs = 4500;

std::atomic<int> presses{0};
std::atomic<bool> terminated{false};
std::atomic<bool> ending{false};
HANDLE settled = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// Runs on a thread of its own that the console starts.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        presses.fetch_add(1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: first the records.
        terminated = true;
        ending = true;
        presses.fetch_add(1);
        WaitForSingleObject(settled, kSettleMs);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

int TakeInterrupts() { return presses.exchange(0); }

bool Terminated() { return terminated; }

bool EndingNow() { return ending; }

void SettledForExit()
{
    if (settled)
        SetEvent(settled);
}
