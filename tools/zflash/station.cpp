// "zflash station": every port takes unit after unit, hands-free. A
// supervisor (station/supervisor.h) runs one zflash worker process per port
// (RunStationWorker, in its events mode); the image, the catalogue and the
// ports are checked once, before any unit is taken.
#include <filesystem>
#include <iostream>

#include "app/image_step.h"
#include "app/workflows.h"
#include "devicelink/ports/ports.h"
#include "station/image_choice.h"
#include "station/port_words.h"
#include "station/record.h"
#include "station/session_runner.h"
#include "station/session_view.h"
#include "station/station_port.h"
#include "station/supervisor.h"
#include "station/supervisor_link.h"
#include "targetlib/utf8path.h"
#include "tools/zflash/finish.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/session_view.h"
#include "tools/zflash/station_view.h"
#include "tools/zflash/worker_args.h"
#include "tools/zflash/zflash.h"

namespace {

// Before any unit: the root, the image (read and judged once) or the
// version, and every port. The exit code, and the image's digest.
int CheckBeforeUnits(const DeviceOptions &d, std::string &imageSha256)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(PathOfName(AppRootDir()), ec)) {
        PrintError("no such folder: " + AppRootDir() + " (the folder of flashloader/ and firmware/).");
        return ExitBadInput;
    }
    DeviceResult refused;
    if (!d.image.empty()) {
        CheckedImage image;
        const int code = LoadCustomImage(d.image, d.expectSha256, image, refused);
        if (code != ExitOk)
            return code;
        imageSha256 = image.fw.sha256;
    }
    const int code = CheckVersionListed(d.version, refused);
    if (code != ExitOk)
        return code;
    for (const std::string &port : d.ports) {
        const std::string problem = PortProblemText(port, DiagnosePort(port));
        if (!problem.empty()) {
            PrintError(problem);
            return ExitNoDevice;
        }
    }
    return ExitOk;
}

}  // namespace

int RunStation(const GlobalOptions &global, const DeviceOptions &device, const std::string &sysfsRoot,
               ProgressStyle progress, SupervisorObserver *observer)
{
    InstallInterruptHandler();
    InitOutput(global.json ? OutputMode::Json : OutputMode::Text);
    RouteLibraryTrace(global.verbose ? TraceRoute::Stderr : TraceRoute::Discard);  // as for several ports
    SetSessionView(&TerminalView());  // the checks before any unit say why they refuse
    std::string imageSha256;
    const int code = CheckBeforeUnits(device, imageSha256);
    if (code != ExitOk)
        return code;
    std::vector<WorkerSpec> workers;
    for (const std::string &port : device.ports)
        workers.push_back({port, WorkerArgs("station", global, device, port, imageSha256)});
    StationView view(progress, global.json);
    SupervisorSettings settings = SupervisorSettingsOf(global, sysfsRoot);
    settings.station = true;
    settings.count = device.count;
    settings.observer = observer;
    return Supervise(workers, settings, view);
}

int RunStationWorker(const SessionOptions &options, const GlobalOptions &global, int count, CommandResult &result)
{
    StationHooks hooks;
    hooks.newUnit = [&result]() -> DeviceResult & { return result.body.emplace<DeviceResult>(); };
    hooks.unitDone = [](DeviceResult &unit, int code) { ShareUnitRecord(unit, code); };
    hooks.takeInterrupts = TakeInterrupts;
    if (count > 0)
        hooks.mayTake = SupervisorLetsTake;
    const int code = RunStationPort(options, global.deadline, hooks);
    result.body.emplace<std::monostate>();  // every unit has sent its record
    return code;
}
