// The serial ports of this computer, for "zflash ports".
#pragma once

#include <string>
#include <vector>

#include "tools/zflash/result.h"

// Ports that have a driver, in natural name order (COM2 before COM10).
// `sysfsRoot` is where Linux's device tree is mounted (/sys); Windows reads
// the registry and ignores it.
std::vector<SerialPortInfo> ListSerialPorts(const std::string &sysfsRoot);

// "ttyS2" < "ttyS10": runs of digits compare by value.
bool NaturalLess(const std::string &a, const std::string &b);

// Why `port` cannot be opened, in words that say what to do; empty when no
// reason can be found.
std::string DiagnosePort(const std::string &port);

// What to do about a port one may not open: join `group` (the device's group
// when that group may read and write it), or else ask for access.
std::string PermissionHint(const std::string &port, const std::string &group);
