#include "tools/zflash/device_session.h"

#include <cstdio>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"
#include "tools/zflash/adapter_session.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress_format.h"
#include "tools/zflash/ports.h"
#include "tools/zflash/worker.h"

namespace {

void ReportDevice(const DeviceResult &result)
{
    const DeviceEntry &d = *result.device;
    PrintResult("Device:       " + ModelHW(d.product, d.hw));
    PrintResult("Flash loader: " + std::to_string(d.loaderBaud) + " baud");
    PrintResult("Firmware:     " + std::to_string(result.images.size()) + " image(s), newest first");
    for (const FirmwareVersion &fw : result.images)
        PrintResult("  " + FirmwareListEntry(fw));
}

// Shows the lines of a port-opening step that failed; a diagnosis of the
// port takes the place of the failure's own line, which guesses. The
// diagnosis, or empty when there is none.
std::string ShowOpeningLines(const std::string &port, const WorkflowResult &r)
{
    const std::vector<std::string> &lines = r.unshownLines;
    std::string reason =
        r.outcome.failure.kind == FailureKind::PortOpenFailed ? DiagnosePort(port) : std::string();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!reason.empty() && i + 1 == lines.size())
            KeepLog(lines[i]);
        else
            PrintLog(lines[i]);
    }
    return reason;
}

int CaptureFailed(const GlobalOptions &global, const std::string &port, const WorkflowResult &r,
                  DeviceResult &result)
{
    Failure failure = r.outcome.failure;
    const std::string diagnosis = ShowOpeningLines(port, r);
    if (r.timedOut) {
        failure.kind = FailureKind::TimedOut;
        return DeviceFailed(result, failure,
                            "no device answered on " + port + " within " + FormatOptionSeconds(global.timeout) +
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
    PrintError(line);
    return ExitCodeOf(failure.kind);
}

int CaptureDevice(const GlobalOptions &global, const std::string &port, DeviceResult &result)
{
    result.port = port;
    WorkflowResult r = RunWorkflow(Workflow::Capture, port, global.timeout);
    if (!r.ok)
        return CaptureFailed(global, port, r, result);
    if (r.cancelled) {
        ReleaseDevice();
        Failure cancelled;
        cancelled.kind = FailureKind::Cancelled;
        cancelled.step = WorkStep::ListFirmware;
        return DeviceFailed(result, cancelled, "cancelled.");
    }
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    ValidateCustom();  // the device may have changed, as after every capture
    WarnIfSessionAdapterSlow(r.outcome.loaderBaud);
    if (product && hw) {
        result.device = EntryOf(*product, *hw, r.outcome.loaderBaud);
        result.images = g_fwList;
        ReportDevice(result);
    }
    return ExitOk;
}

int QueryInstalled(DeviceResult &result, std::optional<FirmwareInfo> &installed)
{
    WorkflowResult r = RunWorkflow(Workflow::Query, std::string());
    if (r.ok)
        installed = r.outcome.installed;
    PrintResult(std::string("Installed:    ") + (r.ok ? r.summary : "(query failed)"));
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
