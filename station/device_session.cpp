#include "station/device_session.h"

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/image_step.h"
#include "app/workflows.h"
#include "catalogue/target.h"
#include "station/device_steps.h"
#include "station/image_choice.h"
#include "station/exitcodes.h"
#include "station/session_start.h"
#include "station/session_view.h"

namespace {

const char *const kRetryAdvice =
    " The device may be left without working firmware: power it off and on, then run zflash "
    "program again.";

// The device holds the image's version, model and hardware identifier.
bool HoldsImage(const DeviceResult &result, const FirmwareVersion &fw)
{
    return result.before && !fw.version.empty() && result.before->version == fw.version &&
           result.before->model == fw.model && result.before->hw == fw.hw;
}

// A failure that is not the device's own doing: its adapter went away, or
// (a station's unit) it powered up again. True, with `code` set, when so.
bool LineEvent(const SessionOptions &device, DeviceResult &result, const Failure &f, int &code)
{
    return AdapterWentDuring(result, f, code) || (device.station && UnitPoweredUpAgain(result, f, code));
}

// --skip-if-current: Current when the device is verified to hold the image;
// Ended when the session ends here (aborted, or the line failed: `code`
// says how).
enum class Currency { Current, NotCurrent, Ended };
Currency VerifiedCurrent(const SessionOptions &device, const CheckedImage &checked, DeviceResult &result, int &code)
{
    const FirmwareVersion &fw = checked.fw;
    if (!HoldsImage(result, fw))
        return Currency::NotCurrent;
    View().Notice("The device holds version " + fw.version + " already: verifying instead of programming.");
    WorkflowResult r = RunImageWorkflow(Workflow::Verify, checked);
    if (Aborted(r, result, code))
        return Currency::Ended;
    if (r.ok) {
        result.current = true;
        return Currency::Current;
    }
    const Failure &f = r.outcome.failure;
    if (f.kind != FailureKind::VerifyMismatch) {
        if (!LineEvent(device, result, f, code))
            code = DeviceFailed(result, f, f.message);
        return Currency::Ended;
    }
    View().Warning("the firmware region does not hold the image of its version: programming it.");
    return Currency::NotCurrent;
}

// A failure that programming again may cure: a lost reply or a verify
// mismatch while writing or verifying (blocks carry no address: a reply that
// came too late makes a block be written twice).
bool Retriable(const Failure &f)
{
    return (f.step == WorkStep::Program || f.step == WorkStep::Verify) &&
           (f.kind == FailureKind::NoAnswer || f.kind == FailureKind::VerifyMismatch);
}

// The flash loader still answers: the firmware region's information gets a
// reply, whatever it says (no worker runs meanwhile).
bool LoaderAnswers()
{
    GetInfo(kFirmwareRegion);
    return LastError() != ErrNoResponse && LastError() != ErrPortNotOpen;
}

int ProgramImage(const SessionOptions &device, const CheckedImage &checked, DeviceResult &result)
{
    const int retries = device.retries;
    const FirmwareVersion &fw = checked.fw;
    Log(ProgrammingLogLine(fw, g_customLoaded));
    WorkflowResult r;
    int code = ExitOk;
    for (result.attempts = 1;; ++result.attempts) {
        r = RunImageWorkflow(Workflow::Program, checked);
        if (r.ok || Aborted(r, result, code))
            return code;
        const Failure &f = r.outcome.failure;
        if (result.attempts > retries || !Retriable(f) || !LoaderAnswers())
            break;
        View().Warning(std::string(FailureKindName(f.kind)) + " while " +
                       (f.step == WorkStep::Program ? "programming" : "verifying") +
                       ": erasing and programming again (attempt " + std::to_string(result.attempts + 1) + " of " +
                       std::to_string(retries + 1) + ").");
    }
    const Failure &f = r.outcome.failure;
    if (LineEvent(device, result, f, code))
        return code;
    std::string text = f.message.empty() ? "programming failed." : f.message;
    if (f.kind == FailureKind::ImageInvalid || f.kind == FailureKind::ImageChanged) {
        // Read and checked before anything was sent.
        text = "cannot program " + fw.path + ": " + (f.detail.empty() ? f.message : f.detail);
        if (text.back() != '.')
            text += '.';
        text += " Nothing was erased.";
    } else if (ExitCodeOf(f.kind) == ExitFailed) {
        text += kRetryAdvice;
    }
    return DeviceFailed(result, f, text);
}

// After a successful capture: the installed firmware, and the image chosen,
// read and judged for the device.
int InstalledAndImage(const SessionOptions &device, const CheckedImage &custom, ImageCache *cache,
                      CheckedImage &checked, DeviceResult &result)
{
    int code = QueryInstalled(result, result.before);
    if (code == ExitOk)
        code = ChooseImage(device, custom, cache, checked, result);
    if (code == ExitOk)
        code = JudgeImage(checked.fw, device.yes, result);
    if (code == ExitOk) {
        result.imageApproved = true;
        result.custom = g_customLoaded;
    }
    return code;
}

}  // namespace

int ProgramCapturedDevice(const SessionOptions &device, const CheckedImage &custom, ImageCache *cache,
                          DeviceResult &result)
{
    CheckedImage checked;
    int code = InstalledAndImage(device, custom, cache, checked, result);
    if (code != ExitOk || !RecordSessionStart(result, code))
        return code;
    const Currency currency =
        device.skipIfCurrent ? VerifiedCurrent(device, checked, result, code) : Currency::NotCurrent;
    if (currency == Currency::Ended)
        return code;
    if (currency == Currency::Current) {
        result.after = result.before;
        return ExitOk;
    }
    code = ProgramImage(device, checked, result);
    if (code == ExitOk) {
        DeviceResult ignored;  // the new firmware; a failure here changes nothing
        QueryInstalled(ignored, result.after);
    }
    return code;
}

namespace {

int ProgramCaptured(const SessionOptions &device, const CheckedImage &custom, DeviceResult &result)
{
    return ProgramCapturedDevice(device, custom, nullptr, result);
}

// verify: the image against the firmware region, nothing written.
int VerifyCaptured(const SessionOptions &device, const CheckedImage &custom, DeviceResult &result)
{
    CheckedImage checked;
    int code = InstalledAndImage(device, custom, nullptr, checked, result);
    if (code != ExitOk || !RecordSessionStart(result, code))
        return code;
    WorkflowResult r = RunImageWorkflow(Workflow::Verify, checked);
    if (Aborted(r, result, code))
        return code;
    if (r.ok) {
        View().Result("Verified:     the device holds " + checked.fw.fileName);
        result.after = result.before;
        return ExitOk;
    }
    if (LineEvent(device, result, r.outcome.failure, code))
        return code;
    return DeviceFailed(result, r.outcome.failure, r.outcome.failure.message);
}

// Loads the custom image, checks the asked version, captures the device and
// runs `captured`; the port is released on every path.
template <class Captured>
int WithCapturedDevice(const SessionOptions &device, DeviceResult &result, Captured captured)
{
    result.port = device.port;
    CheckedImage custom;
    int code = device.image.empty() ? ExitOk : LoadCustomImage(device.image, device.imageSha256, custom, result);
    if (code == ExitOk)
        code = CheckVersionListed(device.version, result);
    if (code == ExitOk)
        code = CaptureDevice(device.port, device.timeout, result);
    if (code != ExitOk)
        return code;
    code = captured(device, custom, result);
    ReleaseSessionDevice();
    return code;
}

}  // namespace

int CaptureSession(const SessionOptions &device, DeviceResult &result)
{
    int code = CaptureDevice(device.port, device.timeout, result);
    if (code != ExitOk)
        return code;
    code = QueryInstalled(result, result.before);
    ReleaseSessionDevice();
    return code;
}

int ProgramSession(const SessionOptions &device, DeviceResult &result)
{
    return WithCapturedDevice(device, result, ProgramCaptured);
}

int VerifySession(const SessionOptions &device, DeviceResult &result)
{
    return WithCapturedDevice(device, result, VerifyCaptured);
}
