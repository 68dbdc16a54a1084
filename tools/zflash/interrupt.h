// Ctrl-C does not end zflash by itself: it is counted, and the command decides
// what a press means at that moment (cancel the wait, warn, abort). On POSIX
// SIGTERM and SIGHUP count as presses too, and SIGPIPE is ignored.
#pragma once

void InstallInterruptHandler();
// Presses since the last call.
int TakeInterrupts();
// True once SIGTERM or SIGHUP arrived (never on Windows).
bool Terminated();
