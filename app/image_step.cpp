#include "app/image_step.h"

#include "app/appstate.h"
#include "app/workeroutcome.h"
#include "catalogue/hwcheck.h"

const char *const kImageChangedLine =
    "ERROR: The image file changed after it was checked. Nothing was written.";

namespace {

// The connected device must take the image read now, whatever was judged
// before (a device is always identified before a worker writes to it).
bool FitsConnectedHardware(const std::string &path, const IMG &image)
{
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!prod || !hw)
        return true;
    std::string why;
    if (CheckFirmwareHW(FirmwareOfImage(path, image), *prod, *hw, why) != HWMismatch)
        return true;
    return LogFailure(FailureKind::WrongHardware, "ERROR: " + why + " Nothing was written.", path);
}

}  // namespace

bool LoadCheckedImage(const std::string &path, CheckedImage &checked)
{
    std::shared_ptr<IMG> image(ReadImage(path.c_str()));
    if (!image)
        return false;
    checked.fw = FirmwareOfImage(path, *image);
    checked.image = std::move(image);
    return true;
}

bool SameDigest(const std::string &a, const std::string &b)
{
    return !a.empty() && a == b;
}

ImageReread RereadCheckedImage(const FirmwareVersion &judged, CheckedImage &checked)
{
    if (!LoadCheckedImage(judged.path, checked))
        return ImageReread::Unreadable;
    return SameDigest(checked.fw.sha256, judged.sha256) ? ImageReread::Same : ImageReread::Changed;
}

std::shared_ptr<IMG> CheckedImageStep(const CheckedImage &checked)
{
    ReportStep(WorkStep::ReadImage);
    const std::string &path = checked.fw.path;
    CheckedImage read = checked;
    const ImageReread reread = read.image ? ImageReread::Same : RereadCheckedImage(checked.fw, read);
    if (reread == ImageReread::Unreadable) {
        LogFailure(FailureKind::ImageInvalid, "ERROR: Could not re-read firmware image.", path, LastErrorText());
        return nullptr;
    }
    if (reread == ImageReread::Changed) {
        LogFailure(FailureKind::ImageChanged, kImageChangedLine, path,
                   "SHA-256 " + read.fw.sha256 + " where " + checked.fw.sha256 + " was checked");
        return nullptr;
    }
    if (!FitsConnectedHardware(path, *read.image))
        return nullptr;
    return read.image;
}
