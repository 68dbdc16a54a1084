// A port's USB serial adapter, made fast for a session: its latency timer
// set to 1 ms when it is above, and the old value put back at the end. And
// what a timer that stays high costs.
#pragma once

#include <string>

#include "devicelink/ports/adapter_timer.h"

class AdapterTuning {
public:
    // Finds the timer of the adapter behind `port` and sets it to 1 ms when
    // it is above (and may be set).
    void Begin(const std::string &port, const std::string &sysfsRoot);
    // Puts back the value Begin found, when Begin changed it; once. False
    // with the reason when that is refused.
    bool Restore(std::string &error);

    const AdapterTimer &Timer() const { return timer; }
    int OriginalMs() const { return originalMs; }  // 0: no timer
    bool Lowered() const { return lowered; }
    // Why the timer could not be lowered (the system's words); empty when it
    // was, or when it needed no change, or on Windows.
    const std::string &Refusal() const { return refusal; }

private:
    AdapterTimer timer;
    int originalMs = 0;
    bool lowered = false;
    std::string refusal;
};

// A timer above this many ms is worth a warning.
constexpr int kSlowAdapterTimerMs = 2;

// How many times the line's own time program + verify take when each reply
// waits `timerMs` in the adapter: the largest block's frames at `baud`
// (1157 bytes, 10 bits a byte) plus the timer, over the frames alone.
double AdapterSlowdown(int timerMs, unsigned baud);

