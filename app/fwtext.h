// How a firmware image is named to the operator, wherever it is shown.
#pragma once

#include <string>

#include "catalogue/firmware.h"

// A firmware list entry: file name, "  (v<version>)", "  [unverified]".
std::string FirmwareListEntry(const FirmwareVersion &fw);
// The log line that starts a programming run.
std::string ProgrammingLogLine(const FirmwareVersion &fw, bool custom);
