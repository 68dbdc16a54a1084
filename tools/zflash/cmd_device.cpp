// "zflash capture" and "zflash program": the window's Capture and Program
// commands, driven from the command line.
#include <fstream>

#include "app/appstate.h"
#include "app/fwtext.h"
#include "app/support.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"
#include "tools/zflash/device_session.h"
#include "tools/zflash/imagestats.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/worker.h"
#include "tools/zflash/workflow_steps.h"

namespace {

const char *const kCustomUnverifiable =
    "This custom firmware image carries no Model/HW identifier and cannot be verified. It will "
    "not be programmed.";
const char *const kRetryAdvice =
    " The device may be left without working firmware: power it off and on, then run zflash "
    "program again.";

// Judged as a dropped file is, before anything touches the device.
int LoadCustomImage(const std::string &path)
{
    if (!std::ifstream(path, std::ios::binary)) {
        PrintError("image file not found: " + path);
        return ExitBadInput;
    }
    LoadCustomFirmware(path);
    if (!g_customLoaded) {
        PrintError(LastMessageBoxText());
        return ExitBadInput;
    }
    return ExitOk;
}

const FirmwareVersion *FindListedVersion(const std::string &version)
{
    for (const FirmwareVersion &fw : g_fwList)
        if (fw.version == version)
            return &fw;
    for (const FirmwareVersion &fw : g_fwList)
        if (!fw.version.empty() && CompareVersions(fw.version, version) == 0)
            return &fw;
    return nullptr;
}

// The custom image, the listed image with the asked version, or the newest.
int ChooseImage(const DeviceOptions &device, FirmwareVersion &chosen)
{
    if (g_customLoaded) {
        chosen = g_customFw;
        return ExitOk;
    }
    if (device.version.empty()) {
        chosen = g_fwList.front();  // a capture lists one image or more
        return ExitOk;
    }
    if (const FirmwareVersion *fw = FindListedVersion(device.version)) {
        chosen = *fw;
        return ExitOk;
    }
    std::string listed;
    for (const FirmwareVersion &fw : g_fwList)
        listed += (listed.empty() ? "" : ", ") + (fw.version.empty() ? fw.fileName : fw.version);
    PrintError("no listed image has version " + device.version + " (listed: " + listed + ").");
    return ExitBadInput;
}

// The window's Program command: refuse other hardware, and ask before an
// image that cannot be verified (here: --yes answers).
int JudgeImage(const FirmwareVersion &fw, bool yes)
{
    std::string message;
    int verdict = CheckFirmwareHW(fw, *g_prod.load(), *g_hw.load(), message);
    if (verdict == HWMismatch) {
        PrintError(message);
        return ExitBadInput;
    }
    if (verdict == HWUnknown) {
        if (g_customLoaded) {
            PrintError(kCustomUnverifiable);
            return ExitBadInput;
        }
        if (!yes) {
            PrintError(message + " Run again with --yes to program it anyway.");
            return ExitUnverified;
        }
        PrintWarning(message + " Programming it anyway (--yes).");
        return ExitOk;
    }
    PrintResult(message);
    return ExitOk;
}

int ProgramImage(const FirmwareVersion &fw)
{
    Report()["programmed"] = ImageJson(fw);
    Report()["programmed"]["custom"] = g_customLoaded;
    // The image's size feeds the progress line; a file that has gone or been
    // damaged since it was judged is refused here, with its reason, before
    // the device is touched (the workflow would refuse it too, more tersely).
    ImageStats stats;
    std::string reason;
    if (!ReadImageStats(fw.path, stats, &reason)) {
        if (!reason.empty() && reason.back() != '.')
            reason += '.';
        PrintError("cannot program " + fw.path + ": " + reason + " Nothing was erased.");
        return ExitBadInput;
    }
    ProgressSetTotalBytes(PhaseProgram, static_cast<double>(stats.totalBytes));
    ProgressSetTotalBytes(PhaseVerify, static_cast<double>(stats.totalBytes));

    Log(ProgrammingLogLine(fw, g_customLoaded));
    WorkflowResult r = RunWorkflow(Workflow::Program, fw.path);
    if (r.ok)
        return ExitOk;
    int code = ExitCodeOfFailure(r.failureLine);
    std::string text = r.failureLine.empty() ? "programming failed." : WithoutErrorPrefix(r.failureLine);
    if (code == ExitFailed)
        text += kRetryAdvice;
    PrintError(text);
    return code;
}

// Everything after a successful capture; the caller releases the port.
int ProgramCaptured(const DeviceOptions &device)
{
    int code = QueryInstalled("before");
    FirmwareVersion fw;
    if (code == ExitOk)
        code = ChooseImage(device, fw);
    if (code == ExitOk)
        code = JudgeImage(fw, device.yes);
    if (code == ExitOk)
        code = ProgramImage(fw);
    if (code == ExitOk)
        QueryInstalled("after");  // the new firmware; a failure here changes nothing
    return code;
}

}  // namespace

int RunCapture(const GlobalOptions &global, const DeviceOptions &device)
{
    int code = CaptureDevice(global, device.port);
    if (code != ExitOk)
        return code;
    code = QueryInstalled("before");
    ReleasePort();
    return code;
}

int RunProgram(const GlobalOptions &global, const DeviceOptions &device)
{
    if (!device.image.empty()) {
        int code = LoadCustomImage(device.image);
        if (code != ExitOk)
            return code;
    }
    int code = CaptureDevice(global, device.port);
    if (code != ExitOk)
        return code;
    code = ProgramCaptured(device);
    ReleasePort();
    return code;
}
