// The end of a command, on every path: a device session's timings and its
// record (appended to the --log file, sent to a gang's supervisor, kept in
// the JSON document), then the output.
#pragma once

#include <string>

#include "tools/zflash/result.h"

struct RecordSettings {
    std::string logPath;  // --log FILE; empty: no file
    std::string adapter;  // USB serial number of the port's adapter, where known
};
void SetRecordSettings(const RecordSettings &settings);

// Puts each session's start on record before its first flash command: in
// the --log file, or (a worker) through its supervisor.
void RecordSessionStarts();

// A gang's worker: tells its supervisor how far the session has come (a
// record of the session as it stands), so that a worker that dies still
// leaves its evidence. Called on the main thread as each workflow starts.
void ShareSessionSoFar();

// A station's worker: one unit's record, to its supervisor (which writes it).
void ShareUnitRecord(DeviceResult &unit, int exitCode);

// Completes the result and writes everything; returns the exit code. Also
// after an aborted session, whose worker still runs (main then ends the
// process).
int FinishCommand(CommandResult &result);
