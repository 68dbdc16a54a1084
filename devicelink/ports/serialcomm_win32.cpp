#include "devicelink/ports/serialcomm.h"

#include <windows.h>

std::vector<ComPortEntry> ReadSerialCommKey()
{
    std::vector<ComPortEntry> ports;
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
        ports.push_back({std::string(reinterpret_cast<const char *>(data), dataLen ? dataLen - 1 : 0),
                         std::string(name, nameLen)});
    }
    RegCloseKey(key);
    return ports;
}
