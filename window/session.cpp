// While the device is written (a programming run: blank check, erase,
// programming, verification), ending the Windows session would leave it
// without working firmware. Shutdown and log-off are held back, with the
// reason shown in Windows' list of programs that prevent it, and the
// computer does not go to sleep, until the run ends. When the session ends
// all the same (the user chose to end it anyway), the run is recorded as
// ended by it, and every record is written before Windows ends the process.
#include "window/window.h"

namespace {

bool held = false;
bool ended = false;

}  // namespace

void GuardDeviceWork(bool writing)
{
    if (writing == held)
        return;
    held = writing;
    if (writing) {
        ShutdownBlockReasonCreate(g_hwnd, L"Programming a device. Ending the session now would leave it "
                                          L"without working firmware.");
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    } else {
        SetThreadExecutionState(ES_CONTINUOUS);
        ShutdownBlockReasonDestroy(g_hwnd);
    }
}

bool OnQueryEndSession()
{
    return !held;
}

void OnEndSession(bool ending)
{
    if (!ending)
        return;
    ended = true;
    EndWindow("Windows ended the session");
    WaitForRecords();
}

bool SessionEnded()
{
    return ended;
}
