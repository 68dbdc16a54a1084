// The serial ports of this computer: which exist, what they are, how they
// are told apart, and why one cannot be opened. One file per platform lists
// them (ports_linux.cpp, ports_win32.cpp) and diagnoses them
// (portcheck_posix.cpp, portcheck_win32.cpp).
#pragma once

#include <string>
#include <vector>

#include "devicelink/ports/port_roots.h"

struct SerialPortInfo {
    std::string port;         // what a port is opened by: /dev/ttyUSB0, COM3
    std::string driver;       // kernel driver (Linux) or device object (Windows)
    std::string description;  // USB manufacturer and product (Windows: the friendly name), where known
    std::string usbId;        // "0403:6001", where known
    std::string serial;       // USB serial number, where known
    std::string byId;         // Linux: its stable name in /dev/serial/by-id, where there is one
    int latencyTimerMs = 0;   // its adapter's latency timer; 0: none that can be read
};

// Ports that have a driver, in natural name order (COM2 before COM10), with
// their adapters. Linux reads `roots`; Windows reads the registry and the
// device manager's lists and ignores them.
std::vector<SerialPortInfo> ListSerialPorts(const PortRoots &roots);

// What tells ports apart, whatever name they are given by: Linux: the tty
// behind the path (ttyUSB0, also for its /dev/serial links); Windows: the
// COM name in upper case. Empty when no such port is known.
std::string PortIdentity(const std::string &port, const PortRoots &roots);

// "ttyS2" < "ttyS10": runs of digits compare by value.
bool NaturalLess(const std::string &a, const std::string &b);

// Why a port cannot be opened, as found by trying: the front end words it.
struct PortDiagnosis {
    enum Problem {
        None,          // it opens: no reason can be found
        Missing,       // no such port
        Busy,          // another program has it
        NoPermission,  // this user may not open it
        NotSerial,     // it opens, but it is no serial port (a file, /dev/null)
        Other,         // the system's reason in `system`
    } problem = None;
    std::string group;   // NoPermission: the device's group, when that group may read and write it
    std::string system;  // Other: the system's words
};
PortDiagnosis DiagnosePort(const std::string &port);
