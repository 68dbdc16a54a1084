// Runs the application's workflows (capture, query, program, verify) on a
// thread of their own, as the window does, and takes their messages in its
// place: log lines, progress and steps go to the session's view, steps are
// timed, the completion is awaited. Meanwhile the calling thread watches
// Ctrl-C, the deadline and the time-out for the device (stop_policy.h).
#pragma once

#include <string>
#include <vector>

#include "app/image_step.h"
#include "app/outcome.h"
#include "station/session.h"
#include "station/stop_policy.h"

struct WorkflowResult {
    bool ok = false;
    WorkerOutcome outcome;    // as the worker left it
    std::string summary;      // query: the installed firmware, as the window shows it
    bool cancelled = false;   // Ctrl-C asked it to stop
    bool timedOut = false;    // the device did not appear in time
    // The session was ended while the worker ran (a second Ctrl-C, the
    // deadline): `abort` says how. The worker still runs in the target
    // library; nothing may touch the device any more.
    bool aborted = false;
    Failure abort;
    // Lines of a port-opening step that failed, not shown yet: its last is
    // the failure's line, which the command may replace with a diagnosis.
    std::vector<std::string> unshownLines;
};

// Installs the message sink, the step hook and the progress callback; the
// view (session_view.h) must be set. `takeInterrupts` (may be null) gives the
// Ctrl-C presses since it was last asked.
void InitWorkflows(int (*takeInterrupts)());
// `endingNow` (may be null), when true, ends a session at once (the process
// is being ended by the system): as a second press would, whatever the step.
void SetEndingNow(bool (*endingNow)());
// A station's worker: presses mean what they mean to a station (stop
// taking units, finish the one under way), and `stopWaiting` (may be null),
// when true, ends a wait for the next unit as a press would.
void SetStationMode(bool (*stopWaiting)());
// Capture and the next unit (on `port`) and query (`port` unused). `deviceTimeout` (seconds, 0:
// none) bounds the capture's wait for the device.
WorkflowResult RunWorkflow(Workflow kind, const std::string &port, double deviceTimeout = 0);
// Program and verify: the image as it was checked.
WorkflowResult RunImageWorkflow(Workflow kind, const CheckedImage &image);

// Seconds spent in each step of the runs so far, in order (with the step
// under way, when an abort cut it short); a station forgets them between units.
std::vector<StepTime> StepTimings();
void ForgetStepTimings();
// A station's next unit: its step times and presses start afresh, and its
// session is bounded by `deadline` seconds (0: none) from its capture.
void BeginUnit(double deadline);
// The step the last workflow is in (None between workflows).
WorkStep CurrentStep();
// A workflow was left running by an abort: only ending the process stops it.
bool WorkflowStillRunning();
