// The record of every Program run, as zflash writes it, appended to the
// user's file of records (%LOCALAPPDATA%\Zelvo\Flash Update\records.jsonl),
// so that support can ask for it. It is written after the run, on a thread of
// its own: it never delays or fails the programming; a record that cannot be
// written is one log line.
#include <mutex>
#include <shlobj.h>
#include <thread>

#include "app/appstate.h"
#include "app/clock.h"
#include "app/utf16.h"
#include "devicelink/ports/ports.h"
#include "station/exitcodes.h"
#include "station/record.h"
#include "station/record_file.h"
#include "window/window.h"

namespace {

struct Run {
    bool active = false;
    bool awaitingAfter = false;  // programmed: the query that follows gives the new firmware
    DeviceResult result;
    int exitCode = 0;
    SteadyClock::time_point start;
};

// The window thread's view of the device and the run under way.
Run run;
std::string devicePort, deviceAdapter;
DeviceEntry device;
std::optional<FirmwareInfo> installed;

// The steps of the run, timed as the worker reports them (its thread).
std::mutex stepMutex;
std::vector<StepTime> steps;
SteadyClock::time_point stepStart;

void OnStep(WorkStep step, uint64_t)
{
    std::lock_guard<std::mutex> lock(stepMutex);
    if (!steps.empty())
        steps.back().seconds = SecondsSince(stepStart);
    stepStart = SteadyClock::now();
    if (step != WorkStep::Done)
        steps.push_back({step, 0});
}

std::string AdapterSerialOf(const std::string &port)
{
    for (const SerialPortInfo &p : ListSerialPorts(PortRoots()))
        if (p.port == port)
            return p.serial;
    return std::string();
}

std::string RecordsPath(std::string &folder)
{
    PWSTR local = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) != S_OK)
        return std::string();
    folder = Utf8FromWide(local) + "\\Zelvo\\Flash Update";
    CoTaskMemFree(local);
    return folder + "\\records.jsonl";
}

void Write(const nlohmann::json &record)
{
    std::thread([record] {
        std::string folder, error;
        const std::string path = RecordsPath(folder);
        if (!path.empty())
            SHCreateDirectoryExW(nullptr, WideFromUtf8(folder).c_str(), nullptr);
        if (path.empty() || !AppendRecord(path, record, error))
            Log("WARNING: The record of this run could not be written to " +
                (path.empty() ? std::string("the user's application data folder") : path) + ": " +
                (error.empty() ? std::string("no such folder") : error) + ".");
    }).detach();
}

void Finish()
{
    {
        std::lock_guard<std::mutex> lock(stepMutex);
        if (!steps.empty())
            steps.back().seconds = SecondsSince(stepStart);
        run.result.timings = steps;
    }
    const RecordContext context = RecordContextNow(deviceAdapter);
    Write(MakeRecord(run.result, run.exitCode, context));
    run = Run();
}

}  // namespace

void NoteCapturedDevice(const std::string &port, unsigned loaderBaud)
{
    const Product *prod = g_prod;
    const HWOption *hw = g_hw;
    if (!prod || !hw)
        return;
    devicePort = port;
    deviceAdapter = AdapterSerialOf(port);
    device = DeviceEntry{prod->name, hw->hw, hw->folder, loaderBaud};
    installed.reset();
}

void BeginProgramRecord(const FirmwareVersion &fw, bool custom)
{
    run = Run();
    run.active = true;
    run.start = SteadyClock::now();
    run.result.port = devicePort;
    run.result.device = device;
    run.result.before = installed;
    run.result.image = fw;
    run.result.imageApproved = true;
    run.result.custom = custom;
    run.result.attempts = 1;
    std::lock_guard<std::mutex> lock(stepMutex);
    steps.clear();
    SetStepHook(OnStep);
}

void EndProgramRecord(bool ok)
{
    if (!run.active)
        return;
    run.result.failure = ok ? Failure() : g_outcome.failure;  // the worker wrote it before its completion
    run.exitCode = ok ? int(ExitOk) : ExitCodeOf(g_outcome.failure.kind);
    run.awaitingAfter = ok && g_portOpen;
    if (!run.awaitingAfter)
        Finish();
}

void NoteInstalledFirmware(bool ok)
{
    installed.reset();
    if (ok)
        installed = g_outcome.installed;
    if (run.active && run.awaitingAfter) {
        run.result.after = installed;
        Finish();
    }
}
