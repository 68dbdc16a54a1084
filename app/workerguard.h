// A worker that meets an exception ends as a failure with one log line, so
// that it still frees its argument and posts its one completion message.
#pragma once

#include <exception>
#include <string>

#include "app/appstate.h"
#include "app/workeroutcome.h"

inline void LogWorkerFault(const char *what) noexcept
{
    try {
        const std::string text = what ? what : "unknown error";
        LogFailure(FailureKind::Internal, "ERROR: Internal failure: " + text + ".", std::string(), text);
    } catch (...) {
        // Nothing left to report with: the completion message still follows.
    }
}

// Runs body(), which returns true on success, with a fresh outcome that it
// completes (g_outcome); an exception counts as failure.
template <class Body>
bool RunWorkerBody(Body &&body) noexcept
{
    bool ok = false;
    try {
        BeginOutcome();
        ok = body();
    } catch (const std::exception &e) {
        LogWorkerFault(e.what());
    } catch (...) {
        LogWorkerFault(nullptr);
    }
    try {
        FinishOutcome(ok);
    } catch (...) {
        g_outcome.ok = ok;  // the failure's words could not be kept
    }
    return ok;
}
