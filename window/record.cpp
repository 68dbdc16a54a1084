// The record of every Program run, as zflash writes it, appended to the
// user's file of records (%LOCALAPPDATA%\Zelvo\Flash Update\records.jsonl),
// so that support can ask for it. Every run gets exactly one: when its
// worker ends (after the query that reads the new firmware, when there is
// one), or when the run ends without it (the window closed, the Windows
// session ended, the worker could not start), then as an interrupted run
// that says what that means for the device. Each step is timed from its
// start to the next step's start or its worker's end, never by a box.
//
// A run's start is written as the run begins, before its worker can erase
// anything; the ends are written in order on a thread of their own, so the
// file never delays the window; the process waits for it before it ends. A
// record that cannot be written is said once, in a box, with the system's
// words.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
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
    unsigned number = 0;
    bool active = false;         // begun, its record not yet handed over
    bool working = false;        // its worker has not ended
    bool awaitingAfter = false;  // programmed: the query that follows gives the new firmware
    DeviceResult result;
    int exitCode = 0;
    std::string startLost;       // why its start could not be written; empty when it was
};

// The window thread's view of the device and the run under way.
Run run;
unsigned runsBegun = 0;
std::string devicePort, deviceAdapter;
DeviceEntry device;
std::optional<FirmwareInfo> installed;

// The steps of the run, timed as its workers report them (their threads).
std::mutex stepMutex;
std::vector<StepTime> steps;
SteadyClock::time_point stepStart;
bool stepRunning = false;

void StopStepClock()
{
    if (stepRunning)
        steps.back().seconds = SecondsSince(stepStart);
    stepRunning = false;
}

void OnStep(WorkStep step, uint64_t)
{
    std::lock_guard<std::mutex> lock(stepMutex);
    StopStepClock();
    // Done ends the last step; what follows it (a box, the operator) is no
    // step of the device's.
    if (step == WorkStep::Done)
        return;
    steps.push_back({step, 0});
    stepStart = SteadyClock::now();
    stepRunning = true;
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

// The writer: records in the order handed over, on its own thread.
struct Job {
    nlohmann::json record;
    std::string what;  // the run, in the operator's words
    // The run's start could not be written (why): said with its end, so
    // that a run costs the operator one box at the most.
    std::string startLost;
};

std::mutex writeMutex;
std::condition_variable writeReady;
std::deque<Job> jobs;
bool writerStopping = false;
std::thread writer;
std::vector<std::string> failures;  // not yet shown

// Appends a record; the operator's sentence when it cannot be, else empty.
std::string Append(const nlohmann::json &record, const std::string &what)
{
    std::string folder, error;
    const std::string path = RecordsPath(folder);
    if (!path.empty())
        SHCreateDirectoryExW(nullptr, WideFromUtf8(folder).c_str(), nullptr);
    if (!path.empty() && AppendRecord(path, record, error))
        return std::string();
    const std::string where = path.empty() ? std::string("the user's application data folder, which Windows "
                                                         "did not name")
                                           : path;
    return "The record of " + what + " could not be written to " + where +
           (error.empty() ? std::string(".") : ":\n\n" + error);
}

void WriteOne(const Job &job)
{
    std::string lost = Append(job.record, job.what);
    if (lost.empty())
        lost = job.startLost;  // the end is in, its start is not
    if (lost.empty())
        return;
    std::lock_guard<std::mutex> lock(writeMutex);
    failures.push_back(lost);
    PostMessageW(g_hwnd, WM_APP_RECORD_FAILED, 0, 0);
}

void WriterLoop()
{
    std::unique_lock<std::mutex> lock(writeMutex);
    for (;;) {
        writeReady.wait(lock, [] { return !jobs.empty() || writerStopping; });
        if (jobs.empty())
            return;
        const Job job = jobs.front();
        jobs.pop_front();
        lock.unlock();
        WriteOne(job);
        lock.lock();
    }
}

void Write(const nlohmann::json &record, const std::string &what, const std::string &startLost)
{
    std::unique_lock<std::mutex> lock(writeMutex);
    if (writerStopping) {
        // The window is going and the writer is done: this one at once.
        lock.unlock();
        WriteOne({record, what, startLost});
        return;
    }
    jobs.push_back({record, what, startLost});
    if (!writer.joinable())
        writer = std::thread(WriterLoop);
    writeReady.notify_one();
}

std::string WhatRun(const DeviceResult &r)
{
    const std::string image = r.image ? r.image->fileName : std::string("an image");
    return "the run that programmed " + image + (r.port.empty() ? std::string() : " on " + r.port);
}

void Finish()
{
    {
        std::lock_guard<std::mutex> lock(stepMutex);
        StopStepClock();
        run.result.timings = steps;
    }
    SetStepHook(nullptr);
    const RecordContext context = RecordContextNow(deviceAdapter);
    Write(MakeRecord(run.result, run.exitCode, context), WhatRun(run.result), run.startLost);
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

unsigned BeginProgramRecord(const FirmwareVersion &fw, bool custom)
{
    FinishPendingRecord();
    run = Run();
    run.number = ++runsBegun;
    run.active = true;
    run.working = true;
    run.result.port = devicePort;
    run.result.device = device;
    run.result.before = installed;
    run.result.image = fw;
    run.result.imageApproved = true;
    run.result.custom = custom;
    run.result.attempts = 1;
    run.result.session = NewSessionId();
    {
        std::lock_guard<std::mutex> lock(stepMutex);
        steps.clear();
        stepRunning = false;
    }
    SetStepHook(OnStep);
    // The run's start is on disk before its worker erases anything, so that
    // a run cut off (a crash, a power cut) still shows as begun: written
    // here, on the window thread (a few milliseconds), not queued. Its end
    // follows through the writer, in order.
    run.startLost = Append(MakeStartEntry(run.result, RecordContextNow(deviceAdapter)), "the start of " + WhatRun(run.result));
    return run.number;
}

unsigned RunUnderWay()
{
    return run.active && run.working ? run.number : 0;
}

void EndProgramRecord(bool ok)
{
    if (!run.active || !run.working)
        return;
    run.working = false;
    run.result.failure = ok ? Failure() : g_outcome.failure;  // the worker wrote it before its completion
    run.exitCode = ok ? int(ExitOk) : ExitCodeOf(g_outcome.failure.kind);
    run.awaitingAfter = ok && g_portOpen;
    {
        // A failure has no Done: its last step ends with its worker.
        std::lock_guard<std::mutex> lock(stepMutex);
        StopStepClock();
    }
    if (!run.awaitingAfter)
        Finish();
}

void EndRunEarly(const std::string &why)
{
    if (!run.active)
        return;
    if (!run.working) {
        FinishPendingRecord();
        return;
    }
    std::vector<StepTime> sofar;
    {
        std::lock_guard<std::mutex> lock(stepMutex);
        StopStepClock();
        sofar = steps;
    }
    run.working = false;
    run.result.failure = Failure();
    run.result.failure.kind = FailureKind::Interrupted;
    run.result.failure.step = sofar.empty() ? WorkStep::None : sofar.back().step;
    run.result.failure.message = EarlyEndSentence(why, sofar, "Capture it and program it again.");
    run.exitCode = ExitCodeOf(FailureKind::Interrupted);
    Finish();
}

void FinishPendingRecord()
{
    if (run.active && !run.working)
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

void WaitForRecords()
{
    {
        std::lock_guard<std::mutex> lock(writeMutex);
        writerStopping = true;
    }
    writeReady.notify_one();
    if (writer.joinable())
        writer.join();
}

std::vector<std::string> TakeRecordFailures()
{
    std::lock_guard<std::mutex> lock(writeMutex);
    std::vector<std::string> taken;
    taken.swap(failures);
    return taken;
}
