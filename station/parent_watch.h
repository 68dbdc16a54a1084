// A worker process never outlives the supervisor that started it: should the
// supervisor end (killed, crashed), its workers end too, before they touch
// a device again. One file per platform (parent_watch_posix.cpp,
// parent_watch_win32.cpp); the supervisor's side on Windows is the job
// object of child_win32.cpp.
#pragma once

// Ties this process's life to the supervisor `supervisorPid`: when it ends,
// this process is killed. False (nothing done) when the supervisor is gone
// already, or this process's parent is another one: the caller then ends
// without touching a device.
bool TieLifeToSupervisor(long supervisorPid);

// This process's id, as a worker's supervisor names itself.
long OwnProcessId();
