// "zflash capture" and "zflash program": the window's Capture and Program
// commands, driven from the command line.
#include <filesystem>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/fwtext.h"
#include "app/image_step.h"
#include "app/workflows.h"
#include "tools/zflash/device_session.h"
#include "catalogue/target.h"
#include "targetlib/utf8path.h"
#include "tools/zflash/output.h"
#include "tools/zflash/imagestats.h"
#include "tools/zflash/worker.h"

namespace {

const char *const kRetryAdvice =
    " The device may be left without working firmware: power it off and on, then run zflash "
    "program again.";

// A message box's paragraphs as one line of the terminal.
std::string OneLine(const std::string &text)
{
    std::string line;
    for (char c : text) {
        if (c != '\n')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return line;
}

Failure BadInput(FailureKind kind, WorkStep step, const std::string &file)
{
    Failure f;
    f.kind = kind;
    f.step = step;
    f.file = file;
    return f;
}

// The record of a file given by name, before it is known to be an image.
FirmwareVersion NamedFile(const std::string &path)
{
    FirmwareVersion fw;
    fw.path = path;
    fw.fileName = Utf8FromPath(PathOfName(path).filename());
    return fw;
}

// Read once and judged as a dropped file is, before anything touches the
// device; what is programmed later is this read.
int LoadCustomImage(const std::string &path, const std::string &expectedSha256, CheckedImage &custom,
                    DeviceResult &result)
{
    const Failure invalid = BadInput(FailureKind::ImageInvalid, WorkStep::ReadImage, path);
    result.image = NamedFile(path);
    std::error_code ec;
    if (!std::filesystem::exists(PathOfName(path), ec))
        return DeviceFailed(result, invalid, "image file not found: " + path);
    const bool loaded = LoadCheckedImage(path, custom);
    if (loaded)
        result.image = custom.fw;
    const CustomJudgement j = JudgeCustomRead(loaded, custom.fw);
    if (j.verdict == CustomJudgement::NotAnImage)
        return DeviceFailed(result, invalid, "cannot use " + path + ": " + WhyImageUnusable(path));
    if (j.verdict != CustomJudgement::Accepted)
        return DeviceFailed(result, invalid, OneLine(j.text));
    if (!expectedSha256.empty() && custom.fw.sha256 != expectedSha256)  // not what the supervisor checked
        return DeviceFailed(result, BadInput(FailureKind::ImageChanged, WorkStep::ReadImage, path),
                            SentenceOfLine(kImageChangedLine));
    AdoptCustomFirmware(custom.fw);
    return ExitOk;
}

long IndexOfVersion(const std::vector<FirmwareVersion> &list, const std::string &version)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].version == version)
            return long(i);
    for (size_t i = 0; i < list.size(); ++i)
        if (!list[i].version.empty() && CompareVersions(list[i].version, version) == 0)
            return long(i);
    return -1;
}

long ListedIndexOf(const std::string &version)
{
    return IndexOfVersion(g_fwList, version);
}

// Before the device is touched: does any hardware option list this version?
bool AnyOptionListsVersion(const std::string &version)
{
    for (const Product &product : AllProducts())
        for (const HWOption &option : product.options) {
            try {
                if (IndexOfVersion(DiscoverFirmware(FirmwareFolder(option.folder)), version) >= 0)
                    return true;
            } catch (const std::filesystem::filesystem_error &) {
                // An unreadable folder is told when its device is captured.
            }
        }
    return false;
}

int CheckVersionListed(const std::string &version, DeviceResult &result)
{
    if (version.empty() || AnyOptionListsVersion(version))
        return ExitOk;
    result.image = FirmwareVersion();
    result.image->version = version;
    return DeviceFailed(result, BadInput(FailureKind::ImageInvalid, WorkStep::None, version),
                        "no image of version " + version + " is listed for any device under " + AppRootDir() +
                            ".");
}

// The listed image `fw`, read once: the bytes the device gets are those that
// are judged, and the same the listing read.
int ReadListedImage(const FirmwareVersion &fw, CheckedImage &checked, DeviceResult &result)
{
    const ImageReread reread = RereadCheckedImage(fw, checked);
    if (reread == ImageReread::Unreadable)
        return DeviceFailed(result, BadInput(FailureKind::ImageInvalid, WorkStep::ReadImage, fw.path),
                            "cannot use " + fw.path + ": " + WhyImageUnusable(fw.path) + " Nothing was written.");
    if (reread == ImageReread::Changed)
        return DeviceFailed(result, BadInput(FailureKind::ImageChanged, WorkStep::ReadImage, fw.path),
                            SentenceOfLine(kImageChangedLine));
    result.image = checked.fw;
    return ExitOk;
}

// The custom image, the listed image with the asked version, or the newest.
int ChooseImage(const DeviceOptions &device, const CheckedImage &custom, CheckedImage &checked,
                DeviceResult &result)
{
    const long index = device.version.empty() ? 0 : ListedIndexOf(device.version);
    FirmwareVersion chosen;
    if (ChosenImage(index, chosen)) {
        result.image = chosen;
        if (!g_customLoaded)
            return ReadListedImage(chosen, checked, result);
        checked = custom;
        return ExitOk;
    }
    std::string listed;
    for (const FirmwareVersion &fw : g_fwList)
        listed += (listed.empty() ? "" : ", ") + (fw.version.empty() ? fw.fileName : fw.version);
    result.image = FirmwareVersion();
    result.image->version = device.version;
    return DeviceFailed(result, BadInput(FailureKind::ImageInvalid, WorkStep::ListFirmware, device.version),
                        "no listed image has version " + device.version + " (listed: " + listed + ").");
}

// The window's Program command: refuse other hardware, and ask before an
// image that cannot be verified (here: --yes answers).
int JudgeImage(const FirmwareVersion &fw, bool yes, DeviceResult &result)
{
    const ImageApproval a = ApproveImage(fw, *g_prod.load(), *g_hw.load(), g_customLoaded);
    switch (a.verdict) {
    case ImageApproval::Go:
        PrintResult(OneLine(a.text));
        return ExitOk;
    case ImageApproval::Refuse:
        return DeviceFailed(result, BadInput(a.kind, WorkStep::ReadImage, fw.path), OneLine(a.text));
    case ImageApproval::Ask:
        break;
    }
    if (!yes)
        return DeviceFailed(result, BadInput(FailureKind::Unverifiable, WorkStep::ReadImage, fw.path),
                            OneLine(a.reason) + " Run again with --yes to program it anyway.");
    PrintWarning(OneLine(a.reason) + " Programming it anyway (--yes).");
    return ExitOk;
}

// The device holds the image's version, model and hardware identifier.
bool HoldsImage(const DeviceResult &result, const FirmwareVersion &fw)
{
    return result.before && !fw.version.empty() && result.before->version == fw.version &&
           result.before->model == fw.model && result.before->hw == fw.hw;
}

// --skip-if-current: true when the device is verified to hold the image.
bool VerifiedCurrent(const CheckedImage &checked, DeviceResult &result)
{
    const FirmwareVersion &fw = checked.fw;
    if (!HoldsImage(result, fw))
        return false;
    PrintNotice("The device holds version " + fw.version + " already: verifying instead of programming.");
    WorkflowResult r = RunImageWorkflow(Workflow::Verify, checked);
    if (r.ok) {
        result.current = true;
        return true;
    }
    PrintWarning("the firmware region does not hold the image of its version: programming it.");
    return false;
}

int ProgramImage(const CheckedImage &checked, DeviceResult &result)
{
    const FirmwareVersion &fw = checked.fw;
    Log(ProgrammingLogLine(fw, g_customLoaded));
    WorkflowResult r = RunImageWorkflow(Workflow::Program, checked);
    if (r.ok)
        return ExitOk;
    const Failure &f = r.outcome.failure;
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
int InstalledAndImage(const DeviceOptions &device, const CheckedImage &custom, CheckedImage &checked,
                      DeviceResult &result)
{
    int code = QueryInstalled(result, result.before);
    if (code == ExitOk)
        code = ChooseImage(device, custom, checked, result);
    if (code == ExitOk)
        code = JudgeImage(checked.fw, device.yes, result);
    if (code == ExitOk) {
        result.imageApproved = true;
        result.custom = g_customLoaded;
    }
    return code;
}

// Everything after a successful capture; the caller releases the port.
int ProgramCaptured(const DeviceOptions &device, const CheckedImage &custom, DeviceResult &result)
{
    CheckedImage checked;
    int code = InstalledAndImage(device, custom, checked, result);
    if (code != ExitOk)
        return code;
    if (device.skipIfCurrent && VerifiedCurrent(checked, result)) {
        result.after = result.before;
        return ExitOk;
    }
    code = ProgramImage(checked, result);
    if (code == ExitOk) {
        DeviceResult ignored;  // the new firmware; a failure here changes nothing
        QueryInstalled(ignored, result.after);
    }
    return code;
}

// verify: the image against the firmware region, nothing written.
int VerifyCaptured(const DeviceOptions &device, const CheckedImage &custom, DeviceResult &result)
{
    CheckedImage checked;
    const int code = InstalledAndImage(device, custom, checked, result);
    if (code != ExitOk)
        return code;
    WorkflowResult r = RunImageWorkflow(Workflow::Verify, checked);
    if (r.ok) {
        PrintResult("Verified:     the device holds " + checked.fw.fileName);
        result.after = result.before;
        return ExitOk;
    }
    return DeviceFailed(result, r.outcome.failure, r.outcome.failure.message);
}

// Loads the custom image, checks the asked version, captures the device and
// runs `captured`; the port is released on every path.
template <class Captured>
int WithCapturedDevice(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result,
                       Captured captured)
{
    result.port = device.port;
    CheckedImage custom;
    int code = device.image.empty() ? ExitOk : LoadCustomImage(device.image, device.imageSha256, custom, result);
    if (code == ExitOk)
        code = CheckVersionListed(device.version, result);
    if (code == ExitOk)
        code = CaptureDevice(global, device.port, result);
    if (code != ExitOk)
        return code;
    code = captured(device, custom, result);
    ReleaseDevice();
    return code;
}

}  // namespace

int RunCapture(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result)
{
    int code = CaptureDevice(global, device.port, result);
    if (code != ExitOk)
        return code;
    code = QueryInstalled(result, result.before);
    ReleaseDevice();
    return code;
}

int RunProgram(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result)
{
    return WithCapturedDevice(global, device, result, ProgramCaptured);
}

int RunVerify(const GlobalOptions &global, const DeviceOptions &device, DeviceResult &result)
{
    return WithCapturedDevice(global, device, result, VerifyCaptured);
}
