// What a gang's supervisor shows: one line per port while the devices work,
// and a summary table at the end. Pure functions of the ports' state.
#pragma once

#include <string>
#include <vector>

struct GangPort {
    std::string port;
    std::string device;      // "VKT-3 (VKT3K)" once identified
    std::string phase;       // what it is doing ("Programming")
    int percent = -1;        // of the phase; -1: the phase has no percentage
    double bytesPerSecond = 0;
    bool finished = false;
    int exitCode = -1;
    double seconds = 0;      // since it started, or its whole time once finished
    // From the worker's record, once it sent it (empty before).
    std::string result;      // "ok", "failed", ...
    std::string before, after;  // installed versions
};

// The phase's words for a step name of the events ("blankCheck" -> "Blank check").
std::string PhaseOfStep(const std::string &step);
// A port's live line, at most `width` - 1 characters (the last column is
// left free so that no terminal wraps it); width 0: no limit.
std::string GangLine(const GangPort &p, size_t width);
// A line of plain output, after the port's prefix: "Programming: 40%, 88.6
// kB/s" while it works, "ok in 12.5 s" once finished.
std::string GangPlainLine(const GangPort &p);
// The summary: port, device, installed before -> after, result, time.
std::vector<std::string> GangSummary(const std::vector<GangPort> &ports);
