// What --port names: a device path or COM name as it is (also the stable
// /dev/serial/by-id and by-path links), or a selector usb:VID:PID[:SERIAL]
// that names the port of every matching USB adapter.
#pragma once

#include <string>
#include <vector>

#include "devicelink/ports/port_roots.h"

struct ResolvedPort {
    std::string port;           // what the serial port is opened by
    std::string adapterSerial;  // USB serial number of its adapter, where known
};

// In the order given, each port once (a port named twice, by any of its
// names, counts once). False with a message when a selector is malformed or
// matches no port. `roots`: where Linux shows its devices.
bool ResolvePorts(const std::vector<std::string> &given, const PortRoots &roots,
                  std::vector<ResolvedPort> &ports, std::string &error);
