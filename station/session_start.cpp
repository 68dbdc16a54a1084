#include "station/session_start.h"

#include "station/record.h"

#include "station/device_steps.h"

namespace {

StartRecorder recorder = nullptr;

}  // namespace

void SetStartRecorder(StartRecorder newRecorder)
{
    recorder = newRecorder;
}

bool RecordSessionStart(DeviceResult &result, int &code)
{
    if (result.session.empty())
        result.session = NewSessionId();
    std::string error;
    if (!recorder || recorder(result, error))
        return true;
    Failure f;
    f.kind = FailureKind::RecordUnwritable;
    f.step = WorkStep::ReadImage;
    f.detail = error;
    code = DeviceFailed(result, f,
                        "the start of this session could not be put on record (" + error +
                            "): nothing was written to the device.");
    return false;
}
