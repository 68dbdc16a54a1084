// A device session's words for a port that will not open: what is wrong and
// what to do.
#pragma once

#include <string>

#include "devicelink/ports/ports.h"

// The sentence for `port`'s diagnosis; empty when none was found.
std::string PortProblemText(const std::string &port, const PortDiagnosis &diagnosis);

// What to do about a port one may not open: join `group` (the device's group
// when that group may read and write it), or else ask for access.
std::string PermissionHint(const std::string &port, const std::string &group);
