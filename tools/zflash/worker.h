// Runs the application's workflows (capture, query, program) on a thread of
// their own, as the window does, and takes their messages in its place: log
// lines are printed, progress is drawn, steps are timed, the completion is
// awaited. Meanwhile the main thread watches Ctrl-C and the time-out for the
// device.
#pragma once

#include <string>
#include <vector>

#include "app/image_step.h"
#include "app/outcome.h"
#include "tools/zflash/progress.h"
#include "tools/zflash/result.h"

enum class Workflow { Capture, Query, Program, Verify };

struct WorkflowResult {
    bool ok = false;
    WorkerOutcome outcome;    // as the worker left it
    std::string summary;      // query: the installed firmware, as the window shows it
    bool cancelled = false;   // Ctrl-C asked it to stop
    bool timedOut = false;    // the device did not appear in time
    // Lines of a port-opening step that failed, not shown yet: its last is
    // the failure's line, which the command may replace with a diagnosis.
    std::vector<std::string> unshownLines;
};

// Installs the message sink, the step hook and the progress callback;
// `onStart` (may be null) runs on the calling thread as each workflow starts.
void InitWorkflows(ProgressStyle progress, void (*onStart)() = nullptr);
// Capture (on `port`) and query (`port` unused). `deviceTimeout` (seconds, 0:
// none) bounds the capture's wait for the device.
WorkflowResult RunWorkflow(Workflow kind, const std::string &port, double deviceTimeout = 0);
// Program and verify: the image as it was checked.
WorkflowResult RunImageWorkflow(Workflow kind, const CheckedImage &image);

// Seconds spent in each step of the runs so far, in order (with the step
// under way, when an abort cut it short).
std::vector<StepTime> StepTimings();
// The step the last workflow is in (None between workflows).
WorkStep CurrentStep();
