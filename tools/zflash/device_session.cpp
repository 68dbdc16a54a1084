#include "tools/zflash/device_session.h"

#include "app/appstate.h"
#include "app/fwtext.h"
#include "app/workflows.h"
#include "catalogue/hwcheck.h"
#include "tools/zflash/imagestats.h"
#include "tools/zflash/output.h"
#include "tools/zflash/ports.h"
#include "tools/zflash/worker.h"
#include "tools/zflash/workflow_steps.h"

namespace {

std::string SecondsText(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", seconds);
    return buf;
}

unsigned ReportDeviceJson(const Product &product, const HWOption &hw)
{
    unsigned baud = LoaderBaud(hw);
    Report()["device"] = {{"product", product.name},
                          {"hw", hw.hw},
                          {"folder", hw.folder},
                          {"loaderBaud", baud}};
    return baud;
}

void ReportDevice(const Product &product, const HWOption &hw)
{
    unsigned baud = ReportDeviceJson(product, hw);
    Report()["images"] = ImagesJson(g_fwList);
    PrintResult("Device:       " + ModelHW(product.name, hw.hw));
    PrintResult("Flash loader: " + std::to_string(baud) + " baud");
    PrintResult("Firmware:     " + std::to_string(g_fwList.size()) + " image(s), newest first");
    for (const FirmwareVersion &fw : g_fwList)
        PrintResult("  " + FirmwareListEntry(fw));
}

int CaptureFailed(const GlobalOptions &global, const std::string &port, const WorkflowResult &r)
{
    if (r.timedOut) {
        PrintError("no device answered on " + port + " within " + SecondsText(global.timeout) +
                   " s. Check the cable, start zflash, then power the device up.");
        return ExitNoDevice;
    }
    if (r.cancelled) {
        PrintError("cancelled.");
        return ExitNoDevice;
    }
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    if (product && hw)  // identified before it failed
        ReportDeviceJson(*product, *hw);
    int code = ExitCodeOfFailure(r.failureLine);
    std::string reason;
    if (r.failureLine.rfind("ERROR: Could not open ", 0) == 0)
        reason = DiagnosePort(port);
    PrintError(!reason.empty() ? reason
               : !r.failureLine.empty() ? WithoutErrorPrefix(r.failureLine)
                                        : "capture failed.");
    return code;
}

}  // namespace

std::string WithoutErrorPrefix(const std::string &line)
{
    const std::string prefix = "ERROR: ";
    return line.compare(0, prefix.size(), prefix) == 0 ? line.substr(prefix.size()) : line;
}

int CaptureDevice(const GlobalOptions &global, const std::string &port)
{
    Report()["port"] = port;
    WorkflowResult r = RunWorkflow(Workflow::Capture, port, global.timeout);
    if (!r.ok)
        return CaptureFailed(global, port, r);
    if (r.cancelled) {
        ReleasePort();
        PrintError("cancelled.");
        return ExitNoDevice;
    }
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    ValidateCustom();  // the device may have changed, as after every capture
    if (product && hw)
        ReportDevice(*product, *hw);
    return ExitOk;
}

int QueryInstalled(const char *key)
{
    WorkflowResult r = RunWorkflow(Workflow::Query, std::string());
    Report()["installed"][key] = r.ok ? nlohmann::json(r.summary) : nlohmann::json();
    PrintResult(std::string("Installed:    ") + (r.ok ? r.summary : "(query failed)"));
    if (r.cancelled) {
        PrintError("cancelled.");
        return ExitNoDevice;
    }
    return ExitOk;
}

void ReleasePort()
{
    ClosePort();
    g_portOpen = false;
}

unsigned LoaderBaud(const HWOption &hw)
{
    ImageStats stats;
    if (!ReadImageStats(FlashLoaderPath(hw.folder, hw.flashLoader), stats))
        return 0;
    return GetImageBaud(stats.info);
}

nlohmann::json ImageJson(const FirmwareVersion &fw)
{
    return {{"file", fw.fileName}, {"path", fw.path},   {"version", fw.version},
            {"model", fw.model},   {"hw", fw.hw},       {"unverified", !fw.hasHW}};
}

nlohmann::json ImagesJson(const std::vector<FirmwareVersion> &list)
{
    nlohmann::json images = nlohmann::json::array();
    for (const FirmwareVersion &fw : list)
        images.push_back(ImageJson(fw));
    return images;
}
