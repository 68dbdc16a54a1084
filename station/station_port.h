// A station's port: unit after unit, each plugged into the fixture (which
// powers it up), captured, identified, programmed and verified (or verified
// only, when it holds the station's image already), and recorded; then the
// next power-up is awaited on the same port, which stays open (closing it
// could reset the unit just done into its boot loader). A USB adapter
// unplugged and plugged back is waited for under its name.
#pragma once

#include <functional>

#include "station/device_session.h"
#include "station/session.h"

struct StationHooks {
    // A fresh result for the next unit, where the front end can see it.
    std::function<DeviceResult &()> newUnit;
    // A unit ended (its record is due): its result and exit code.
    std::function<void(DeviceResult &unit, int exitCode)> unitDone;
    // Ctrl-C presses (and SIGTERM, SIGHUP) since the last call.
    std::function<int()> takeInterrupts;
    // Asked once a unit is identified, before anything else is done to it:
    // false leaves it untouched and unrecorded, and the port takes no more
    // (a bound on the units reached). Unset: every unit is taken.
    std::function<bool()> mayTake;
};

// No more units are taken: the wait for one ends, a unit under way is
// finished. Any thread may ask.
void StopTakingUnits();
bool StoppedTakingUnits();

// Runs the port until no more units are taken. `options.session`: the port,
// the image (or the version) and the retries; skip-if-current is always on.
// `deadline` (seconds, 0: none) bounds each unit's session from its capture.
// The exit code: 0 when every unit ended ok or current, 1 when a unit failed,
// 2 when the image is refused, 3 when the port cannot be opened at the start.
int RunStationPort(const SessionOptions &options, double deadline, const StationHooks &hooks);
