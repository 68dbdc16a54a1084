// The record of one device session, as the production line keeps it: one
// JSON object per line (JSON Lines) in the --log file, written when the
// session ends, whatever ended it. docs/record.md describes the schema.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "tools/zflash/result.h"

constexpr int kRecordSchema = 1;

// "ok", "current", "failed", "cancelled", "interrupted", "no-device", "bad-input".
const char *RecordResult(const DeviceResult &result, int exitCode);

nlohmann::json MakeRecord(const DeviceResult &result, int exitCode, const RecordContext &context);

// The record a supervisor writes for a worker that ended without sending its
// own: what the worker had reported so far (`sofar`: a record of the session
// as it stood, or null), the steps as the supervisor saw them, and why it
// ended, as an interrupted session.
nlohmann::json LostWorkerRecord(const nlohmann::json &sofar, const std::string &port, const std::string &why,
                                const std::vector<StepTime> &timings, const RecordContext &context);

// The record as the one line it takes in the file (without its line end).
std::string RecordLine(const nlohmann::json &record);

// Appends one record as one line of its own and flushes it to disk; false
// with the reason when it cannot. Only a regular file is written; another
// zflash's lock is waited for a few seconds at most; a write that fails
// part-way is taken back, and a line that an earlier writer left without
// its end is ended first, so that one bad line never costs another record.
bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error);
// Whether records can be appended to `path` (created when missing): before
// any device is touched. False with the reason.
bool CheckRecordFile(const std::string &path, std::string &error);

// Who writes a record now: the time, this tool's version, this station.
RecordContext RecordContextNow(const std::string &adapter);

// The host's name; UTC now as 2026-12-07T13:45:12Z.
std::string StationName();
std::string UtcNow();
