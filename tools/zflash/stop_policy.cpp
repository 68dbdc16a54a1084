#include "tools/zflash/stop_policy.h"

#include <cstdio>
#include <string>

#include "app/appstate.h"
#include "tools/zflash/finish.h"
#include "tools/zflash/interrupt.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress_format.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kAbortConfirmSeconds = 5;

bool deadlineSet = false;
double deadlineSeconds = 0;
Clock::time_point deadline;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

const char *const kRestoreAdvice = " Run zflash program again to restore it.";

}  // namespace

void SetSessionDeadline(double seconds)
{
    deadlineSet = seconds > 0;
    deadlineSeconds = seconds;
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void StopPolicy::Check(WorkflowResult &result)
{
    if (warned && SecondsSince(warnedAt) > kAbortConfirmSeconds) {
        warned = false;
        PrintNotice("Continuing.");
    }
    for (int presses = TakeInterrupts(); presses > 0; --presses)
        Press(result);
    if (!deadlineSet || Clock::now() < deadline)
        return;
    const std::string passed = "the deadline of " + FormatOptionSeconds(deadlineSeconds) + " s has passed";
    if (kind == Workflow::Program)
        AbortCommand(FailureKind::Interrupted,
                     passed + " while programming: the device may be left without working firmware." +
                         kRestoreAdvice);
    AbortCommand(FailureKind::TimedOut, passed + ".");
}

void StopPolicy::Press(WorkflowResult &result)
{
    if (kind == Workflow::Program) {
        if (warned)
            AbortCommand(FailureKind::Interrupted,
                         std::string("aborted while programming: the device is left without working firmware.") +
                             kRestoreAdvice);
        warned = true;
        warnedAt = Clock::now();
        PrintWarning("stopping now leaves the device without working firmware. Press Ctrl-C again within 5 "
                     "seconds to abort anyway.");
        return;
    }
    if (result.cancelled)
        AbortCommand(FailureKind::Cancelled, "aborted.");
    result.cancelled = true;
    g_abortCapture = true;
    PrintNotice(kind == Workflow::Capture ? "Cancelling... (Ctrl-C again to abort at once)"
                                          : "Stopping... (Ctrl-C again to abort at once)");
}
