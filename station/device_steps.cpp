#include "station/device_steps.h"

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"
#include "devicelink/ports/ports.h"
#include "targetlib/capture.h"
#include "station/session_runner.h"
#include "station/adapter_session.h"
#include "station/exitcodes.h"
#include "station/port_words.h"
#include "station/session_view.h"

namespace {

void ReportDevice(const DeviceResult &result)
{
    const DeviceEntry &d = *result.device;
    View().Result("Device:       " + ModelHW(d.product, d.hw));
    View().Result("Flash loader: " + std::to_string(d.loaderBaud) + " baud");
    View().Result("Firmware:     " + std::to_string(result.images.size()) + " image(s), newest first");
    for (const FirmwareVersion &fw : result.images)
        View().Result("  " + FirmwareListEntry(fw));
}

// Shows the lines of a port-opening step that failed; a diagnosis of the
// port takes the place of the failure's own line, which guesses. The
// diagnosis, or empty when there is none.
std::string ShowOpeningLines(const std::string &port, const WorkflowResult &r)
{
    const std::vector<std::string> &lines = r.unshownLines;
    std::string reason =
        r.outcome.failure.kind == FailureKind::PortOpenFailed ? PortProblemText(port, DiagnosePort(port)) : std::string();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!reason.empty() && i + 1 == lines.size())
            View().KeepLog(lines[i]);
        else
            View().Log(lines[i]);
    }
    return reason;
}

int CaptureFailed(const std::string &port, double timeout, const WorkflowResult &r, DeviceResult &result)
{
    int code = ExitOk;
    if (Aborted(r, result, code))
        return code;
    Failure failure = r.outcome.failure;
    const std::string diagnosis = ShowOpeningLines(port, r);
    if (r.timedOut) {
        failure.kind = FailureKind::TimedOut;
        return DeviceFailed(result, failure,
                            "no device answered on " + port + " within " + FormatOptionSeconds(timeout) +
                                " s. Check the cable, start zflash, then power the device up.");
    }
    if (r.cancelled) {
        failure.kind = FailureKind::Cancelled;
        return DeviceFailed(result, failure, "cancelled.");
    }
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    if (product && hw)  // identified before it failed
        result.device = EntryOf(*product, *hw, r.outcome.loaderBaud);
    return DeviceFailed(result, failure, diagnosis);
}

}  // namespace

int DeviceFailed(DeviceResult &result, const Failure &failure, const std::string &text)
{
    result.failure = failure;
    std::string line = !text.empty()            ? text
                       : !failure.message.empty() ? failure.message
                       : !failure.detail.empty()  ? failure.detail
                                                  : std::string(FailureKindName(failure.kind)) + ".";
    // The record and the JSON document say what the operator was told.
    result.failure.message = line;
    View().Error(line);
    return ExitCodeOf(failure.kind);
}

bool Aborted(const WorkflowResult &r, DeviceResult &result, int &code)
{
    if (!r.aborted)
        return false;
    code = DeviceFailed(result, r.abort, r.abort.message);
    return true;
}

void ReleaseSessionDevice()
{
    if (!WorkflowStillRunning())
        ReleaseDevice();
}

namespace {

// How long a unit that went silent is listened to for its boot loader.
constexpr long kPowerUpListenMs = 1000;

bool WritesFlash(WorkStep step)
{
    return step == WorkStep::BlankCheck || step == WorkStep::Erase || step == WorkStep::Program;
}

}  // namespace

bool PortAdapterGone(const std::string &port)
{
    return PortLineLost() || DiagnosePort(port).problem == PortDiagnosis::Missing;
}

bool AdapterWentDuring(DeviceResult &result, const Failure &failed, int &code)
{
    if (failed.kind == FailureKind::None || WorkflowStillRunning() || !PortAdapterGone(result.port))
        return false;
    const WorkStep step = failed.step;
    Failure f = failed;
    f.kind = FailureKind::Interrupted;
    std::string text = "the adapter of " + result.port + " was removed ";
    if (WritesFlash(step))
        text += "while the device was being written: it may be left without working firmware. Program it again.";
    else if (step == WorkStep::Verify)
        text += "while the device was being verified: whether it holds the image is not known. Verify or "
                "program it again.";
    else
        text += "before anything was written to the device.";
    code = DeviceFailed(result, f, text);
    return true;
}

bool UnitPoweredUpAgain(DeviceResult &result, const Failure &failed, int &code)
{
    // Gone silent, or answered as only a boot loader does: it knows no flash
    // command ("Unknown command").
    const bool bootLoaderLike = failed.kind == FailureKind::NoAnswer ||
                                (failed.kind == FailureKind::DeviceRefused && failed.deviceError == DevErrUnknownCommand);
    if (WorkflowStillRunning() || !bootLoaderLike ||
        !HeardBootLoader(kPowerUpListenMs))
        return false;
    Failure f = failed;
    f.kind = FailureKind::Reseated;
    const std::string during = WritesFlash(f.step)          ? "while it was being written"
                               : f.step == WorkStep::Verify ? "while it was being verified"
                                                            : "before anything was written to it";
    // A fixture cannot tell a unit pushed back in from another put in its
    // place: both announce. The record says what was seen, and both readings.
    code = DeviceFailed(result, f,
                        "the unit on " + result.port + " powered up again (re-seated, or its power was lost) " +
                            during + ": its next session takes it again. Should another unit have been put in its "
                                     "place, this one may be left without working firmware.");
    return true;
}

int CaptureDevice(const std::string &port, double timeout, DeviceResult &result)
{
    result.port = port;
    WorkflowResult r = RunWorkflow(Workflow::Capture, port, timeout);
    if (!r.ok)
        return CaptureFailed(port, timeout, r, result);
    if (r.cancelled) {
        ReleaseDevice();
        Failure cancelled;
        cancelled.kind = FailureKind::Cancelled;
        cancelled.step = WorkStep::ListFirmware;
        return DeviceFailed(result, cancelled, "cancelled.");
    }
    AdoptCapturedDevice(r, result);
    return ExitOk;
}

void AdoptCapturedDevice(const WorkflowResult &r, DeviceResult &result)
{
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    ValidateCustom();  // the device may have changed, as after every capture
    WarnIfSessionAdapterSlow(r.outcome.loaderBaud);
    if (product && hw) {
        result.device = EntryOf(*product, *hw, r.outcome.loaderBaud);
        result.images = g_fwList;
        ReportDevice(result);
    }
}

NextUnit CaptureNextUnit(const std::string &port, DeviceResult &result, int &code)
{
    result.port = port;
    WorkflowResult r = RunWorkflow(Workflow::NextUnit, port, 0);
    code = ExitOk;
    if (r.ok && !r.cancelled) {
        AdoptCapturedDevice(r, result);
        return NextUnit::Captured;
    }
    const Failure &f = r.aborted ? r.abort : r.outcome.failure;
    const bool waiting = f.step == WorkStep::None || f.step == WorkStep::OpenPort || f.step == WorkStep::WaitDevice;
    if (r.cancelled || (r.aborted && waiting))
        return NextUnit::Stopped;
    if (waiting && !r.aborted)
        return NextUnit::LineFailed;
    // A unit came and failed before it was identified or its loader ran.
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    if (product && hw)
        result.device = EntryOf(*product, *hw, r.outcome.loaderBaud);
    if (!Aborted(r, result, code))
        code = DeviceFailed(result, f, f.message);
    return NextUnit::Failed;
}

int QueryInstalled(DeviceResult &result, std::optional<FirmwareInfo> &installed)
{
    WorkflowResult r = RunWorkflow(Workflow::Query, std::string());
    int code = ExitOk;
    if (Aborted(r, result, code))
        return code;
    if (r.ok)
        installed = r.outcome.installed;
    View().Result(std::string("Installed:    ") + (r.ok ? r.summary : "(query failed)"));
    if (!r.cancelled)
        return ExitOk;
    Failure cancelled;
    cancelled.kind = FailureKind::Cancelled;
    cancelled.step = WorkStep::Query;
    return DeviceFailed(result, cancelled, "cancelled.");
}

DeviceEntry EntryOf(const Product &product, const HWOption &hw, unsigned loaderBaud)
{
    DeviceEntry d;
    d.product = product.name;
    d.hw = hw.hw;
    d.folder = hw.folder;
    d.loaderBaud = loaderBaud;
    return d;
}

unsigned LoaderBaud(const HWOption &hw)
{
    std::string info;
    if (!ReadImageInfo(FlashLoaderPath(hw.folder, hw.flashLoader).c_str(), info))
        return 0;
    return GetImageBaud(info);
}
