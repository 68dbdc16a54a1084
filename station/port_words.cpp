// The words for a port that will not open (the same on every platform).
#include "station/port_words.h"

std::string PortProblemText(const std::string &port, const PortDiagnosis &d)
{
    switch (d.problem) {
    case PortDiagnosis::None:
        return std::string();
    case PortDiagnosis::Missing:
        return port + " does not exist. Run \"zflash ports\" to list the serial ports.";
    case PortDiagnosis::Busy:
        return port + " is busy: another program is using it. Close that program (a terminal "
                      "program, another zflash) and try again.";
    case PortDiagnosis::NoPermission:
        return PermissionHint(port, d.group);
    case PortDiagnosis::NotSerial:
        return port + " is not a serial port.";
    case PortDiagnosis::Other:
        break;
    }
    return "cannot open " + port + ": " + d.system + ".";
}

std::string PermissionHint(const std::string &port, const std::string &group)
{
    if (group.empty() || group == "root")
        return "no permission to open " + port +
               ". Ask the administrator for access to it (a udev rule can give a group read and "
               "write access to the device).";
    return "no permission to open " + port + ". Add yourself to the " + group +
           " group (sudo usermod -aG " + group + " $USER), then log in again.";
}
