// The record of one device session, as the production line keeps it: one
// JSON object per line (JSON Lines) in the --log file. A session that
// reaches the device's flash is put on record first (its start, before the
// first flash command); every session's end is written when it ends,
// whatever ended it; both carry the session's id. docs/record.md describes
// the schema.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

#include "station/session.h"

constexpr int kRecordSchema = 3;

// Who works at this station, and for what: the same in every record this
// process writes.
struct RecordIdentity {
    std::string station;    // the station's name; empty: the host's name
    std::string operatorName;
    std::string workOrder;
};
void SetRecordIdentity(const RecordIdentity &identity);

// Who wrote a device session's record, and when.
struct RecordContext {
    std::string time;         // UTC, ISO 8601, when the entry was written
    std::string toolVersion;
    std::string station;      // the station's name (--station, else the host's)
    std::string adapter;      // USB serial number of the port's adapter, where known
    std::string operatorName; // --operator
    std::string workOrder;    // --work-order
};

// A fresh session id: 32 lower-case hex digits (128 random bits).
std::string NewSessionId();

// "ok", "current", "failed", "cancelled", "interrupted", "no-device", "bad-input".
const char *RecordResult(const DeviceResult &result, int exitCode);

// The end of a session (event "end"), its final record.
nlohmann::json MakeRecord(const DeviceResult &result, int exitCode, const RecordContext &context);
// The start of a session (event "start"): the device, its firmware and the
// image about to be written, before the first flash command.
nlohmann::json MakeStartEntry(const DeviceResult &result, const RecordContext &context);

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

// The entry's reading that readers of every schema share: "start" or
// "end" (schema 1 and 2 lines carry no event: they are ends).
std::string EntryEvent(const nlohmann::json &entry);

// The record as the one line it takes in the file (without its line end).
std::string RecordLine(const nlohmann::json &record);


// Who writes a record now: the time, this tool's version, this station.
RecordContext RecordContextNow(const std::string &adapter);

// UTC now as 2026-12-07T13:45:12Z.
std::string UtcNow();
