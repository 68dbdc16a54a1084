// What a worker process tells its supervisor: one JSON object per line on the
// worker's standard output, {"event": NAME, ...}. This header is the whole
// vocabulary. Steps travel as identifiers (StepName) and figures as numbers;
// whoever displays them chooses the words.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "app/outcome.h"

enum class EventKind {
    Unknown,
    Step,      // step: the step that starts
    Progress,  // step: the step whose blocks are sent; percent; bytes of the step; seconds since it started
    Erase,     // busy: the erase started (true) or ended
    Device,    // product, hw: the device is identified
    Adapter,   // present: the port's USB adapter is back (true) or was pulled
    Session,   // record: the session as it stands, for the supervisor to keep should the worker die
    Start,     // record: the session's start entry, which the supervisor writes before the worker goes on
    Record,    // record: the session's record, which the supervisor writes
    Log,       // text: a line of the operator's log
    Trace,     // text: the target library's trace
    Error,     // text: a problem (the session's failure is in its record)
    Warning,   // text
    Notice,    // text
};

// NOLINTNEXTLINE(bugprone-exception-escape): nlohmann::json moves without throwing; the check takes its assertions for throws
struct Event {
    EventKind kind = EventKind::Unknown;
    WorkStep step = WorkStep::None;
    int percent = 0;
    double bytes = 0, seconds = 0;
    bool busy = false;
    bool present = false;
    std::string product, hw;
    std::string text;
    nlohmann::json record;
};

// The line a worker writes for `event` (without its line end).
std::string EventLine(const Event &event);
// A line read from a worker; kind Unknown when it is no event.
Event ParseEvent(const std::string &line);

// Shorthands for the events that carry one value.
Event TextEvent(EventKind kind, const std::string &text);
Event RecordEvent(EventKind kind, const nlohmann::json &record);
