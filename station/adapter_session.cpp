#include "station/adapter_session.h"

#include <cstdio>

#include <mutex>

#include "devicelink/ports/adapter_tuning.h"
#include "station/session_view.h"

namespace {

// The main thread tunes and restores; an abort restores while the worker runs.
std::mutex mutex;
AdapterTuning tuning;
bool warned = false;
std::string tunedPort, tunedRoot;

}  // namespace

void TuneSessionAdapter(const std::string &port, const std::string &sysfsRoot)
{
    std::lock_guard<std::mutex> lock(mutex);
    tuning.Begin(port, sysfsRoot);
    tunedPort = port;
    tunedRoot = sysfsRoot;
    warned = false;
}

void RetuneSessionAdapter()
{
    std::string error;
    std::lock_guard<std::mutex> lock(mutex);
    tuning.Restore(error);  // the old adapter is gone: nothing to put back there
    tuning.Begin(tunedPort, tunedRoot);
    warned = false;
}

void WarnIfSessionAdapterSlow(unsigned baud)
{
    AdapterTimer timer;
    std::string refusal;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (warned || tuning.OriginalMs() == 0)
            return;
        warned = true;
        timer = tuning.Timer();
        timer.ms = ReadAdapterTimer(timer);
        refusal = tuning.Refusal();
    }
    if (timer.ms > kSlowAdapterTimerMs)
        View().Warning(SlowAdapterWarning(timer, baud, refusal));
}

void RestoreSessionAdapter()
{
    std::string error, port;
    int ms;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (tuning.Restore(error))
            return;
        port = tuning.Timer().port;
        ms = tuning.OriginalMs();
    }
    View().Warning("could not put the latency timer of the adapter of " + port + " back to " + std::to_string(ms) +
                 " ms (" + error + ").");
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
