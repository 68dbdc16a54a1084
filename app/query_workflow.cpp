// The query worker: reads the information text of the installed firmware and
// reports it as one summary line (version, model/HW label, build time stamp).
#include <memory>

#include "app/appstate.h"
#include "app/workerguard.h"
#include "app/workeroutcome.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

std::string Summary(const FirmwareInfo &fw)
{
    std::string summary = fw.version.empty() ? "unknown version" : "v" + fw.version;
    const std::string label = ModelHW(fw.model, fw.hw);
    if (!label.empty())
        summary += "   " + label;
    if (!fw.built.empty())
        summary += "   built " + fw.built;
    return summary;
}

const char *const kNoFirmwareInstalled = "no firmware installed";

bool QueryInstalled(std::unique_ptr<std::string> &summary)
{
    ReportStep(WorkStep::Query);
    Log("Querying installed firmware...");
    const std::string info = GetInfo(kFirmwareRegion);
    if (info.empty() && LastError() == ErrNoString) {
        // The flash loader answered: the firmware region holds no
        // information text, as on a blank unit. That is no failure.
        g_outcome.installed = FirmwareInfo();
        summary.reset(new std::string(kNoFirmwareInstalled));
        Log("    " + *summary);
        return true;
    }
    if (info.empty()) {
        return LogLibraryFailure("    ERROR: Could not query installed firmware (device not responding "
                                 "or flashloader not running).");
    }
    g_outcome.installed = ParseFirmwareInfo(info);
    summary.reset(new std::string(Summary(g_outcome.installed)));
    Log("    " + *summary);
    return true;
}

}  // namespace

unsigned long WORKER_API QueryThreadProc(void *)
{
    std::unique_ptr<std::string> summary;
    const bool ok = RunWorkerBody([&] { return QueryInstalled(summary); });
    if (!ok)
        summary.reset();
    PostWorkerMessage(WM_APP_QUERY_DONE, ok ? 1 : 0, reinterpret_cast<intptr_t>(summary.release()));
    return 0;
}
