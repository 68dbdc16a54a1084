// Why a COM port cannot be opened: missing or in use by another program.
#include "devicelink/ports/ports.h"

#include <windows.h>

PortDiagnosis DiagnosePort(const std::string &port)
{
    std::string path = port.compare(0, 4, "\\\\.\\") == 0 ? port : "\\\\.\\" + port;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    PortDiagnosis d;
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return d;
    }
    const DWORD error = GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        d.problem = PortDiagnosis::Missing;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        d.problem = PortDiagnosis::Busy;
        break;
    default:
        d.problem = PortDiagnosis::Other;
        d.system = "Windows error " + std::to_string(error);
        break;
    }
    return d;
}
