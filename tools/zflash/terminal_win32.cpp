#include "tools/zflash/terminal.h"

#include <windows.h>

#include "tools/zflash/terminal_cursor.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace {

bool ScreenInfo(CONSOLE_SCREEN_BUFFER_INFO &info)
{
    return GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0;
}

}  // namespace

int TerminalColumns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ScreenInfo(info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int TerminalRows()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ScreenInfo(info))
        return 0;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

bool EnableCursorControl()
{
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(err, &mode) && SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StdoutIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void WriteStderrNow(const char *text, size_t size)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, DWORD(size), &written, nullptr);
}

void CallOnFatalSignals(void (*)()) {}
