// A record as its readers count it (the supervisor, the displays): the
// figures read with a guard on every field, so that a record of an
// unexpected shape is read as empty where it is odd, never a crash.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

struct RecordReading {
    std::string event;        // "start" or "end"
    std::string session;
    std::string result;       // "ok", "current", "failed", ...; empty when missing
    std::string failureKind;
    std::string before, after;  // installed versions
    int attempts = 0;
    int exitCode = -1;
    double seconds = 0;       // the session's total
};
RecordReading ReadRecord(const nlohmann::json &record);

// Whether its unit passed at the first attempt: ok with one attempt (or
// none), or current. The first-pass yield counts these.
// A unit came to the port and was dealt with: every result but "cancelled"
// (stopped before anything was written, as asked), "no-device" and
// "reseated" (its next session counts it). The units of the station's
// figures, its exit code, the metrics and the database's views.
bool ResultIsUnit(const std::string &result);
bool FirstPass(const RecordReading &record);

// An end record whose keys have the types the schema gives them (what the
// supervisor may count and write as it came).
bool WellFormedRecord(const nlohmann::json &record);
