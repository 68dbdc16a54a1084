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

StopDecision StopPolicy::Check(int presses)
{
    if (warned && SecondsSince(warnedAt) > kAbortConfirmSeconds) {
        warned = false;
        View().Notice("Continuing.");
    }
    for (; presses > 0; --presses) {
        StopDecision d = Press();
        if (d.action != StopDecision::GoOn)
            return d;
    }
    if (!deadlineSet || SteadyClock::now() < deadline)
        return {};
    const std::string passed = "the deadline of " + FormatOptionSeconds(deadlineSeconds) + " s has passed";
    if (kind == Workflow::Program)
        return Abort(FailureKind::Interrupted, passed +
                                                   " while programming: the device may be left without working "
                                                   "firmware." +
                                                   kRestoreAdvice);
    return Abort(FailureKind::TimedOut, passed + ".");
}

StopDecision StopPolicy::Press()
{
    const bool waiting = kind == Workflow::Capture || kind == Workflow::NextUnit;
    if (station && !waiting) {
        if (warned)
            return Abort(FailureKind::Interrupted, kind == Workflow::Program
                                                       ? std::string("aborted while programming: the device is left "
                                                                     "without working firmware.") +
                                                             kRestoreAdvice
                                                       : std::string("aborted."));
        warned = true;
        warnedAt = SteadyClock::now();
        View().Warning("no new units are taken; the unit under way is finished. Press Ctrl-C again within 5 "
                       "seconds to interrupt it.");
        return {};
    }
    if (kind == Workflow::Program) {
        if (warned)
            return Abort(FailureKind::Interrupted,
                         std::string("aborted while programming: the device is left without working firmware.") +
                             kRestoreAdvice);
        warned = true;
        warnedAt = SteadyClock::now();
        View().Warning("stopping now leaves the device without working firmware. Press Ctrl-C again within 5 "
                       "seconds to abort anyway.");
        return {};
    }
    if (cancelled)
        return Abort(FailureKind::Cancelled, "aborted.");
    cancelled = true;
    View().Notice(waiting ? "Cancelling... (Ctrl-C again to abort at once)"
                          : "Stopping... (Ctrl-C again to abort at once)");
    return {StopDecision::Cancel, FailureKind::None, std::string()};
}
