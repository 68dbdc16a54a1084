#include "station/image_choice.h"

#include <filesystem>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "catalogue/imagestats.h"
#include "station/device_steps.h"
#include "station/exitcodes.h"
#include "station/session_view.h"
#include "targetlib/utf8path.h"

namespace {

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

}  // namespace

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
    if (!expectedSha256.empty() && !SameDigest(custom.fw.sha256, expectedSha256))
        return DeviceFailed(result, BadInput(FailureKind::ImageChanged, WorkStep::ReadImage, path),
                            UnexpectedImageText(path, custom.fw.sha256, expectedSha256));
    AdoptCustomFirmware(custom.fw);
    return ExitOk;
}

std::string UnexpectedImageText(const std::string &path, const std::string &sha256, const std::string &expected)
{
    return "the SHA-256 of " + path + " is " + sha256 + ", not " + expected +
           " as expected (--expect-sha256, or the image changed after it was checked). Nothing was written.";
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
int ReadListedImage(const FirmwareVersion &fw, ImageCache *cache, CheckedImage &checked, DeviceResult &result)
{
    if (cache) {
        const auto kept = cache->find(fw.path);
        if (kept != cache->end() && SameDigest(kept->second.fw.sha256, fw.sha256)) {  // read once a shift
            checked = kept->second;
            result.image = checked.fw;
            return ExitOk;
        }
    }
    const ImageReread reread = RereadCheckedImage(fw, checked);
    if (reread == ImageReread::Unreadable)
        return DeviceFailed(result, BadInput(FailureKind::ImageInvalid, WorkStep::ReadImage, fw.path),
                            "cannot use " + fw.path + ": " + WhyImageUnusable(fw.path) + " Nothing was written.");
    if (reread == ImageReread::Changed)
        return DeviceFailed(result, BadInput(FailureKind::ImageChanged, WorkStep::ReadImage, fw.path),
                            SentenceOfLine(kImageChangedLine));
    result.image = checked.fw;
    if (cache)
        (*cache)[fw.path] = checked;
    return ExitOk;
}

// The custom image, the listed image with the asked version, or the newest.
int ChooseImage(const SessionOptions &device, const CheckedImage &custom, ImageCache *cache, CheckedImage &checked,
                DeviceResult &result)
{
    const long index = device.version.empty() ? 0 : ListedIndexOf(device.version);
    FirmwareVersion chosen;
    if (ChosenImage(index, chosen)) {
        result.image = chosen;
        if (!g_customLoaded)
            return ReadListedImage(chosen, cache, checked, result);
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
        View().Result(OneLine(a.text));
        return ExitOk;
    case ImageApproval::Refuse:
        return DeviceFailed(result, BadInput(a.kind, WorkStep::ReadImage, fw.path), OneLine(a.text));
    case ImageApproval::Ask:
        break;
    }
    if (!yes)
        return DeviceFailed(result, BadInput(FailureKind::Unverifiable, WorkStep::ReadImage, fw.path),
                            OneLine(a.reason) + " Run again with --yes to program it anyway.");
    View().Warning(OneLine(a.reason) + " Programming it anyway (--yes).");
    return ExitOk;
}

