// The verify worker: compares the firmware region with an image, block by
// block, without blank check, erase or write. Not a command of the window:
// the command line uses it to check a device, and instead of programming a
// device that already holds the image.
#include "app/appstate.h"
#include "app/image_step.h"
#include "app/workerguard.h"
#include "app/workeroutcome.h"
#include "app/workflows.h"

namespace {

bool Verify(const CheckedImage &checked)
{
    std::shared_ptr<IMG> image = CheckedImageStep(checked);
    if (!image)
        return false;
    ReportStep(WorkStep::Verify, GetImageBytes(image.get()));
    Log("Verifying...");
    if (!VerifyFlash(image.get()))
        return LogLibraryFailure("ERROR: The firmware region does not hold this image.");
    Log("Verification complete: the firmware region holds the image.");
    return true;
}

}  // namespace

unsigned long WORKER_API VerifyThreadProc(void *arg)
{
    std::unique_ptr<CheckedImage> checked(static_cast<CheckedImage *>(arg));
    const bool ok = RunWorkerBody([&] { return checked ? Verify(*checked) : Fail(FailureKind::Internal); });
    checked.reset();
    PostWorkerMessage(WM_APP_VERIFY_DONE, ok ? 1 : 0, 0);
    return 0;
}
