// The terminal that standard error is: its size, whether it takes the
// cursor-movement sequences of the live displays, and a hidden cursor that
// the process's end shows again.
#pragma once

// Columns of the terminal on standard error, asked anew each time (it may
// have been resized); 0 when standard error is no terminal.
int TerminalColumns();
// Its rows, likewise; 0 when not known.
int TerminalRows();
inline bool StderrIsTerminal() { return TerminalColumns() > 0; }
// Whether standard output is a terminal (not a pipe or a file).
bool StdoutIsTerminal();
// Prepares standard error for cursor movement; false when it cannot.
bool EnableCursorControl();
// The cursor on standard error is hidden (true) or shown again (false). While
// it is hidden, an end of the process that skips whoever hid it shows it
// again: exit(), std::terminate and, on POSIX, a signal that ends the process
// (SIGSEGV, SIGABRT, SIGQUIT, ...).
void CursorHidden(bool hidden);
// The terminal's sequences that hide and show the cursor.
extern const char kHideCursor[];
extern const char kShowCursor[];
