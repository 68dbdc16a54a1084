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
#include "catalogue/hwcheck.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/stop_policy.h"
#include "tools/zflash/zflash.h"

namespace {

using Clock = std::chrono::steady_clock;

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
void (*workflowStarts)() = nullptr;

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
    EmitEvent("step", {{"step", StepName(next)}});
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    if (next == WorkStep::StartLoader && product && hw)  // identified
        EmitEvent("device", {{"label", ModelHW(product->name, hw->hw)}});
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
    case WM_APP_VERIFY_DONE:
        Complete(wParam != 0, std::string());
        break;
    default:
        break;
    }
}

std::thread StartWorker(Workflow kind, const std::string &port, const CheckedImage *image)
{
    switch (kind) {
    case Workflow::Capture: {
        auto *arg = new std::string(port);
        return std::thread([arg] { CaptureThreadProc(arg); });
    }
    case Workflow::Program: {
        auto *arg = new CheckedImage(*image);
        return std::thread([arg] { ProgramThreadProc(arg); });
    }
    case Workflow::Verify: {
        auto *arg = new CheckedImage(*image);
        return std::thread([arg] { VerifyThreadProc(arg); });
    }
    case Workflow::Query:
        break;
    }
    return std::thread([] { QueryThreadProc(nullptr); });
}

WorkflowResult Run(Workflow kind, const std::string &port, const CheckedImage *image, double deviceTimeout)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = false;
        captured = false;
        current = WorkflowResult();
    }
    if (kind == Workflow::Capture)
        ClearDeviceState();  // as the window's Capture command does
    if (workflowStarts)
        workflowStarts();

    WorkflowResult flags;  // what the main thread decides meanwhile
    StopPolicy policy(kind);
    policy.Check(flags);  // a deadline that passed already
    Clock::time_point start = Clock::now();
    std::thread worker = StartWorker(kind, port, image);
    std::unique_lock<std::mutex> lock(mutex);
    while (!completed.wait_for(lock, std::chrono::milliseconds(100), [] { return done; })) {
        bool waitingForDevice = kind == Workflow::Capture && !captured;
        lock.unlock();
        ProgressTick();
        policy.Check(flags);
        if (waitingForDevice && deviceTimeout > 0 && !flags.timedOut &&
            SecondsSince(start) > deviceTimeout) {
            flags.timedOut = true;
            g_captureTimedOut = true;
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

}  // namespace

void InitWorkflows(ProgressStyle progress, void (*onStart)())
{
    workflowStarts = onStart;
    ProgressInit(progress);
    SetMessageSink(Sink);
    SetStepHook(OnStep);
    SetProgressCallback(ProgressCallback);
}

WorkflowResult RunWorkflow(Workflow kind, const std::string &port, double deviceTimeout)
{
    return Run(kind, port, nullptr, deviceTimeout);
}

WorkflowResult RunImageWorkflow(Workflow kind, const CheckedImage &image)
{
    return Run(kind, std::string(), &image, 0);
}

std::vector<StepTime> StepTimings()
{
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<StepTime> all = timings;
    if (step != WorkStep::None && step != WorkStep::Done)  // a step cut short by an abort
        all.push_back({step, SecondsSince(stepStart)});
    return all;
}

WorkStep CurrentStep()
{
    std::lock_guard<std::mutex> lock(mutex);
    return step;
}
