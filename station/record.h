// The record of one device session, as the production line keeps it: one
// JSON object per line (JSON Lines) in the --log file, written when the
// session ends, whatever ended it. docs/record.md describes the schema.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "station/session.h"

constexpr int kRecordSchema = 2;

// Who wrote a device session's record, and when.
struct RecordContext {
    std::string time;         // UTC, ISO 8601, when the session ended
    std::string toolVersion;
    std::string station;      // host name
    std::string adapter;      // USB serial number of the port's adapter, where known
};

// "ok", "current", "failed", "cancelled", "interrupted", "no-device", "bad-input".
const char *RecordResult(const DeviceResult &result, int exitCode);

nlohmann::json MakeRecord(const DeviceResult &result, int exitCode, const RecordContext &context);

// How far a session that ended early had got with the device, from the
// steps it began (in order): whether the firmware region was being written
// (erase, program, verify) when it ended, had been written before, or never.
enum class DeviceWork { NotCaptured, NothingWritten, BeingWritten, Written };
DeviceWork DeviceWorkOf(const std::vector<StepTime> &steps);
// `why` the session ended early, and what that means for the device, as the
// record's sentence; `redo`: how to give a device that may be left without
// working firmware its firmware back ("Run zflash program again to restore it.").
std::string EarlyEndSentence(const std::string &why, const std::vector<StepTime> &steps, const std::string &redo);

// The record a supervisor writes for a worker that ended without sending its
// own: what the worker had reported so far (`sofar`: a record of the session
// as it stood, or null), the steps as the supervisor saw them, and why it
// ended, as an interrupted session.
nlohmann::json LostWorkerRecord(const nlohmann::json &sofar, const std::string &port, const std::string &why,
                                const std::vector<StepTime> &timings, const RecordContext &context);

// The record as the one line it takes in the file (without its line end).
std::string RecordLine(const nlohmann::json &record);


// Who writes a record now: the time, this tool's version, this station.
RecordContext RecordContextNow(const std::string &adapter);

// UTC now as 2026-12-07T13:45:12Z.
std::string UtcNow();
