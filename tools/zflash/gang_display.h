// What a gang's supervisor shows: one line per port while the devices work,
// and a summary table at the end. Pure functions of the ports' state.
#pragma once

#include <string>
#include <vector>

#include "station/supervisor.h"


// A port's live line, at most `width` - 1 characters (the last column is
// left free so that no terminal wraps it); width 0: no limit.
std::string GangLine(const PortState &p, size_t width);
// A line of plain output, after the port's prefix: "Programming: 40%, 88.6
// kB/s" while it works, "ok in 12.5 s" once finished.
std::string GangPlainLine(const PortState &p);
// The summary: port, device, installed before -> after, result, time.
// `width`: a terminal's, which the names give way to (0: none).
std::vector<std::string> GangSummary(const std::vector<PortState> &ports, size_t width = 0);
