// Several devices at once: a supervisor (station/supervisor.h) runs one
// zflash worker process per port, in its events mode, and this shows them.
#include "app/image_step.h"
#include "app/workflows.h"
#include "station/image_choice.h"
#include "station/supervisor.h"
#include "tools/zflash/gang_view.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/worker_args.h"
#include "tools/zflash/zflash.h"

namespace {

// An image named for every port is read and checked here once; each worker
// then writes it only when its own read has the same bytes. Empty when it
// cannot be read here (each worker then says why); false when its digest is
// not the one asked for (--expect-sha256), which is said.
bool CheckedImageDigest(const DeviceOptions &d, std::string &digest)
{
    CheckedImage image;
    digest = !d.image.empty() && LoadCheckedImage(d.image, image) ? image.fw.sha256 : d.expectSha256;
    if (d.expectSha256.empty() || digest == d.expectSha256)
        return true;
    PrintError(UnexpectedImageText(d.image, digest, d.expectSha256));
    return false;
}

}  // namespace

int RunGang(const std::string &command, const GlobalOptions &global, const DeviceOptions &device,
            const std::string &sysfsRoot, ProgressStyle progress, SupervisorObserver *observer)
{
    InstallInterruptHandler();
    // The supervisor's own reads of the image: their trace never reaches
    // standard output, which belongs to the records with --json.
    RouteLibraryTrace(global.verbose ? TraceRoute::Stderr : TraceRoute::Discard);
    std::string digest;
    if (!CheckedImageDigest(device, digest))
        return ExitBadInput;
    std::vector<WorkerSpec> workers;
    for (const std::string &port : device.ports)
        workers.push_back({port, WorkerArgs(command, global, device, port, digest)});
    GangView view(progress, global.json);
    SupervisorSettings settings = SupervisorSettingsOf(global, sysfsRoot);
    settings.observer = observer;
    return Supervise(workers, settings, view);
}
