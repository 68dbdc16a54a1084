#include "tools/zflash/adapter_session.h"

#include <mutex>

#include "devicelink/ports/adapter_tuning.h"
#include "tools/zflash/output.h"

namespace {

// The main thread tunes and restores; an abort restores while the worker runs.
std::mutex mutex;
AdapterTuning tuning;
bool warned = false;

}  // namespace

void TuneSessionAdapter(const std::string &port, const std::string &sysfsRoot)
{
    std::lock_guard<std::mutex> lock(mutex);
    tuning.Begin(port, sysfsRoot);
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
        PrintWarning(SlowAdapterWarning(timer, baud, refusal));
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
    PrintWarning("could not put the latency timer of the adapter of " + port + " back to " + std::to_string(ms) +
                 " ms (" + error + ").");
}
