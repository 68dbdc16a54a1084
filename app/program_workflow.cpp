// The program worker: writes one firmware image into the firmware region.
// The image is read and checked before anything is sent, so a file that
// vanished, was damaged or was replaced since it was judged never costs the
// device its firmware; then blank check, erase when needed, program and
// verify.
#include <memory>

#include "app/appstate.h"
#include "app/image_step.h"
#include "app/support.h"
#include "app/workerguard.h"
#include "app/workeroutcome.h"
#include "app/workflows.h"

namespace {

// Brackets the erase with WM_APP_ERASE_BUSY 1 and 0, whatever happens inside.
class EraseBusy {
public:
    EraseBusy() { PostWorkerMessage(WM_APP_ERASE_BUSY, 1, 0); }
    ~EraseBusy() { PostWorkerMessage(WM_APP_ERASE_BUSY, 0, 0); }
    EraseBusy(const EraseBusy &) = delete;
    EraseBusy &operator=(const EraseBusy &) = delete;
};

bool EraseRegion()
{
    ReportStep(WorkStep::Erase);
    Log("Erasing firmware region...");
    bool erased = false;
    {
        const EraseBusy busy;
        erased = EraseFlash(kFirmwareRegion);
    }
    if (!erased) {
        return LogLibraryFailure("ERROR: Erase failed.");
    }
    return true;
}

bool WriteAndVerify(IMG *image)
{
    const uint64_t bytes = GetImageBytes(image);
    ReportStep(WorkStep::Program, bytes);
    Log("Programming...");
    if (!ProgramFlash(image)) {
        return LogLibraryFailure("ERROR: Programming failed.");
    }
    ReportStep(WorkStep::Verify, bytes);
    Log("Verifying...");
    if (!VerifyFlash(image)) {
        return LogLibraryFailure(std::string("ERROR: Verification failed after programming. Contact ") +
                                 kSupportEmail + " with a copy of this log.");
    }
    return true;
}

// An image without a byte to write would only cost the device its firmware.
bool HasDataToWrite(const IMG &image, const std::string &path)
{
    if (GetImageBytes(&image) > 0)
        return true;
    return LogFailure(FailureKind::ImageInvalid,
                      "ERROR: The firmware image holds no data to program. The device was not changed.", path);
}

bool Program(const CheckedImage &checked)
{
    std::shared_ptr<IMG> image = CheckedImageStep(checked);
    if (!image)
        return false;
    if (!HasDataToWrite(*image, checked.fw.path))
        return false;
    ReportStep(WorkStep::BlankCheck);
    Log("Blank-checking firmware region...");
    if (!BlankCheck(kFirmwareRegion) && !EraseRegion())
        return false;
    if (!WriteAndVerify(image.get()))
        return false;
    image.reset();
    Log("Programming complete.");
    return true;
}

}  // namespace

unsigned long WORKER_API ProgramThreadProc(void *arg)
{
    std::unique_ptr<CheckedImage> checked(static_cast<CheckedImage *>(arg));
    const bool ok = RunWorkerBody([&] { return checked ? Program(*checked) : Fail(FailureKind::Internal); });
    checked.reset();
    PostWorkerMessage(WM_APP_PROGRAM_DONE, ok ? 1 : 0, 0);
    return 0;
}
