// The outcome of the running worker and the step hook.
#include "app/outcome.h"

#include <atomic>

#include "app/appstate.h"
#include "app/workeroutcome.h"
#include "catalogue/firmware.h"
#include "targetlib/capture.h"

WorkerOutcome g_outcome;

namespace {

std::atomic<StepHook> stepHook{nullptr};
// The step the running worker is in; only that worker touches it.
WorkStep currentStep = WorkStep::None;

FailureKind KindOfLibraryError(int error, WorkStep step, int deviceError)
{
    switch (error) {
    case ErrNoResponse:
    case ErrPortNotOpen:
    case ErrClose:
        return FailureKind::NoAnswer;
    case ErrImage:
        return FailureKind::ImageInvalid;
    case ErrTarget:
        // Failed RAM execution counts as a device error whether or not the
        // device sent one: without its code, the device did not answer.
        if (deviceError < 0)
            return FailureKind::NoAnswer;
        break;
    default:
        break;
    }
    // "Flash verify error" while verifying: the flash does not hold the image.
    if (step == WorkStep::Verify && deviceError == DevErrVerify)
        return FailureKind::VerifyMismatch;
    return FailureKind::DeviceRefused;
}

}  // namespace

FirmwareInfo ParseFirmwareInfo(const std::string &info)
{
    FirmwareInfo out;
    out.version = GetInfoToken(info, "VN:");
    out.model = GetInfoToken(info, "MD:");
    out.hw = GetInfoToken(info, "HW:");
    out.built = GetInfoToken(info, "TS:");
    return out;
}

bool IsEmpty(const FirmwareInfo &info)
{
    return info.version.empty() && info.model.empty() && info.hw.empty() && info.built.empty();
}

void SetStepHook(StepHook hook)
{
    stepHook = hook;
}

void ReportStep(WorkStep step, uint64_t bytes)
{
    currentStep = step;
    if (StepHook hook = stepHook.load())
        hook(step, bytes);
}

void BeginOutcome()
{
    g_outcome = WorkerOutcome();
    currentStep = WorkStep::None;
}

std::string SentenceOfLine(const std::string &line)
{
    const std::string prefix = "ERROR: ";
    size_t at = line.find_first_not_of(' ');
    if (at == std::string::npos)
        return std::string();
    if (line.compare(at, prefix.size(), prefix) == 0)
        at += prefix.size();
    return line.substr(at);
}

namespace {

// Keeps the failure unless one is kept already; true when this one was.
bool Record(FailureKind kind, const std::string &file, const std::string &detail)
{
    Failure &f = g_outcome.failure;
    if (f.kind != FailureKind::None)
        return false;
    f.kind = kind;
    f.step = currentStep;
    f.file = file;
    f.detail = detail;
    return true;
}

}  // namespace

bool Fail(FailureKind kind, const std::string &file, const std::string &detail)
{
    Record(kind, file, detail);
    return false;
}

bool LogFailure(FailureKind kind, const std::string &line, const std::string &file,
                const std::string &detail)
{
    if (Record(kind, file, detail))
        g_outcome.failure.message = SentenceOfLine(line);
    Log(line);
    return false;
}

bool LogLibraryFailure(const std::string &line, const std::string &file)
{
    const int deviceError = LastDeviceError();
    if (Record(KindOfLibraryError(LastError(), currentStep, deviceError), file, LastErrorText())) {
        g_outcome.failure.message = SentenceOfLine(line);
        g_outcome.failure.block = LastErrorBlock();
        g_outcome.failure.deviceError = deviceError;
    }
    Log(line);
    return false;
}

void FinishOutcome(bool ok)
{
    if (!ok && g_outcome.failure.kind == FailureKind::None)
        Fail(FailureKind::Internal);
    if (ok) {
        g_outcome.failure = Failure();
        ReportStep(WorkStep::Done);
    }
    g_outcome.ok = ok;
}

const char *StepName(WorkStep step)
{
    switch (step) {
    case WorkStep::None: return "none";
    case WorkStep::OpenPort: return "open";
    case WorkStep::WaitDevice: return "wait";
    case WorkStep::Identify: return "identify";
    case WorkStep::StartLoader: return "loader";
    case WorkStep::ListFirmware: return "list";
    case WorkStep::Query: return "query";
    case WorkStep::ReadImage: return "readImage";
    case WorkStep::BlankCheck: return "blankCheck";
    case WorkStep::Erase: return "erase";
    case WorkStep::Program: return "program";
    case WorkStep::Verify: return "verify";
    case WorkStep::Done: return "done";
    }
    return "none";
}

WorkStep StepOfName(const std::string &name)
{
    for (int s = int(WorkStep::None); s <= int(WorkStep::Done); ++s)
        if (name == StepName(WorkStep(s)))
            return WorkStep(s);
    return WorkStep::None;
}

const char *FailureKindName(FailureKind kind)
{
    switch (kind) {
    case FailureKind::None: return "none";
    case FailureKind::PortOpenFailed: return "port-open-failed";
    case FailureKind::Cancelled: return "cancelled";
    case FailureKind::TimedOut: return "timed-out";
    case FailureKind::Interrupted: return "interrupted";
    case FailureKind::NoAnswer: return "no-answer";
    case FailureKind::DeviceRefused: return "device-refused";
    case FailureKind::VerifyMismatch: return "verify-mismatch";
    case FailureKind::ImageInvalid: return "image-invalid";
    case FailureKind::ImageChanged: return "image-changed";
    case FailureKind::LoaderMissing: return "loader-missing";
    case FailureKind::NoFirmware: return "no-firmware";
    case FailureKind::UnknownDevice: return "unknown-device";
    case FailureKind::WrongHardware: return "wrong-hardware";
    case FailureKind::Unverifiable: return "unverifiable";
    case FailureKind::Reseated: return "reseated";
    case FailureKind::RecordUnwritable: return "record-unwritable";
    case FailureKind::Internal: return "internal";
    }
    return "none";
}
