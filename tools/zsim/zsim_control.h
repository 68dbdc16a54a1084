// zsim's control FIFO: commands from a test script while the device runs.
#pragma once

#include <signal.h>

#include <string>

#include "tools/zsim/simdevice.h"

// Carries out the command lines written to the FIFO at `path` (made here
// when missing, and then removed at the end) until a signal of `stop`
// (blocked by the caller) arrives or "quit" is read. False when the FIFO
// cannot be made or opened.
bool ServeControl(SimDevice &device, const std::string &path, const sigset_t &stop);
