#include "station/parent_watch.h"

#include <signal.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/prctl.h>
#endif

bool TieLifeToSupervisor(long supervisorPid)
{
#ifdef __linux__
    // The kernel kills this process when the thread that started it ends;
    // the supervisor starts its workers from its main thread.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        return false;
#endif
    // Checked after the request: a supervisor that died before it was made
    // has already handed this process to another parent.
    return supervisorPid > 0 && long(getppid()) == supervisorPid;
}

long OwnProcessId() { return long(getpid()); }
