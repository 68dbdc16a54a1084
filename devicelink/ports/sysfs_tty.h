// Linux: from a serial port's path to its entry in sysfs.
#pragma once

#include <string>

// The tty name of a port (its entry <sysfs>/class/tty/<name>): the base
// name of the path as given, or else of a path it links to, link by link
// (a /dev/serial/by-id name leads to ../../ttyUSB0). Empty when none is there.
std::string SysfsTtyName(const std::string &port, const std::string &sysfsRoot);

// The first line of a sysfs attribute, without trailing white space; empty
// when it cannot be read.
std::string ReadSysfsAttribute(const std::string &file);
