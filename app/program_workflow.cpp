// The program worker: writes one firmware image into the firmware region.
// The image file is read and checked before anything is sent, so a file that
// vanished or was damaged since it was listed never costs the device its
// firmware; then blank check, erase when needed, program and verify.
#include <memory>

#include "app/appstate.h"
#include "app/support.h"
#include "app/workerguard.h"
#include "app/workflows.h"

namespace {

constexpr unsigned kFirmwareRegion = 2;

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
    Log("Erasing firmware region...");
    bool erased = false;
    {
        const EraseBusy busy;
        erased = EraseFlash(kFirmwareRegion);
    }
    if (!erased)
        Log("ERROR: Erase failed.");
    return erased;
}

bool WriteAndVerify(IMG *image)
{
    Log("Programming...");
    if (!ProgramFlash(image)) {
        Log("ERROR: Programming failed.");
        return false;
    }
    Log("Verifying...");
    if (!VerifyFlash(image)) {
        Log(std::string("ERROR: Verification failed after programming. Contact ") + kSupportEmail +
            " with a copy of this log.");
        return false;
    }
    return true;
}

// An image without a byte to write would only cost the device its firmware.
bool HasDataToWrite(const IMG &image)
{
    for (const BLK &b : image.blocks)
        if (b.length != 0)
            return true;
    Log("ERROR: The firmware image holds no data to program. The device was not changed.");
    return false;
}

bool Program(const std::string &path)
{
    std::unique_ptr<IMG> image(ReadImage(path.c_str()));
    if (!image) {
        Log("ERROR: Could not re-read firmware image.");
        return false;
    }
    if (!HasDataToWrite(*image))
        return false;
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
    std::unique_ptr<std::string> path(static_cast<std::string *>(arg));
    const bool ok = RunWorkerBody([&] { return Program(path ? *path : std::string()); });
    path.reset();
    PostWorkerMessage(WM_APP_PROGRAM_DONE, ok ? 1 : 0, 0);
    return 0;
}
