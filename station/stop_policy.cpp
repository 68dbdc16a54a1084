#include "station/stop_policy.h"

#include <cstdio>

#include "station/session_view.h"

namespace {

const double kAbortConfirmSeconds = 5;
const char *const kRestoreAdvice = " Run zflash program again to restore it.";

bool deadlineSet = false;
double deadlineSeconds = 0;
SteadyClock::time_point deadline;

StopDecision Abort(FailureKind kind, const std::string &message)
{
    return {StopDecision::Abort, kind, message};
}

// Stopped in `step` of a `kind` workflow: what that means for the device.
// Before anything was written the session ends as `unwritten` says.
StopDecision StoppedIn(Workflow kind, WorkStep step, const std::string &why, FailureKind unwritten)
{
    if (kind == Workflow::Program && (step == WorkStep::Erase || step == WorkStep::Program))
        return Abort(FailureKind::Interrupted,
                     why + " while programming: the device may be left without working firmware." + kRestoreAdvice);
    if (kind == Workflow::Program && step == WorkStep::Verify)
        return Abort(FailureKind::Interrupted, why + " while verifying what was programmed: whether the device "
                                                     "holds the image is not known." + kRestoreAdvice);
    return Abort(unwritten, why + " before anything was written to the device: it is left as it was.");
}

}  // namespace

std::string FormatOptionSeconds(double seconds)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", seconds);
    return buf;
}

void SetSessionDeadline(double seconds)
{
    deadlineSet = seconds > 0;
    deadlineSeconds = seconds;
    deadline = SteadyClock::now() +
               std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
}

StopDecision StopPolicy::Check(int presses, WorkStep step, bool waiting, SteadyClock::time_point now, bool ending)
{
    if (ending)
        return waiting ? Abort(FailureKind::Cancelled, "the system is ending zflash (the console closed, log-off or "
                                                       "shutdown): nothing was written.")
                       : StoppedIn(kind, step, "the system ended zflash (the console closed, log-off or shutdown)",
                                   FailureKind::Cancelled);
    if (memory.warned && std::chrono::duration<double>(now - memory.warnedAt).count() > kAbortConfirmSeconds) {
        memory.warned = false;
        View().Notice("Continuing.");
    }
    for (; presses > 0; --presses) {
        StopDecision d = Press(step, waiting, now);
        if (d.action != StopDecision::GoOn)
            return d;
    }
    if (!deadlineSet || now < deadline)
        return {};
    const std::string passed = "the deadline of " + FormatOptionSeconds(deadlineSeconds) + " s has passed";
    if (waiting)
        return Abort(FailureKind::TimedOut, passed + ".");
    return StoppedIn(kind, step, passed, FailureKind::TimedOut);
}

StopDecision StopPolicy::Press(WorkStep step, bool waiting, SteadyClock::time_point now)
{
    // A unit under way is finished: its device is never left half-done by
    // one press. Outside a station only programming is such a unit.
    const bool underWay = station ? !waiting : kind == Workflow::Program;
    if (underWay) {
        if (memory.warned)
            return StoppedIn(kind, step, "aborted", FailureKind::Cancelled);
        memory.warned = true;
        memory.warnedAt = now;
        View().Warning(station ? "no new units are taken; the unit under way is finished. Press Ctrl-C again "
                                 "within 5 seconds to interrupt it."
                               : "stopping now leaves the device without working firmware. Press Ctrl-C again "
                                 "within 5 seconds to abort anyway.");
        return {};
    }
    if (memory.cancelled)
        return Abort(FailureKind::Cancelled, "aborted.");
    memory.cancelled = true;
    View().Notice(waiting ? "Cancelling... (Ctrl-C again to abort at once)"
                          : "Stopping... (Ctrl-C again to abort at once)");
    return {StopDecision::Cancel, FailureKind::None, std::string()};
}
