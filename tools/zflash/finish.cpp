#include "tools/zflash/finish.h"

#include <cstdlib>

#include "tools/zflash/adapter_session.h"
#include "tools/zflash/output.h"
#include "tools/zflash/record.h"
#include "tools/zflash/worker.h"
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
    EmitEvent("record", {{"record", record}});
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

void ShareSessionSoFar()
{
    CommandResult *result = ResultInProgress();
    const auto *device = result ? std::get_if<DeviceResult>(&result->body) : nullptr;
    if (device && CurrentOutputMode() == OutputMode::Events)
        EmitEvent("session", {{"record", MakeRecord(*device, ExitFailed, RecordContextNow(settings.adapter))}});
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

void AbortCommand(FailureKind kind, const std::string &message)
{
    PrintError(message);
    CommandResult aborted;
    CommandResult &result = ResultInProgress() ? *ResultInProgress() : aborted;
    result.exitCode = ExitCodeOf(kind);
    if (auto *device = std::get_if<DeviceResult>(&result.body)) {
        device->failure = Failure();
        device->failure.kind = kind;
        device->failure.step = CurrentStep();
        device->failure.message = message;
    }
    std::_Exit(FinishCommand(result));
}
