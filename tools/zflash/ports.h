// The serial ports of this computer, for "zflash ports".
#pragma once

#include <string>
#include <vector>

#include "tools/zflash/port_roots.h"
#include "tools/zflash/result.h"

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

// Why `port` cannot be opened, in words that say what to do; empty when no
// reason can be found.
std::string DiagnosePort(const std::string &port);

// What to do about a port one may not open: join `group` (the device's group
// when that group may read and write it), or else ask for access.
std::string PermissionHint(const std::string &port, const std::string &group);
