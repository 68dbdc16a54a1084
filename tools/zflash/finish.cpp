#include "tools/zflash/finish.h"

#include "station/adapter_session.h"
#include "station/events.h"
#include "station/record.h"
#include "station/record_file.h"
#include "station/session_runner.h"
#include "station/session_start.h"
#include "station/supervisor_link.h"
#include "tools/zflash/output.h"
#include "tools/zflash/zflash.h"

namespace {

RecordSettings settings;

void FinishDeviceSession(CommandResult &result, DeviceResult &device)
{
    device.timings = StepTimings();
    const RecordContext context = RecordContextNow(settings.adapter);
    result.recordContext = context;
    result.recordExitCode = result.exitCode;
    const nlohmann::json record = MakeRecord(device, result.exitCode, context);
    EmitEvent(RecordEvent(EventKind::Record, record));
    std::string error;
    if (settings.logPath.empty() || AppendRecord(settings.logPath, record, error))
        return;
    // A line keeps the record as its evidence: a session without one must
    // not pass for a good one.
    PrintError("the record of this session could not be added to " + settings.logPath + ": " + error + ".");
    if (result.exitCode == ExitOk)
        result.exitCode = ExitRecordLost;
}

}  // namespace

namespace {

bool RecordStart(const DeviceResult &session, std::string &error)
{
    const nlohmann::json start = MakeStartEntry(session, RecordContextNow(settings.adapter));
    if (CurrentOutputMode() == OutputMode::Events) {
        EmitEvent(RecordEvent(EventKind::Start, start));
        return SupervisorRecordedStart(error);
    }
    return settings.logPath.empty() || AppendRecord(settings.logPath, start, error);
}

}  // namespace

void RecordSessionStarts()
{
    SetStartRecorder(RecordStart);
}

void ShareSessionSoFar()
{
    CommandResult *result = ResultInProgress();
    const auto *device = result ? std::get_if<DeviceResult>(&result->body) : nullptr;
    if (device && CurrentOutputMode() == OutputMode::Events)
        EmitEvent(RecordEvent(EventKind::Session, MakeRecord(*device, ExitFailed, RecordContextNow(settings.adapter))));
}

void ShareUnitRecord(DeviceResult &unit, int exitCode)
{
    EmitEvent(RecordEvent(EventKind::Record, MakeRecord(unit, exitCode, RecordContextNow(settings.adapter))));
}

void SetRecordSettings(const RecordSettings &newSettings)
{
    settings = newSettings;
}

int FinishCommand(CommandResult &result)
{
    RestoreSessionAdapter();
    if (auto *device = std::get_if<DeviceResult>(&result.body))
        FinishDeviceSession(result, *device);
    return FinishOutput(result);
}
