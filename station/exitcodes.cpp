// Exit codes: their names and which failure gives which.
#include "station/exitcodes.h"

const char *OutcomeName(int exitCode)
{
    switch (exitCode) {
    case ExitOk: return "success";
    case ExitFailed: return "failed";
    case ExitBadInput: return "bad-input";
    case ExitNoDevice: return "no-device";
    case ExitUnverified: return "unverified-refused";
    case ExitRecordLost: return "record-lost";
    default: return "unknown";
    }
}

int ExitCodeOf(FailureKind kind)
{
    switch (kind) {
    case FailureKind::None:
        return ExitOk;
    case FailureKind::PortOpenFailed:
    case FailureKind::Cancelled:
    case FailureKind::TimedOut:
        return ExitNoDevice;
    case FailureKind::ImageInvalid:
    case FailureKind::ImageChanged:
    case FailureKind::LoaderMissing:
    case FailureKind::NoFirmware:
    case FailureKind::WrongHardware:
        return ExitBadInput;
    case FailureKind::Unverifiable:
        return ExitUnverified;
    case FailureKind::RecordUnwritable:
        return ExitRecordLost;
    case FailureKind::Interrupted:
    case FailureKind::Reseated:
    case FailureKind::NoAnswer:
    case FailureKind::DeviceRefused:
    case FailureKind::VerifyMismatch:
    case FailureKind::UnknownDevice:
    case FailureKind::Internal:
        return ExitFailed;
    }
    return ExitFailed;
}
