// What Ctrl-C (and SIGTERM, SIGHUP) and the session's deadline mean while a
// workflow runs: cancel a wait, warn before stopping a device being written,
// abort on a second press. Called on the main thread.
#pragma once

#include <chrono>

#include "tools/zflash/worker.h"

// Bounds the whole device session: from now, `seconds` (0: no bound).
void SetSessionDeadline(double seconds);

class StopPolicy {
public:
    explicit StopPolicy(Workflow kind) : kind(kind) {}
    // Takes the presses since the last call and checks the deadline; may
    // abort the process (AbortCommand). `result` gets the cancel flag.
    void Check(WorkflowResult &result);

private:
    void Press(WorkflowResult &result);

    Workflow kind;
    bool warned = false;
    std::chrono::steady_clock::time_point warnedAt;
};
