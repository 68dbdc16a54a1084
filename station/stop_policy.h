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

// What the presses of one device session have done so far: a warning given
// stays in force across the session's workflows (a capture, a query, a
// program step), so the second press within 5 seconds means the same
// whichever workflow it falls in. A new session starts afresh.
struct PressMemory {
    bool cancelled = false;  // a wait was given up
    bool warned = false;     // the warning before stopping a unit under way was given
    SteadyClock::time_point warnedAt;
};

class StopPolicy {
public:
    // `station`: a press stops the taking of new units; a unit identified is
    // finished unless a second press comes within 5 seconds.
    StopPolicy(Workflow kind, bool station, PressMemory &memory) : kind(kind), station(station), memory(memory) {}
    // `presses`: Ctrl-C presses since the last call; `step`: the step under
    // way; `waiting`: no device is captured yet. Cancel: the wait is to be
    // given up (once); Abort: the session ends now, its worker running.
    // What the operator is to be told meanwhile goes to the session's view.
    // `now` is the clock's time (a parameter for tests).
    // `ending`: the process is being ended by the system: stop at once.
    StopDecision Check(int presses, WorkStep step, bool waiting, SteadyClock::time_point now = SteadyClock::now(),
                       bool ending = false);

private:
    StopDecision Press(WorkStep step, bool waiting, SteadyClock::time_point now);

    Workflow kind;
    bool station;
    PressMemory &memory;
};
