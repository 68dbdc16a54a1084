// Write-ahead evidence: before a session's first flash command (blank
// check, erase, program or verify) its start is on record, on the disk, so
// that a session killed in the middle (a killed process, a power cut) still
// shows as started and never ended. Who keeps the record is the front end's
// business: the --log file itself, or a supervisor for its workers.
#pragma once

#include <string>

#include "station/session.h"

// Puts the session's start (station/record.h: MakeStartEntry) on record;
// false with the reason when it cannot.
using StartRecorder = bool (*)(const DeviceResult &session, std::string &error);
void SetStartRecorder(StartRecorder recorder);

// Gives the session its id and puts its start on record. True when done
// (or nobody keeps records); otherwise the session ends here, nothing
// written, as `record-unwritable` (`code` set).
bool RecordSessionStart(DeviceResult &result, int &code);
