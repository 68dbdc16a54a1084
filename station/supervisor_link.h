// A station worker's side of its supervisor's standard input: "stop" (take
// no more units) and, when the units are bounded, "take" or "stop" as the
// answer to each unit the worker identified.
#pragma once

#include <istream>

// Reads the supervisor's lines from `in` on a thread of its own until the end
// of the stream (which counts as "stop").
void ListenToSupervisor(std::istream &in);

// Waits for the supervisor's answer about the unit just identified: true to
// take it. A "take" that came first wins over a "stop" that followed it (the
// unit was the last one granted).
bool SupervisorLetsTake();
