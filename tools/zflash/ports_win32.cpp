// Serial ports from the registry key in which Windows lists the present ones:
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, one value per port, the value's name
// being the driver's device object and its string data the port name.
#include "tools/zflash/ports.h"

#include <windows.h>

#include <algorithm>

std::vector<SerialPortInfo> ListSerialPorts(const std::string &)
{
    std::vector<SerialPortInfo> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
        LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ || dataLength == 0)
            continue;
        SerialPortInfo info;
        info.port.assign(reinterpret_cast<const char *>(data), dataLength - 1);
        info.driver.assign(name, nameLength);
        ports.push_back(info);
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return NaturalLess(a.port, b.port); });
    return ports;
}
