// The capture worker: opens the port, captures the device in its boot loader,
// identifies its hardware, starts the matching flash loader at the loader's
// baud rate and lists the firmware images that ship for that hardware. On
// success the port stays open with the flash loader running; on any failure
// the port is closed.
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/appstate.h"
#include "app/support.h"
#include "app/workerguard.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

constexpr int kCaptureStart = 1;
constexpr int kCaptureFailed = 0;
constexpr int kCaptured = 5;
constexpr auto kCapturePause = std::chrono::milliseconds(15);

bool OpenTargetPort(const std::string &portName)
{
    ClosePort();  // a connection left by an earlier capture
    g_portOpen = false;
    Log("Opening " + portName + "...");
    if (!OpenPort(portName.c_str())) {
        Log("ERROR: Could not open " + portName + ". Is another program using it?");
        return false;
    }
    g_portOpen = true;
    Log("Waiting for target. Power up the device now...");
    return true;
}

// Steps the capture until the device is captured, the port fails or the
// operator cancels. There is no overall time limit.
bool WaitForCapture()
{
    int state = kCaptureStart;
    for (;;) {
        if (g_abortCapture) {
            Log("Capture cancelled.");
            return false;
        }
        state = CaptureTargetSM(state);
        if (state == kCaptureFailed) {
            Log("ERROR: Capture failed.");
            return false;
        }
        std::this_thread::sleep_for(kCapturePause);
        if (state == kCaptured)
            return true;
    }
}

// Asks the device for its hardware identifier and finds its table row; the
// result is published in g_prod and g_hw (both null when not found).
bool Identify(const Product *&prod, const HWOption *&hw)
{
    Log("Target captured. Identifying hardware...");
    const std::string hwId = Query("HW");
    if (hwId.empty()) {
        Log("ERROR: Device did not report a HW identifier. It may be running unsupported or "
            "corrupt bootloader firmware.");
        return false;
    }
    FindByHW(hwId, prod, hw);
    g_prod = prod;
    g_hw = hw;
    if (!hw) {
        Log("ERROR: Unrecognized HW identifier '" + hwId +
            "'. This device is not supported by this version of the update tool.");
        return false;
    }
    Log("Detected: " + ModelHW(prod->name, hw->hw));
    return true;
}

bool StartFlashLoader(const HWOption &hw)
{
    const std::string path = FlashLoaderPath(hw.folder, hw.flashLoader);
    const std::unique_ptr<IMG> image(ReadImage(path.c_str()));
    if (!image) {
        Log("ERROR: Flashloader image missing or corrupt: " + path);
        return false;
    }
    const uint32_t baud = GetImageBaud(GetImageInfo(image.get()));
    Log("Starting flashloader (" + std::to_string(baud) + " baud)...");
    if (!RAMExec(image.get(), false, baud)) {
        Log("ERROR: Could not start the flashloader on the device.");
        return false;
    }
    return true;
}

bool ListFirmware(const Product &prod, const HWOption &hw)
{
    const std::string folder = FirmwareFolder(hw.folder);
    try {
        g_fwList = DiscoverFirmware(folder);
    } catch (const std::filesystem::filesystem_error &e) {
        Log("ERROR: Could not read the firmware folder " + folder + ": " + e.code().message());
        return false;
    }
    if (g_fwList.empty()) {
        Log("ERROR: This download does not include firmware for " + ModelHW(prod.name, hw.hw) + ".");
        Log(std::string("    Contact ") + kSupportEmail + " for the correct update package.");
        return false;
    }
    Log("Found " + std::to_string(g_fwList.size()) + " firmware version(s).");
    return true;
}

bool Capture(const std::string &portName)
{
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
    return OpenTargetPort(portName) && WaitForCapture() && Identify(prod, hw) &&
           StartFlashLoader(*hw) && ListFirmware(*prod, *hw);
}

}  // namespace

unsigned long WORKER_API CaptureThreadProc(void *arg)
{
    std::unique_ptr<std::string> portName(static_cast<std::string *>(arg));
    const bool ok = RunWorkerBody([&] { return Capture(portName ? *portName : std::string()); });
    if (!ok) {
        ClosePort();
        g_portOpen = false;
    }
    portName.reset();
    PostWorkerMessage(WM_APP_CAPTURE_DONE, ok ? 1 : 0, 0);
    return 0;
}
