#include "station/session_runner.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "app/appstate.h"
#include "app/clock.h"
#include "app/commands.h"
#include "app/workflows.h"
#include "station/session_view.h"

namespace {

using Clock = SteadyClock;

// The run in progress, written by the sink and the step hook on the worker's thread.
std::mutex mutex;
std::condition_variable completed;
bool done = false;
bool captured = false;
WorkflowResult current;
WorkStep step = WorkStep::None;
bool written = false;  // this unit's device was erased or programmed (by any pass)
Clock::time_point stepStart;
std::vector<StepTime> timings;
// Lines logged while the port is being opened wait for the step's end: when
// it fails, the command shows its own diagnosis in place of the last one.
std::vector<std::string> openingLines;
int (*interrupts)() = nullptr;
bool stationMode = false;
bool (*endingNow)() = nullptr;
bool (*stopWaiting)() = nullptr;
std::atomic<bool> stillRunning{false};
// The session's presses (main thread), and a station unit's deadline, which
// runs from the unit's capture.
PressMemory presses;
double unitDeadline = 0;
bool unitDeadlineRunning = false;

void StartUnitDeadline()
{
    if (unitDeadline > 0 && !unitDeadlineRunning) {
        SetSessionDeadline(unitDeadline);
        unitDeadlineRunning = true;
    }
}

// Callers hold the mutex; shows the held lines (the worker's thread).
std::vector<std::string> TakeOpeningLinesLocked()
{
    std::vector<std::string> lines;
    lines.swap(openingLines);
    return lines;
}

// Callers hold the mutex.
void EndStepLocked()
{
    if (step != WorkStep::None && step != WorkStep::Done)
        timings.push_back({step, SecondsSince(stepStart)});
    step = WorkStep::None;
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
        if (next == WorkStep::Erase || next == WorkStep::Program)
            written = true;
    }
    View().Step(next, bytes);
    const Product *product = g_prod;
    const HWOption *hw = g_hw;
    if (next == WorkStep::StartLoader && product && hw)  // identified
        View().Identified(product->name, hw->hw);
    for (const std::string &line : held)
        View().Log(line);
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
        View().Log(*line);
        break;
    }
    case WM_APP_PROGRESS:
        View().Progress(static_cast<ProgressPhase>(lParam), static_cast<int>(wParam));
        break;
    case WM_APP_ERASE_BUSY:
        View().EraseBusy(wParam != 0);
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
    case Workflow::NextUnit: {
        auto *arg = new std::string(port);
        return std::thread([arg] { NextUnitThreadProc(arg); });
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

// Acts on the stop policy's decision; true when the session is to end now
// (`flags` then says how). `waiting`: no device is captured yet.
bool Decide(StopPolicy &policy, bool waiting, WorkflowResult &flags)
{
    WorkStep now;
    bool wrote;
    {
        std::lock_guard<std::mutex> lock(mutex);
        now = step;
        wrote = written;
    }
    // A device written earlier in the session (a retry's next pass not yet
    // erasing) is stopped as one being programmed: it may hold no working
    // firmware, whatever step the session is in now.
    const bool between = now != WorkStep::Erase && now != WorkStep::Program && now != WorkStep::Verify &&
                         now != WorkStep::Done;
    const StopDecision d = policy.Check(interrupts ? interrupts() : 0, wrote && between ? WorkStep::Program : now,
                                        waiting, SteadyClock::now(), endingNow && endingNow());
    if (d.action == StopDecision::Cancel) {
        flags.cancelled = true;
        g_abortCapture = true;
    }
    if (d.action != StopDecision::Abort)
        return false;
    flags.aborted = true;
    flags.abort.kind = d.kind;
    flags.abort.message = d.message;
    flags.abort.step = now;
    return true;
}

WorkflowResult Run(Workflow kind, const std::string &port, const CheckedImage *image, double deviceTimeout)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = false;
        captured = false;
        current = WorkflowResult();
    }
    if (kind == Workflow::Capture || kind == Workflow::NextUnit)
        ClearDeviceState();  // as the window's Capture command does
    View().WorkflowStarts();

    WorkflowResult flags;  // what this thread decides meanwhile
    StopPolicy policy(kind, stationMode, presses);
    const bool capturing = kind == Workflow::Capture || kind == Workflow::NextUnit;
    if (Decide(policy, capturing, flags))  // a deadline that passed already
        return flags;
    Clock::time_point start = Clock::now();
    std::thread worker = StartWorker(kind, port, image);
    std::unique_lock<std::mutex> lock(mutex);
    while (!completed.wait_for(lock, std::chrono::milliseconds(100), [] { return done; })) {
        bool waitingForDevice = capturing && !captured;
        lock.unlock();
        View().Tick();
        if (kind == Workflow::NextUnit && !waitingForDevice)
            StartUnitDeadline();
        if (Decide(policy, waitingForDevice, flags)) {
            stillRunning = true;
            worker.detach();  // it stops when the process ends
            return flags;
        }
        if (waitingForDevice && !flags.cancelled && stopWaiting && stopWaiting()) {
            flags.cancelled = true;  // told to take no more units
            g_abortCapture = true;
        }
        if (waitingForDevice && deviceTimeout > 0 && !flags.timedOut &&
            SecondsSince(start) > deviceTimeout) {
            flags.timedOut = true;
            g_captureTimedOut = true;
            g_abortCapture = true;
        }
        lock.lock();
    }
    const bool wasCaptured = captured;
    lock.unlock();
    worker.join();

    WorkflowResult result = current;
    if (kind == Workflow::NextUnit && wasCaptured)
        StartUnitDeadline();
    // A station finishes a unit it captured: a press that came as the
    // capture completed stops the taking of units, not this one.
    result.cancelled = flags.cancelled && !(stationMode && kind == Workflow::NextUnit && result.ok);
    result.timedOut = flags.timedOut;
    return result;
}

}  // namespace

void SetEndingNow(bool (*ending)())
{
    endingNow = ending;
}

void SetStationMode(bool (*stop)())
{
    stationMode = true;
    stopWaiting = stop;
}

void ForgetStepTimings()
{
    std::lock_guard<std::mutex> lock(mutex);
    timings.clear();
    written = false;
}

void BeginUnit(double deadline)
{
    ForgetStepTimings();
    presses = PressMemory();
    unitDeadline = deadline;
    unitDeadlineRunning = false;
    SetSessionDeadline(0);
}

void InitWorkflows(int (*takeInterrupts)())
{
    interrupts = takeInterrupts;
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

bool WorkflowStillRunning() { return stillRunning; }
