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

bool Verify(const std::string &path)
{
    std::unique_ptr<IMG> image = ReadImageStep(path);
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
    std::unique_ptr<std::string> path(static_cast<std::string *>(arg));
    const bool ok = RunWorkerBody([&] { return Verify(path ? *path : std::string()); });
    path.reset();
    PostWorkerMessage(WM_APP_VERIFY_DONE, ok ? 1 : 0, 0);
    return 0;
}
