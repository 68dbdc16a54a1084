#include "station/parent_watch.h"

#include <windows.h>

#include <thread>

bool TieLifeToSupervisor(long supervisorPid)
{
    // The supervisor's job object kills its workers when the supervisor's
    // handle to it closes; a worker started some other way watches the
    // supervisor's process itself.
    HANDLE supervisor = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(supervisorPid));
    if (!supervisor)
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(supervisor, &code) || code != STILL_ACTIVE) {
        CloseHandle(supervisor);
        return false;
    }
    std::thread([supervisor] {
        WaitForSingleObject(supervisor, INFINITE);
        TerminateProcess(GetCurrentProcess(), 1);
    }).detach();
    return true;
}

long OwnProcessId() { return long(GetCurrentProcessId()); }
