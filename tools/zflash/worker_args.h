// The command line of a worker process that a supervisor runs for one port,
// in the events mode, for several ports at once (gang.cpp) or a station
// (station.cpp).
#pragma once

#include <string>
#include <vector>

#include "station/supervisor.h"
#include "tools/zflash/zflash.h"

// `command` (capture, program, verify, station) on `port` with the options
// the operator gave; `imageSha256`: the digest of the image as it was
// checked here (empty: none), which the worker's own read must match.
// The supervisor's settings for the options the operator gave.
SupervisorSettings SupervisorSettingsOf(const GlobalOptions &g, const std::string &sysfsRoot);

std::vector<std::string> WorkerArgs(const std::string &command, const GlobalOptions &g, const DeviceOptions &d,
                                    const std::string &port, const std::string &imageSha256);
