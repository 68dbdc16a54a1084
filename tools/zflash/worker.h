// Runs the application's workflows (capture, query, program) on a thread of
// their own, as the window does, and takes their messages in its place: log
// lines are printed, progress is drawn, the completion is awaited. Meanwhile
// the main thread watches Ctrl-C and the time-out for the device.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

enum class Workflow { Capture, Query, Program };

struct WorkflowResult {
    bool ok = false;
    std::string summary;      // query: the installed firmware
    std::string failureLine;  // first "ERROR: ..." or cancel line of the run
    bool cancelled = false;   // Ctrl-C asked it to stop
    bool timedOut = false;    // the device did not appear in time
};

// Installs the message sink, the message-box handler and the progress callback.
void InitWorkflows(bool liveProgress);
// Capture: `arg` is the port; program: the image path; query: unused.
// `deviceTimeout` (seconds, 0: none) bounds the capture's wait for the device.
WorkflowResult RunWorkflow(Workflow kind, const std::string &arg, double deviceTimeout = 0);

// Text of the last message box that a workflow operation showed.
std::string LastMessageBoxText();
// Seconds spent in each step of the runs so far, in order.
nlohmann::json StepTimings();
