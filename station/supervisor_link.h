// A worker's side of its supervisor's standard input: "stop" (take no more
// units); when the units are bounded, "take" or "stop" as the answer to each
// unit the worker identified; and "started" or "unrecorded REASON" as the
// answer to each session start the worker sent.
#pragma once

#include <istream>

// Reads the supervisor's lines from `in` on a thread of its own until the end
// of the stream (which counts as "stop").
void ListenToSupervisor(std::istream &in);

// Waits for the supervisor's answer about the unit just identified: true to
// take it. A "take" that came first wins over a "stop" that followed it (the
// unit was the last one granted).
bool SupervisorLetsTake();

// Waits for the supervisor's answer about the start entry just sent: true
// when it is on record; false with the reason when it is not, or when the
// supervisor is gone.
bool SupervisorRecordedStart(std::string &error);
