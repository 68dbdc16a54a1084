// The serial ports the system knows of, and the COM port list that shows them.
#include "app/window/window.h"

std::vector<std::string> EnumerateComPorts()
{
    std::vector<std::string> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; index++) {
        char name[256];
        BYTE data[256];
        DWORD nameLen = sizeof name;
        DWORD dataLen = sizeof data;
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, index, name, &nameLen, nullptr, &type, data, &dataLen);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || type != REG_SZ)
            continue;
        // The data length counts the terminating NUL.
        ports.emplace_back(reinterpret_cast<const char *>(data), dataLen ? dataLen - 1 : 0);
    }
    RegCloseKey(key);
    return ports;
}

void RefreshPortList()
{
    SendMessageA(g_portCombo, CB_RESETCONTENT, 0, 0);
    const std::vector<std::string> ports = EnumerateComPorts();
    for (const std::string &port : ports)
        SendMessageA(g_portCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
    if (!ports.empty())
        SendMessageA(g_portCombo, CB_SETCURSEL, 0, 0);
}
