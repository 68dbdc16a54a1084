// What the workflows' log lines tell a front end without a window: which step
// a workflow has reached (for timings and the progress clock) and what kind of
// failure its first error line reports (for the exit code).
#pragma once

#include <string>

enum class Step {
    None,        // the line starts no step
    Open,        // "Opening <port>..."
    Wait,        // waiting for the boot loader's announcement
    Identify,    // captured, asking for the hardware identifier
    Loader,      // starting the flash loader
    Query,       // reading the installed firmware
    BlankCheck,
    Erase,
    Program,
    Verify,
};

Step StepOfLogLine(const std::string &line);
const char *StepName(Step step);  // "open", "wait", ...

// An error line of the capture workflow: "ERROR: ..." or the cancel line.
bool IsFailureLine(const std::string &line);
// The exit code (ExitNoDevice, ExitBadInput or ExitFailed) of a failed capture
// or programming run whose first failure line is `line`.
int ExitCodeOfFailure(const std::string &line);
