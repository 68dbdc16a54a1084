// The FTDI driver keeps each port's settings under its device's key in the
// registry: PortName (COM8) and LatencyTimer (ms, a DWORD) side by side in
// "Device Parameters". The key is readable by every user; zflash only reads it.
#include "devicelink/ports/adapter_timer.h"

#include <windows.h>

#include <vector>

#include "devicelink/ports/port_ids.h"

namespace {

const char kFtdiBus[] = "SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

std::vector<std::string> SubKeys(HKEY key)
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        const LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc == ERROR_SUCCESS)
            names.emplace_back(name, length);
    }
    return names;
}

std::string StringValue(HKEY key, const char *name)
{
    char data[256];
    DWORD type = 0, length = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(data), &length) != ERROR_SUCCESS ||
        type != REG_SZ || length == 0)
        return std::string();
    return std::string(data, length - (data[length - 1] == '\0' ? 1 : 0));
}

int DwordValue(HKEY key, const char *name)
{
    DWORD value = 0, type = 0, length = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &length) != ERROR_SUCCESS ||
        type != REG_DWORD || value < 1 || value > 255)
        return 0;
    return int(value);
}

// The instance of one FTDI device whose PortName is `name`, if any.
bool FindInstance(const std::string &device, const std::string &name, AdapterTimer &timer)
{
    HKEY deviceKey;
    const std::string devicePath = std::string(kFtdiBus) + "\\" + device;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, devicePath.c_str(), 0, KEY_READ, &deviceKey) != ERROR_SUCCESS)
        return false;
    const std::vector<std::string> instances = SubKeys(deviceKey);
    RegCloseKey(deviceKey);
    for (const std::string &instance : instances) {
        const std::string path = devicePath + "\\" + instance + "\\Device Parameters";
        HKEY params;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &params) != ERROR_SUCCESS)
            continue;
        const bool match = ComPortName(StringValue(params, "PortName")) == name;
        RegCloseKey(params);
        if (match) {
            timer.location = "HKLM\\" + path;
            timer.deviceId = "FTDIBUS\\" + device + "\\" + instance;
            return true;
        }
    }
    return false;
}

// The FTDI port named `name`: its key and device id.
bool FindFtdiPort(const std::string &name, AdapterTimer &timer)
{
    HKEY bus;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFtdiBus, 0, KEY_READ, &bus) != ERROR_SUCCESS)
        return false;
    const std::vector<std::string> devices = SubKeys(bus);
    RegCloseKey(bus);
    for (const std::string &device : devices)
        if (FindInstance(device, name, timer))
            return true;
    return false;
}

}  // namespace

AdapterTimer FindAdapterTimer(const std::string &port, const std::string &)
{
    AdapterTimer timer;
    timer.port = port;
    if (!FindFtdiPort(ComPortName(port), timer))
        return timer;
    timer.driver = "FTDI";
    timer.ms = ReadAdapterTimer(timer);
    return timer;
}

int ReadAdapterTimer(const AdapterTimer &timer)
{
    const std::string prefix = "HKLM\\";
    if (timer.location.compare(0, prefix.size(), prefix) != 0)
        return 0;
    HKEY params;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, timer.location.substr(prefix.size()).c_str(), 0, KEY_READ, &params) !=
        ERROR_SUCCESS)
        return 0;
    const int ms = DwordValue(params, "LatencyTimer");
    RegCloseKey(params);
    return ms;
}

bool WriteAdapterTimer(const AdapterTimer &, int, std::string &error)
{
    error.clear();
    return false;
}

std::string AdapterTimerAdvice(const AdapterTimer &timer)
{
    const std::string name = ComPortName(timer.port);
    return "To set it to 1 ms: Device Manager, Ports (COM & LPT), the adapter's port (" + name +
           "), Properties, Port Settings, Advanced..., Latency Timer (msec): 1";
}
