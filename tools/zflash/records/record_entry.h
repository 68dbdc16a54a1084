// One line of a records file as the database takes it: a session's record
// (its end) or its start entry, the key of its session, or why the line is
// no record. docs/record.md describes the lines.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

struct RecordEntry {
    std::string problem;   // empty: a record or a start entry; else why the line is skipped
    std::string session;   // the key of its row: the session's id, or for a record
                           // without one (schema 1 and 2) the SHA-256 of the line
    bool start = false;    // a session's start entry
    nlohmann::json entry;  // the line's object; a NUL in its texts is U+FFFD (the database takes no NUL)
};

// The entry of one line (without its line end; a CR before it is dropped).
RecordEntry ReadRecordEntry(const std::string &line);
