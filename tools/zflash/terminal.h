// The terminal that standard error is: its width, and whether it takes the
// cursor-movement sequences of the gang's live display.
#pragma once

// Columns of the terminal on standard error, asked anew each time (it may
// have been resized); 0 when standard error is no terminal.
int TerminalColumns();
inline bool StderrIsTerminal() { return TerminalColumns() > 0; }
// Whether standard output is a terminal (not a pipe or a file).
bool StdoutIsTerminal();
// Prepares standard error for cursor movement; false when it cannot.
bool EnableCursorControl();
