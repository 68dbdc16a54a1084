// Seconds on the steady clock, for every figure of elapsed time.
#pragma once

#include <chrono>

using SteadyClock = std::chrono::steady_clock;

inline double SecondsSince(SteadyClock::time_point t)
{
    return std::chrono::duration<double>(SteadyClock::now() - t).count();
}
