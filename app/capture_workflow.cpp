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
#include "app/workeroutcome.h"
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
    ReportStep(WorkStep::OpenPort);
    Log("Opening " + portName + "...");
    if (!OpenPort(portName.c_str())) {
        return LogFailure(FailureKind::PortOpenFailed,
                          "ERROR: Could not open " + portName + ". Is another program using it?",
                          portName, LastErrorText());
    }
    g_portOpen = true;
    ReportStep(WorkStep::WaitDevice);
    Log("Waiting for target. Power up the device now...");
    return true;
}

// Steps the capture until the device is captured, the port fails or the
// operator cancels. There is no overall time limit.
bool WaitForCapture(const std::string &portName)
{
    int state = kCaptureStart;
    for (;;) {
        if (g_abortCapture) {
            // Nobody cancelled a wait that ran out of time: the front end
            // that set the time says so in its own words.
            if (g_captureTimedOut)
                return Fail(FailureKind::TimedOut, portName);
            return LogFailure(FailureKind::Cancelled, "Capture cancelled.", portName);
        }
        if (PortLineLost()) {
            // An adapter pulled out while we wait: no device can come on it.
            return LogFailure(FailureKind::PortOpenFailed,
                              "ERROR: " + portName + " is gone: its USB adapter was removed.", portName,
                              "the adapter was removed");
        }
        state = CaptureTargetSM(state);
        if (state == kCaptureFailed) {
            return LogLibraryFailure("ERROR: Capture failed.", portName);
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
    ReportStep(WorkStep::Identify);
    Log("Target captured. Identifying hardware...");
    const std::string hwId = Query("HW");
    if (hwId.empty()) {
        return LogLibraryFailure("ERROR: Device did not report a HW identifier. It may be running "
                                 "unsupported or corrupt bootloader firmware.");
    }
    FindByHW(hwId, prod, hw);
    g_prod = prod;
    g_hw = hw;
    if (!hw) {
        return LogFailure(FailureKind::UnknownDevice,
                          "ERROR: Unrecognized HW identifier '" + hwId +
                              "'. This device is not supported by this version of the update tool.",
                          std::string(), hwId);
    }
    Log("Detected: " + ModelHW(prod->name, hw->hw));
    return true;
}

bool StartFlashLoader(const HWOption &hw)
{
    const std::string path = FlashLoaderPath(hw.folder, hw.flashLoader);
    const std::unique_ptr<IMG> image(ReadImage(path.c_str()));
    if (!image) {
        ReportStep(WorkStep::StartLoader);
        return LogFailure(FailureKind::LoaderMissing, "ERROR: Flashloader image missing or corrupt: " + path,
                          path, LastErrorText());
    }
    const uint32_t baud = GetImageBaud(GetImageInfo(image.get()));
    g_outcome.loaderBaud = baud;
    ReportStep(WorkStep::StartLoader, GetImageBytes(image.get()));
    Log("Starting flashloader (" + std::to_string(baud) + " baud)...");
    if (!RAMExec(image.get(), false, baud)) {
        return LogLibraryFailure("ERROR: Could not start the flashloader on the device.");
    }
    return true;
}

bool ListFirmware(const Product &prod, const HWOption &hw)
{
    ReportStep(WorkStep::ListFirmware);
    const std::string folder = FirmwareFolder(hw.folder);
    try {
        g_fwList = DiscoverFirmware(folder);
    } catch (const std::filesystem::filesystem_error &e) {
        return LogFailure(FailureKind::NoFirmware,
                          "ERROR: Could not read the firmware folder " + folder + ": " + e.code().message(),
                          folder, e.code().message());
    }
    if (g_fwList.empty()) {
        LogFailure(FailureKind::NoFirmware,
                   "ERROR: This download does not include firmware for " + ModelHW(prod.name, hw.hw) + ".",
                   folder);
        Log(std::string("    Contact ") + kSupportEmail + " for the correct update package.");
        return false;
    }
    Log("Found " + std::to_string(g_fwList.size()) + " firmware version(s).");
    return true;
}

// Capture, identification, flash loader and list on the open port.
bool CaptureOnPort(const std::string &portName)
{
    const Product *prod = nullptr;
    const HWOption *hw = nullptr;
    return WaitForCapture(portName) && Identify(prod, hw) && StartFlashLoader(*hw) && ListFirmware(*prod, *hw);
}

bool Capture(const std::string &portName)
{
    return OpenTargetPort(portName) && CaptureOnPort(portName);
}

// The port left open after the last unit, back at the boot loader's rate
// (or opened, for the first unit).
bool ListenForNextUnit(const std::string &portName)
{
    if (!g_portOpen)
        return OpenTargetPort(portName);
    ReportStep(WorkStep::WaitDevice);
    if (!ListenForBootLoader())
        return LogLibraryFailure("ERROR: Could not open " + portName + ".", portName);
    Log("Waiting for target. Power up the device now...");
    return true;
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

unsigned long WORKER_API NextUnitThreadProc(void *arg)
{
    std::unique_ptr<std::string> portName(static_cast<std::string *>(arg));
    const std::string port = portName ? *portName : std::string();
    const bool ok = RunWorkerBody([&] { return ListenForNextUnit(port) && CaptureOnPort(port); });
    portName.reset();
    PostWorkerMessage(WM_APP_CAPTURE_DONE, ok ? 1 : 0, 0);
    return 0;
}
