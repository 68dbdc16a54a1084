#include "tools/zflash/interrupt.h"

#include <windows.h>

#include <atomic>

namespace {

std::atomic<int> presses{0};

// Runs on a thread of its own that the console starts.
BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    presses.fetch_add(1);
    return TRUE;
}

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

int TakeInterrupts() { return presses.exchange(0); }

bool Terminated() { return false; }
