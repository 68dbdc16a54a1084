// Starting the worker threads.
#include "app/appstate.h"
#include "app/syserror.h"
#include "window/window.h"
#include "app/workflows.h"

bool StartWorkerThread(LPTHREAD_START_ROUTINE proc, void *arg, bool &busyFlag)
{
    HANDLE thread = CreateThread(nullptr, 0, proc, arg, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return true;
    }
    // Nothing will ever post this worker's completion: undo its start so the
    // controls do not stay disabled for good.
    const DWORD error = GetLastError();
    busyFlag = false;
    Log("ERROR: Could not start the worker thread: " + SystemErrorText(error) + ".");
    SetUIState();
    return false;
}

void StartQuery()
{
    g_querying = true;
    SetUIState();
    SetText(g_installedStatic, "Querying...");
    if (StartWorkerThread(QueryThreadProc, nullptr, g_querying))
        return;
    SetText(g_installedStatic, "(query failed)");
    FinishPendingRecord();  // the firmware after a run will not be read
}
