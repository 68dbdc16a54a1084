// The end of a command, on every path: a device session's timings and its
// record (appended to the --log file, sent to a gang's supervisor, kept in
// the JSON document), then the output. An abort ends the same way.
#pragma once

#include <string>

#include "tools/zflash/result.h"

struct RecordSettings {
    std::string logPath;  // --log FILE; empty: no file
    std::string adapter;  // USB serial number of the port's adapter, where known
};
void SetRecordSettings(const RecordSettings &settings);

// A gang's worker: tells its supervisor how far the session has come (a
// record of the session as it stands), so that a worker that dies still
// leaves its evidence. Called on the main thread as each workflow starts.
void ShareSessionSoFar();

// Completes the result and writes everything; returns the exit code.
int FinishCommand(CommandResult &result);
// Ends the process at once, the worker still running: the result in
// progress says how far the device session came and why it stopped.
[[noreturn]] void AbortCommand(FailureKind kind, const std::string &message);
