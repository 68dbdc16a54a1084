#include "tools/zflash/worker.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "app/appstate.h"
#include "app/workflows.h"
#include "tools/zflash/imagestats.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/workflow_steps.h"
#include "tools/zflash/zflash.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kAbortConfirmSeconds = 5;

// The run in progress, written by the sink on the worker's thread.
std::mutex mutex;
std::condition_variable completed;
bool done = false;
bool captured = false;
WorkflowResult current;
Step step = Step::None;
Clock::time_point stepStart;
nlohmann::json timings = nlohmann::json::array();
std::string lastBoxText;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Callers hold the mutex.
void EndStepLocked()
{
    if (step != Step::None)
        timings.push_back({{"step", StepName(step)}, {"seconds", SecondsSince(stepStart)}});
    step = Step::None;
}

// The flash loader's blocks, for the progress of its download. The worker
// has identified the device (g_hw) before it announces the loader.
void MeasureLoader()
{
    const HWOption *hw = g_hw;
    ImageStats stats;
    if (hw && ReadImageStats(FlashLoaderPath(hw->folder, hw->flashLoader), stats))
        ProgressSetTotalBytes(PhaseRAMExec, static_cast<double>(stats.totalBytes));
}

void StartStep(Step next)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        EndStepLocked();
        step = next;
        stepStart = Clock::now();
        if (next == Step::Identify)
            captured = true;
    }
    if (next == Step::Loader) {
        MeasureLoader();
        ProgressPhaseStarted(PhaseRAMExec);
    } else if (next == Step::Program) {
        ProgressPhaseStarted(PhaseProgram);
    } else if (next == Step::Verify) {
        ProgressPhaseStarted(PhaseVerify);
    }
}

void OnLogLine(const std::string &line)
{
    Step next = StepOfLogLine(line);
    if (next != Step::None)
        StartStep(next);
    if (IsFailureLine(line)) {
        std::lock_guard<std::mutex> lock(mutex);
        if (current.failureLine.empty())
            current.failureLine = line;
    }
    PrintLog(line);
}

void Complete(bool ok, const std::string &summary)
{
    std::lock_guard<std::mutex> lock(mutex);
    EndStepLocked();
    current.ok = ok;
    current.summary = summary;
    done = true;
    completed.notify_all();
}

void Sink(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    switch (msg) {
    case WM_APP_LOG: {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string *>(lParam));
        if (line)
            OnLogLine(*line);
        break;
    }
    case WM_APP_PROGRESS:
        ProgressReport(static_cast<ProgressPhase>(lParam), static_cast<int>(wParam));
        break;
    case WM_APP_ERASE_BUSY:
        ProgressEraseBusy(wParam != 0);
        break;
    case WM_APP_QUERY_DONE: {
        std::unique_ptr<std::string> summary(reinterpret_cast<std::string *>(lParam));
        Complete(wParam != 0, summary ? *summary : std::string());
        break;
    }
    case WM_APP_CAPTURE_DONE:
    case WM_APP_PROGRAM_DONE:
        Complete(wParam != 0, std::string());
        break;
    default:
        break;
    }
}

// Decisions are the command's: the box only records what it would have said.
int RecordBox(const std::string &text, const std::string &, unsigned type)
{
    std::lock_guard<std::mutex> lock(mutex);
    lastBoxText = text;
    return (type & BoxYesNo) ? BoxAnswerNo : BoxAnswerOk;
}

[[noreturn]] void AbortNow(int exitCode, const std::string &message)
{
    PrintError(message);
    std::_Exit(FinishOutput(exitCode));
}

// What Ctrl-C means while a workflow runs. Called on the main thread.
class InterruptPolicy {
public:
    explicit InterruptPolicy(Workflow kind) : kind(kind) {}

    void Handle(int presses, WorkflowResult &result)
    {
        if (warned && SecondsSince(warnedAt) > kAbortConfirmSeconds) {
            warned = false;
            PrintNotice("Continuing.");
        }
        for (int i = 0; i < presses; ++i)
            Press(result);
    }

private:
    void Press(WorkflowResult &result)
    {
        if (kind == Workflow::Program) {
            if (warned)
                AbortNow(ExitFailed, "aborted while programming: the device is left without working "
                                     "firmware. Run zflash program again to restore it.");
            warned = true;
            warnedAt = Clock::now();
            PrintWarning("stopping now leaves the device without working firmware. Press Ctrl-C "
                         "again within 5 seconds to abort anyway.");
            return;
        }
        if (result.cancelled)
            AbortNow(ExitNoDevice, "aborted.");
        result.cancelled = true;
        g_abortCapture = true;
        PrintNotice(kind == Workflow::Capture ? "Cancelling... (Ctrl-C again to abort at once)"
                                              : "Stopping... (Ctrl-C again to abort at once)");
    }

    Workflow kind;
    bool warned = false;
    Clock::time_point warnedAt;
};

// The window's Capture command clears the device state before it starts the
// worker; the workflow relies on that.
void PrepareCapture()
{
    g_prod = nullptr;
    g_hw = nullptr;
    g_fwList.clear();
    g_customValid = false;
    g_abortCapture = false;
}

std::thread StartWorker(Workflow kind, const std::string &arg)
{
    switch (kind) {
    case Workflow::Capture: {
        auto *port = new std::string(arg);
        return std::thread([port] { CaptureThreadProc(port); });
    }
    case Workflow::Program: {
        auto *path = new std::string(arg);
        return std::thread([path] { ProgramThreadProc(path); });
    }
    case Workflow::Query:
        break;
    }
    return std::thread([] { QueryThreadProc(nullptr); });
}

}  // namespace

void InitWorkflows(bool liveProgress)
{
    ProgressInit(liveProgress);
    SetMessageSink(Sink);
    SetMessageBoxHandler(RecordBox);
    SetProgressCallback(ProgressCallback);
}

WorkflowResult RunWorkflow(Workflow kind, const std::string &arg, double deviceTimeout)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = false;
        captured = false;
        current = WorkflowResult();
    }
    if (kind == Workflow::Capture)
        PrepareCapture();

    WorkflowResult flags;  // what the main thread decides meanwhile
    InterruptPolicy policy(kind);
    Clock::time_point start = Clock::now();
    std::thread worker = StartWorker(kind, arg);
    std::unique_lock<std::mutex> lock(mutex);
    while (!completed.wait_for(lock, std::chrono::milliseconds(100), [] { return done; })) {
        bool waitingForDevice = kind == Workflow::Capture && !captured;
        lock.unlock();
        ProgressTick();
        policy.Handle(TakeInterrupts(), flags);
        if (waitingForDevice && deviceTimeout > 0 && !flags.timedOut &&
            SecondsSince(start) > deviceTimeout) {
            flags.timedOut = true;
            g_abortCapture = true;
        }
        lock.lock();
    }
    lock.unlock();
    worker.join();

    WorkflowResult result = current;
    result.cancelled = flags.cancelled;
    result.timedOut = flags.timedOut;
    return result;
}

std::string LastMessageBoxText()
{
    std::lock_guard<std::mutex> lock(mutex);
    return lastBoxText;
}

nlohmann::json StepTimings()
{
    std::lock_guard<std::mutex> lock(mutex);
    return timings;
}
