// zsim's fixture as text: the commands a test script writes to its control
// FIFO, the line it prints for each fixture event, and its counters.
#pragma once

#include <string>

#include "tools/zsim/simdevice.h"

enum class SimControlResult { Done, Quit, Bad };

// Carries out one command line on `device`; `reply` gets what to print (the
// counters for "stats", what is wrong for a bad line), else stays empty.
SimControlResult SimControl(SimDevice &device, const std::string &line, std::string &reply);
// Lines describing the commands, for --help.
extern const char *const kSimControlSyntax;

// "zsim: unit NAME plugged in" and so on: one line, no line end.
std::string SimFixtureEventText(const SimFixtureEvent &e);
// "zsim: fixture KEY=VALUE ..." and one "zsim: unit KEY=VALUE ..." a unit,
// each ended by a line feed.
std::string SimFixtureReport(const SimFixtureStats &s);
