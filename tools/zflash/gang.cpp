// Several devices at once: a supervisor (station/supervisor.h) runs one
// zflash worker process per port, in its events mode, and this shows them.
#include "app/image_step.h"
#include "app/workflows.h"
#include "station/supervisor.h"
#include "tools/zflash/gang_view.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/worker_args.h"
#include "tools/zflash/zflash.h"

namespace {

// An image named for every port is read and checked here once; each worker
// then writes it only when its own read has the same bytes. Empty when it
// cannot be read here (each worker then says why).
std::string CheckedImageDigest(const DeviceOptions &d)
{
    CheckedImage image;
    return !d.image.empty() && LoadCheckedImage(d.image, image) ? image.fw.sha256 : std::string();
}

}  // namespace

int RunGang(const std::string &command, const GlobalOptions &global, const DeviceOptions &device,
            const std::string &sysfsRoot, ProgressStyle progress, SupervisorObserver *observer)
{
    InstallInterruptHandler();
    const std::string digest = CheckedImageDigest(device);
    std::vector<WorkerSpec> workers;
    for (const std::string &port : device.ports)
        workers.push_back({port, WorkerArgs(command, global, device, port, digest)});
    GangView view(progress, global.json);
    SupervisorSettings settings{global.log, sysfsRoot, TakeInterrupts, Terminated};
    settings.observer = observer;
    return Supervise(workers, settings, view);
}
