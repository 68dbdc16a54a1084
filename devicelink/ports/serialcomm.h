// The serial ports Windows lists in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM:
// one value per present port, named after the driver's device object, whose
// string data is the port name. Shared by the window and the command line.
#pragma once

#include <string>
#include <vector>

struct ComPortEntry {
    std::string name;    // the port name, e.g. COM3 (may be empty)
    std::string device;  // the driver's device object, e.g. \Device\Serial2
};

// The string values in the order the registry enumerates them; values that
// are not strings or do not fit 256 bytes are skipped. Windows only.
std::vector<ComPortEntry> ReadSerialCommKey();
