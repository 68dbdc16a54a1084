// Serial ports on Windows: the ports Windows lists as present in
// HARDWARE\DEVICEMAP\SERIALCOMM (with their device objects), described by
// the device manager's class of ports (SetupAPI: friendly name, and the
// USB vendor, product and serial number in the device's instance id), and
// an FTDI adapter's latency timer from the driver's settings. Wine lists its
// mapped ports in SERIALCOMM but may have no devices in the class; those
// ports are listed with what SERIALCOMM says.
#include <windows.h>

#include <cfgmgr32.h>
#include <initguid.h>  // defines GUID_DEVCLASS_PORTS here
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

#include "devicelink/ports/serialcomm.h"
#include "devicelink/ports/adapter_timer.h"
#include "devicelink/ports/port_ids.h"
#include "devicelink/ports/ports.h"

namespace {

std::string PortNameOfDevice(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return std::string();
    char name[64] = {};
    DWORD type = 0, length = sizeof name - 1;
    const LONG rc = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE *>(name), &length);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? ComPortName(name) : std::string();
}

std::string FriendlyName(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    char name[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE *>(name),
                                           sizeof name - 1, nullptr))
        return std::string();
    return name;
}

std::string InstanceId(DEVINST instance)
{
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDA(instance, id, sizeof id - 1, 0) == CR_SUCCESS ? std::string(id) : std::string();
}

// Vendor, product and serial number from the device's instance id; an
// interface of a composite device has its serial number in its parent's.
void DescribeUsb(DEVINST instance, SerialPortInfo &info)
{
    if (!ParseInstanceId(InstanceId(instance), info.usbId, info.serial))
        return;
    DEVINST parent;
    std::string parentUsbId;
    if (info.serial.empty() && CM_Get_Parent(&parent, instance, 0) == CR_SUCCESS &&
        ParseInstanceId(InstanceId(parent), parentUsbId, info.serial) && parentUsbId != info.usbId)
        info.serial.clear();
}

// The present devices of the Ports class that have a COM name.
std::vector<SerialPortInfo> DevicesOfPortsClass()
{
    std::vector<SerialPortInfo> ports;
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        SerialPortInfo info;
        info.port = PortNameOfDevice(set, device);
        if (info.port.compare(0, 3, "COM") != 0)
            continue;  // a printer port
        info.description = FriendlyName(set, device);
        DescribeUsb(device.DevInst, info);
        ports.push_back(info);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

// The FTDI driver's latency timer, and the adapter's ids from its device's
// id where the device manager gave none.
void AddAdapterTimer(SerialPortInfo &info)
{
    const AdapterTimer timer = FindAdapterTimer(info.port, std::string());
    info.latencyTimerMs = timer.ms;
    if (info.usbId.empty() && !timer.deviceId.empty())
        ParseInstanceId(timer.deviceId, info.usbId, info.serial);
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const PortRoots &)
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
    for (const SerialPortInfo &device : DevicesOfPortsClass()) {
        auto listed = std::find_if(ports.begin(), ports.end(), [&](const SerialPortInfo &p) {
            return ComPortName(p.port) == device.port;
        });
        if (listed == ports.end()) {
            ports.push_back(device);
            continue;
        }
        listed->description = device.description;
        listed->usbId = device.usbId;
        listed->serial = device.serial;
    }
    for (SerialPortInfo &info : ports)
        AddAdapterTimer(info);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return NaturalLess(a.port, b.port); });
    return ports;
}

std::string PortIdentity(const std::string &port, const PortRoots &)
{
    return ComPortName(port);
}
