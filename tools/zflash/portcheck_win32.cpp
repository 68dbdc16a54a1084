// Why a COM port cannot be opened: missing or in use by another program.
#include "tools/zflash/ports.h"

#include <windows.h>

std::string DiagnosePort(const std::string &port)
{
    std::string path = port.compare(0, 4, "\\\\.\\") == 0 ? port : "\\\\.\\" + port;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return "";
    }
    DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return port + " does not exist. Run \"zflash ports\" to list the serial ports.";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return port + " is busy: another program is using it. Close that program (a terminal "
                      "program, another zflash) and try again.";
    default:
        return "cannot open " + port + ": Windows error " + std::to_string(error) + ".";
    }
}
