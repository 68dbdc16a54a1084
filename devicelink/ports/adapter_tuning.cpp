#include "devicelink/ports/adapter_tuning.h"

#include <cstdio>

namespace {

// Request frame of the largest block (1143 bytes of payload) and its reply.
constexpr double kLargestBlockWireBytes = 1157;

}  // namespace

void AdapterTuning::Begin(const std::string &port, const std::string &sysfsRoot)
{
    timer = FindAdapterTimer(port, sysfsRoot);
    originalMs = timer.ms;
    lowered = false;
    refusal.clear();
    if (timer.ms <= 1)
        return;
    std::string error;
    if (WriteAdapterTimer(timer, 1, error)) {
        lowered = true;
        timer.ms = 1;
    } else {
        refusal = error;
    }
}

bool AdapterTuning::Restore(std::string &error)
{
    if (!lowered)
        return true;
    lowered = false;
    if (!WriteAdapterTimer(timer, originalMs, error))
        return false;
    timer.ms = originalMs;
    return true;
}

double AdapterSlowdown(int timerMs, unsigned baud)
{
    const double wireMs = kLargestBlockWireBytes * 10 * 1000 / baud;
    return (wireMs + timerMs) / wireMs;
}

std::string SlowAdapterWarning(const AdapterTimer &timer, unsigned baud, const std::string &refusal)
{
    std::string text = "the USB serial adapter of " + timer.port;
    if (!timer.driver.empty())
        text += " (" + timer.driver + ")";
    text += " passes received bytes on only every " + std::to_string(timer.ms) + " ms (its latency timer)";
    if (!refusal.empty())
        text += ", and zflash may not lower it (" + refusal + ")";
    text += ": every block waits up to that long for its reply";
    if (baud > 0) {
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.1f", AdapterSlowdown(timer.ms, baud));
        text += ", so programming and verifying at " + std::to_string(baud) + " baud take about " + factor +
                " times as long as the line needs (more with smaller blocks)";
    }
    return text + ". " + AdapterTimerAdvice(timer) + ".";
}
