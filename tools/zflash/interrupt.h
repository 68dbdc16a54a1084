// Ctrl-C does not end zflash by itself: it is counted, and the command decides
// what a press means at that moment (cancel the wait, warn, abort). On POSIX
// SIGTERM and SIGHUP count as presses too, and SIGPIPE is ignored.
#pragma once

void InstallInterruptHandler();
// Presses since the last call.
int TakeInterrupts();
// True once SIGTERM or SIGHUP arrived (Windows: the console closing, log-off
// or shutdown).
bool Terminated();
// Windows: the console is closing, or the user logs off, or the system shuts
// down: the process ends within seconds, whatever it does, so nothing is
// finished any more; what is under way is recorded and the process ends.
// Never on POSIX, where those are SIGHUP and SIGTERM and a unit under way
// may finish.
bool EndingNow();
// The records are written: a process that is being ended may go (Windows:
// the console handler that held the system back returns).
void SettledForExit();
