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

// Appends one record as one line and flushes it to disk; false with the
// system's reason when it cannot.
bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error);

// Who writes a record now: the time, this tool's version, this station.
RecordContext RecordContextNow(const std::string &adapter);

// The host's name; UTC now as 2026-12-07T13:45:12Z.
std::string StationName();
std::string UtcNow();
