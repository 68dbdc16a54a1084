#include "station/station_port.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "devicelink/ports/ports.h"
#include "station/adapter_session.h"
#include "station/device_steps.h"
#include "station/exitcodes.h"
#include "station/image_choice.h"
#include "station/port_words.h"
#include "station/record.h"
#include "station/record_reading.h"
#include "station/session_runner.h"
#include "station/session_view.h"
#include "station/stop_policy.h"

namespace {

// How often a port whose adapter is gone looks for it again.
constexpr auto kAdapterPoll = std::chrono::milliseconds(250);

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

// The adapter was pulled (or its name now leads elsewhere): the port is
// released, and its name awaited until it opens as a serial port again,
// then the adapter is made fast once more (a new adapter comes with its
// default timer). Each change is said once. False when the station was
// stopped meanwhile.
bool AwaitAdapter(const std::string &port)
{
    ClosePort();
    g_portOpen = false;
    View().Notice("the adapter of " + port + " was removed; waiting for it to come back.");
    View().PortPresence(false);
    std::string said;
    for (;;) {
        TakeStationInterrupts();
        if (StoppedTakingUnits())
            return false;
        const PortDiagnosis d = DiagnosePort(port);
        if (d.problem == PortDiagnosis::None)
            break;
        const std::string why = d.problem == PortDiagnosis::Missing ? std::string() : PortProblemText(port, d);
        if (why != said && !why.empty())
            View().Notice("the name " + port + " is back but cannot be used yet: " + why);
        said = why;
        std::this_thread::sleep_for(kAdapterPoll);
    }
    View().Notice("the adapter of " + port + " is back.");
    View().PortPresence(true);
    RetuneSessionAdapter();
    return true;
}

// The one unit from its capture to its end; its exit code.
int Unit(const SessionOptions &options, const CheckedImage &custom, ImageCache &cache, DeviceResult &unit)
{
    return ProgramCapturedDevice(options, custom, &cache, unit);
}

}  // namespace

void StopTakingUnits() { stopTaking = true; }

bool StoppedTakingUnits() { return stopTaking; }

int RunStationPort(const SessionOptions &given, double deadline, const StationHooks &hooks)
{
    SessionOptions options = given;
    options.skipIfCurrent = true;
    options.station = true;
    interruptSource = &hooks.takeInterrupts;
    InitWorkflows(TakeStationInterrupts);
    SetStationMode(StoppedTakingUnits);

    CheckedImage custom;
    ImageCache cache;
    int portCode = ExitOk;
    if (!options.image.empty()) {
        DeviceResult &refused = hooks.newUnit();
        refused.port = options.port;
        const int code = LoadCustomImage(options.image, options.imageSha256, custom, refused);
        if (code != ExitOk) {
            hooks.unitDone(refused, code);  // refused as it would be for one device: with its record
            return code;
        }
    }
    bool opened = false;
    while (!StoppedTakingUnits()) {
        BeginUnit(deadline);
        DeviceResult &unit = hooks.newUnit();
        int code = ExitOk;
        const NextUnit next = CaptureNextUnit(options.port, unit, code);
        if (next == NextUnit::Stopped)
            break;
        if (next == NextUnit::LineFailed) {
            if (!opened && !PortAdapterGone(options.port))
                return ExitNoDevice;  // it never opened: nothing to wait for
            opened = true;
            if (!AwaitAdapter(options.port))
                break;
            continue;
        }
        opened = true;
        // Every identified unit is counted by the supervisor: its answer is
        // awaited, also for a unit that failed already.
        if (unit.device && hooks.mayTake && !hooks.mayTake()) {
            StopTakingUnits();  // the bound is reached: this unit is another station's to take
            break;
        }
        if (next == NextUnit::Captured)
            code = Unit(options, custom, cache, unit);
        else
            AdapterWentDuring(unit, unit.failure, code);
        unit.timings = StepTimings();
        SetSessionDeadline(0);
        hooks.unitDone(unit, code);
        if (code != ExitOk && ResultIsUnit(RecordResult(unit, code)))
            portCode = ExitFailed;  // a unit failed: the station's figures say so too
        if (WorkflowStillRunning())
            break;  // an aborted unit: its worker still runs in the target library
        if (code != ExitOk && PortAdapterGone(options.port) && !AwaitAdapter(options.port))
            break;
    }
    if (!WorkflowStillRunning())
        ReleaseDevice();
    return portCode;
}
