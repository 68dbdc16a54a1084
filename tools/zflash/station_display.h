// What a station's supervisor shows: a header with the run's figures, one
// line per port, and a summary by port at the end. Pure functions of the
// ports' state.
#pragma once

#include <string>
#include <vector>

#include "station/supervisor.h"

// The run's figures so far, from the ports' counts.
struct StationFigures {
    int ok = 0, current = 0, failed = 0, firstPass = 0;
    int Units() const { return ok + current + failed; }
    double Yield() const { return Units() ? double(firstPass) / Units() : 0; }  // first-pass yield
};
StationFigures FiguresOf(const std::vector<PortState> &ports);
StationFigures FiguresOf(const PortState &port);

// "units 12 ok, 3 current, 1 failed  first-pass yield 94%  142 units/h  elapsed 6:45",
// in whole seconds; narrower than `width` (0: no limit): the elapsed time
// goes first, then the units per hour, then the yield.
std::string StationHeader(const std::vector<PortState> &ports, double seconds, size_t width = 0);
// What a port is doing: "waiting for a unit", "programming 43%", "adapter removed", ...
std::string StationState(const PortState &port);
// How its last unit ended: "done v1.10.3 in 11.9 s", "current v1.10.3", "failed: verify-mismatch".
std::string StationOutcome(const PortState &port);
// Columns for the ports' names in lines `width` wide: the widest name's, up
// to a third of the line (0: no limit).
size_t StationNameColumns(const std::vector<PortState> &ports, size_t width);
// A port's live line, narrower than `width` (0: no limit), its name in
// `names` columns (shortened in the middle, or padded; 0: as it is). While
// no unit is under way it says how the last one ended: "waiting for a unit
// last: done v1.10.3 in 11.9 s", shortened as the width asks.
// `shown`: the port's name as ShortenNames gives it for all the ports (empty:
// shortened here on its own).
std::string StationLine(const PortState &port, size_t width, size_t names = 0, const std::string &shown = std::string());
// The summary: per port its units, ok, current, failed, first-pass yield and
// units per hour, and the whole station.
// `width`: a terminal's, which the port names give way to (0: none).
std::vector<std::string> StationSummary(const std::vector<PortState> &ports, double seconds, size_t width = 0);
