// Advice on a serial port the user may not open (all platforms: the words
// do not depend on who asks).
#include "tools/zflash/ports.h"

std::string PermissionHint(const std::string &port, const std::string &group)
{
    if (group.empty() || group == "root")
        return "no permission to open " + port +
               ". Ask the administrator for access to it (a udev rule can give a group read and "
               "write access to the device).";
    return "no permission to open " + port + ". Add yourself to the " + group +
           " group (sudo usermod -aG " + group + " $USER), then log in again.";
}
