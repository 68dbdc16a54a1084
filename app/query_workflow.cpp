// The query worker: reads the information text of the installed firmware and
// reports it as one summary line (version, model/HW label, build time stamp).
#include <memory>

#include "app/appstate.h"
#include "app/workerguard.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"

namespace {

constexpr unsigned kFirmwareRegion = 2;

std::string Summary(const std::string &info)
{
    const std::string version = GetInfoToken(info, "VN:");
    const std::string model = GetInfoToken(info, "MD:");
    const std::string hw = GetInfoToken(info, "HW:");
    const std::string built = GetInfoToken(info, "TS:");

    std::string summary = version.empty() ? "unknown version" : "v" + version;
    const std::string label = ModelHW(model, hw);
    if (!label.empty())
        summary += "   " + label;
    if (!built.empty())
        summary += "   built " + built;
    return summary;
}

bool QueryInstalled(std::unique_ptr<std::string> &summary)
{
    Log("Querying installed firmware...");
    const std::string info = GetInfo(kFirmwareRegion);
    if (info.empty()) {
        Log("    ERROR: Could not query installed firmware (device not responding or flashloader "
            "not running).");
        return false;
    }
    summary.reset(new std::string(Summary(info)));
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
