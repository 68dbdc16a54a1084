// Serial ports from the registry key in which Windows lists the present ones.
#include <algorithm>

#include "app/comports.h"
#include "tools/zflash/ports.h"

std::vector<SerialPortInfo> ListSerialPorts(const std::string &)
{
    std::vector<SerialPortInfo> ports;
    for (const ComPortEntry &entry : ReadSerialCommKey()) {
        if (entry.name.empty())
            continue;
        SerialPortInfo info;
        info.port = entry.name;
        info.driver = entry.device;
        ports.push_back(info);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return NaturalLess(a.port, b.port); });
    return ports;
}
