// How the workers fill in their outcome (workers only; front ends read
// g_outcome from app/outcome.h).
#pragma once

#include <string>

#include "app/outcome.h"

// A fresh outcome at the worker's start.
void BeginOutcome();
// Logs `line` (the operator's "ERROR: ..." line) and records the failure
// with that sentence, in the step the worker is in; the first failure of a
// run is kept (later ones follow from it). Returns false, for
// `return LogFailure(...)`.
bool LogFailure(FailureKind kind, const std::string &line, const std::string &file = std::string(),
                const std::string &detail = std::string());
// The same for a failure the target library's last operation reported: its
// kind from LastError(), its text, block and device error code.
bool LogLibraryFailure(const std::string &line, const std::string &file = std::string());
// Records a failure that was logged already (or has no line of its own).
bool Fail(FailureKind kind, const std::string &file = std::string(),
          const std::string &detail = std::string());
// Sets ok; a failure without a recorded cause counts as internal, and a
// success reports the Done step.
void FinishOutcome(bool ok);
