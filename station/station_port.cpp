#include "station/station_port.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "devicelink/ports/ports.h"
#include "station/device_steps.h"
#include "station/exitcodes.h"
#include "station/image_choice.h"
#include "station/session_runner.h"
#include "station/session_view.h"
#include "station/stop_policy.h"

namespace {

std::atomic<bool> stopTaking{false};
const std::function<int()> *interruptSource = nullptr;

// Presses, as the session runner asks for them: any press stops the taking.
int TakeStationInterrupts()
{
    const int presses = interruptSource ? (*interruptSource)() : 0;
    if (presses > 0)
        StopTakingUnits();
    return presses;
}

bool PortGone(const std::string &port)
{
    return DiagnosePort(port).problem == PortDiagnosis::Missing;
}

// The adapter was pulled: the port is released and awaited under its name.
// False when the station was stopped meanwhile.
bool AwaitAdapter(const std::string &port)
{
    ClosePort();
    g_portOpen = false;
    View().Notice("the adapter of " + port + " was removed; waiting for it to come back.");
    View().PortPresence(false);
    while (PortGone(port)) {
        TakeStationInterrupts();
        if (StoppedTakingUnits())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    View().Notice("the adapter of " + port + " is back.");
    View().PortPresence(true);
    return true;
}

// A unit whose adapter went away while it was worked on: its record says so.
void AdapterLostDuring(DeviceResult &unit, int &code)
{
    const WorkStep step = unit.failure.step;
    const bool writing = step == WorkStep::Erase || step == WorkStep::Program || step == WorkStep::Verify;
    unit.failure.kind = FailureKind::Interrupted;
    unit.failure.message = "the adapter of " + unit.port + " was unplugged " +
                           (writing ? "while the device was being written: it may be left without working "
                                      "firmware. Program it again."
                                    : "before anything was written to the device.");
    View().Error(unit.failure.message);
    code = ExitCodeOf(FailureKind::Interrupted);
}

// One unit from its capture to its end; its exit code.
int Unit(const SessionOptions &options, const CheckedImage &custom, ImageCache &cache, double deadline,
         DeviceResult &unit)
{
    SetSessionDeadline(deadline);
    int code = ProgramCapturedDevice(options, custom, &cache, unit);
    SetSessionDeadline(0);
    if (code != ExitOk && PortGone(options.port))
        AdapterLostDuring(unit, code);
    return code;
}

}  // namespace

void StopTakingUnits() { stopTaking = true; }

bool StoppedTakingUnits() { return stopTaking; }

int RunStationPort(const SessionOptions &given, double deadline, const StationHooks &hooks)
{
    SessionOptions options = given;
    options.skipIfCurrent = true;
    interruptSource = &hooks.takeInterrupts;
    InitWorkflows(TakeStationInterrupts);
    SetStationMode(StoppedTakingUnits);

    CheckedImage custom;
    ImageCache cache;
    int portCode = ExitOk;
    if (!options.image.empty()) {
        DeviceResult refused;
        const int code = LoadCustomImage(options.image, options.imageSha256, custom, refused);
        if (code != ExitOk)
            return code;
    }
    bool opened = false;
    while (!StoppedTakingUnits()) {
        ForgetStepTimings();
        DeviceResult &unit = hooks.newUnit();
        int code = ExitOk;
        const NextUnit next = CaptureNextUnit(options.port, unit, code);
        if (next == NextUnit::Stopped)
            break;
        if (next == NextUnit::LineFailed) {
            if (!opened && !PortGone(options.port))
                return ExitNoDevice;  // it never opened: nothing to wait for
            if (!AwaitAdapter(options.port))
                break;
            continue;
        }
        opened = true;
        if (next == NextUnit::Captured && hooks.mayTake && !hooks.mayTake()) {
            StopTakingUnits();  // the bound is reached: this unit is another station's to take
            break;
        }
        if (next == NextUnit::Captured)
            code = Unit(options, custom, cache, deadline, unit);
        else if (PortGone(options.port))
            AdapterLostDuring(unit, code);
        unit.timings = StepTimings();
        hooks.unitDone(unit, code);
        if (code != ExitOk)
            portCode = ExitFailed;
        if (WorkflowStillRunning())
            break;  // an aborted unit: its worker still runs in the target library
        if (code != ExitOk && PortGone(options.port) && !AwaitAdapter(options.port))
            break;
    }
    if (!WorkflowStillRunning())
        ReleaseDevice();
    return portCode;
}
