#include "tools/zflash/worker.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "app/appstate.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/zflash.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kAbortConfirmSeconds = 5;

// The run in progress, written by the sink and the step hook on the worker's thread.
std::mutex mutex;
std::condition_variable completed;
bool done = false;
bool captured = false;
WorkflowResult current;
WorkStep step = WorkStep::None;
Clock::time_point stepStart;
std::vector<StepTime> timings;
// Lines logged while the port is being opened wait for the step's end: when
// it fails, the command shows its own diagnosis in place of the last one.
std::vector<std::string> openingLines;

// Callers hold the mutex; shows the held lines (the worker's thread).
std::vector<std::string> TakeOpeningLinesLocked()
{
    std::vector<std::string> lines;
    lines.swap(openingLines);
    return lines;
}

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Callers hold the mutex.
void EndStepLocked()
{
    if (step != WorkStep::None && step != WorkStep::Done)
        timings.push_back({step, SecondsSince(stepStart)});
    step = WorkStep::None;
}

// The progress phase whose blocks a step sends.
bool PhaseOfStep(WorkStep s, ProgressPhase &phase)
{
    switch (s) {
    case WorkStep::StartLoader: phase = PhaseRAMExec; return true;
    case WorkStep::Program: phase = PhaseProgram; return true;
    case WorkStep::Verify: phase = PhaseVerify; return true;
    default: return false;
    }
}

void OnStep(WorkStep next, uint64_t bytes)
{
    std::vector<std::string> held;
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = TakeOpeningLinesLocked();
        EndStepLocked();
        step = next;
        stepStart = Clock::now();
        if (next == WorkStep::Identify)
            captured = true;
    }
    for (const std::string &line : held)
        PrintLog(line);
    ProgressPhase phase;
    if (PhaseOfStep(next, phase)) {
        ProgressSetTotalBytes(phase, static_cast<double>(bytes));
        ProgressPhaseStarted(phase);
    }
}

void Complete(bool ok, const std::string &summary)
{
    std::lock_guard<std::mutex> lock(mutex);
    EndStepLocked();
    current.ok = ok;
    current.outcome = g_outcome;  // the worker wrote it before its completion message
    current.summary = summary;
    current.unshownLines = TakeOpeningLinesLocked();
    done = true;
    completed.notify_all();
}

void Sink(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    switch (msg) {
    case WM_APP_LOG: {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string *>(lParam));
        if (!line)
            break;
        std::unique_lock<std::mutex> lock(mutex);
        if (step == WorkStep::OpenPort) {
            openingLines.push_back(*line);
            break;
        }
        lock.unlock();
        PrintLog(*line);
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

// Ends the process at once, the worker still running: the result says how
// far the device session came.
[[noreturn]] void AbortNow(FailureKind kind, const std::string &message)
{
    PrintError(message);
    CommandResult aborted;
    CommandResult &result = ResultInProgress() ? *ResultInProgress() : aborted;
    const int code = ExitCodeOf(kind);
    result.exitCode = code;
    if (auto *device = std::get_if<DeviceResult>(&result.body)) {
        std::lock_guard<std::mutex> lock(mutex);
        device->failure = Failure();
        device->failure.kind = kind;
        device->failure.step = step;
        device->failure.message = message;
        device->timings = timings;
        if (step != WorkStep::None)
            device->timings.push_back({step, SecondsSince(stepStart)});
    }
    std::_Exit(FinishOutput(result));
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
                AbortNow(FailureKind::Interrupted, "aborted while programming: the device is left without working "
                                     "firmware. Run zflash program again to restore it.");
            warned = true;
            warnedAt = Clock::now();
            PrintWarning("stopping now leaves the device without working firmware. Press Ctrl-C "
                         "again within 5 seconds to abort anyway.");
            return;
        }
        if (result.cancelled)
            AbortNow(FailureKind::Cancelled, "aborted.");
        result.cancelled = true;
        g_abortCapture = true;
        PrintNotice(kind == Workflow::Capture ? "Cancelling... (Ctrl-C again to abort at once)"
                                              : "Stopping... (Ctrl-C again to abort at once)");
    }

    Workflow kind;
    bool warned = false;
    Clock::time_point warnedAt;
};

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
    SetStepHook(OnStep);
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
        ClearDeviceState();  // as the window's Capture command does

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

std::vector<StepTime> StepTimings()
{
    std::lock_guard<std::mutex> lock(mutex);
    return timings;
}
