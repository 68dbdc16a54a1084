// The words every front end shows for what a worker is doing: the window's
// title, zflash's progress lines and the live lines of several ports.
#pragma once

#include "app/outcome.h"
#include "targetlib/capture.h"

// "Opening port", "Waiting for device", ..., "Programming", "Verifying", "Done".
const char *StepWords(WorkStep step);
// The step whose blocks a progress phase sends.
WorkStep StepOfPhase(ProgressPhase phase);
// "Starting flashloader", "Programming", "Verifying"; "Working" for a phase not known.
const char *PhaseWords(int phase);
