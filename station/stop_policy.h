// What Ctrl-C (and SIGTERM, SIGHUP) and the session's deadline mean while a
// workflow runs: cancel a wait, warn before stopping a device being written,
// abort on a second press. A decision the caller acts on; it ends nothing.
#pragma once

#include <string>

#include "app/clock.h"
#include "app/outcome.h"

enum class Workflow {
    Capture,
    NextUnit,  // a station's wait for its next unit, on the port left open
    Query,
    Program,
    Verify,
};

struct StopDecision {
    enum Action { GoOn, Cancel, Abort } action = GoOn;
    FailureKind kind = FailureKind::None;  // Abort: how the session ends
    std::string message;                    // Abort: the sentence for the operator
};

// "1", "0.5", "90": seconds as the options --timeout and --deadline give them.
std::string FormatOptionSeconds(double seconds);

// Bounds the whole device session: from now, `seconds` (0: no bound).
void SetSessionDeadline(double seconds);

class StopPolicy {
public:
    // `station`: a press stops the taking of new units; a unit under way is
    // finished unless a second press comes within 5 seconds.
    explicit StopPolicy(Workflow kind, bool station = false) : kind(kind), station(station) {}
    // `presses`: Ctrl-C presses since the last call. Cancel: the wait is to
    // be given up (once); Abort: the session ends now, its worker running.
    // What the operator is to be told meanwhile goes to the session's view.
    StopDecision Check(int presses);

private:
    StopDecision Press();

    Workflow kind;
    bool station;
    bool cancelled = false;
    bool warned = false;
    SteadyClock::time_point warnedAt;
};
