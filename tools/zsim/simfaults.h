// Fault injection of the simulated device: which fault a request meets, and
// the text form of a fault used on zsim's command line.
#pragma once

#include <string>
#include <vector>

#include "tools/zsim/simdevice.h"

// Counts the request against every fault that names its command (or any
// command) and returns the first fault that applies to it, or null.
// `seen` holds one counter per fault and grows as needed.
const SimFault *SimMatchFault(const std::vector<SimFault> &faults, std::vector<int> &seen,
                              int command);

// KIND:COMMAND[:SKIP[:COUNT[:VALUE]]], KIND one of drop, corrupt, error, odd,
// noise, close, slow, late, unplug, reseat; COMMAND a request code or "any"; COUNT a
// number or "all". False (fault unchanged) when the text does not parse.
bool ParseSimFault(const std::string &text, SimFault &fault);
// The KIND word of a fault ("?" for none known).
const char *SimFaultName(SimFault::Kind kind);
// Lines describing that syntax, for --help.
extern const char *const kSimFaultSyntax;
// A whole decimal number from lo to hi; false (out unchanged) otherwise.
bool SimParseInt(const std::string &s, long lo, long hi, long &out);
