// The platform's part of a hidden cursor that the process's end shows again
// (terminal_posix.cpp, terminal_win32.cpp); terminal_cursor.cpp does the rest.
#pragma once

#include <cstddef>

// Writes to standard error at once, unbuffered; safe in a signal handler.
void WriteStderrNow(const char *text, size_t size);
// Has `show` called before a signal ends the process (POSIX; Windows has none
// to catch).
void CallOnFatalSignals(void (*show)());
