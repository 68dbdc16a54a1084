#include "devicelink/ports/adapter_tuning.h"


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
