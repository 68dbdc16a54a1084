// The adapter of a device session's port: made fast when the session starts,
// checked once the port is open (the driver's low-latency mode may have
// lowered it then), and put back when the session ends, on every path
// (FinishCommand, which an abort runs too).
#pragma once

#include <string>

#include "devicelink/ports/adapter_timer.h"

void TuneSessionAdapter(const std::string &port, const std::string &sysfsRoot);
// Once, with the port open and the loader's rate known: a warning with the
// cost and the remedy when the timer is still slow.
void WarnIfSessionAdapterSlow(unsigned baud);
// The port's adapter came back (pulled out and plugged in again): a new
// adapter comes with its default timer, which is lowered again, and the
// warning is given again should it stay slow.
void RetuneSessionAdapter();
void RestoreSessionAdapter();

// The warning for a timer that stays at `timer.ms`: what it costs at `baud`
// (0: unknown) and how to lower it. `refusal`: why zflash could not.
std::string SlowAdapterWarning(const AdapterTimer &timer, unsigned baud, const std::string &refusal);
