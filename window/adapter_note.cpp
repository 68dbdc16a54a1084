// A USB serial adapter that makes every block wait: said once per port, at
// the first capture on it, with what it costs and how to change it.
#include <cstdio>
#include <set>

#include "app/appstate.h"
#include "devicelink/ports/adapter_timer.h"
#include "devicelink/ports/adapter_tuning.h"
#include "window/window.h"

void NoteSlowAdapter(const std::string &port, unsigned baud)
{
    static std::set<std::string> told;
    const AdapterTimer timer = FindAdapterTimer(port, std::string());
    if (timer.ms <= kSlowAdapterTimerMs || !told.insert(port).second)
        return;
    std::string line = "WARNING: The USB serial adapter on " + port + " (" + timer.driver +
                       ") passes on what the device sends only every " + std::to_string(timer.ms) +
                       " ms (its latency timer), and every block waits for it.";
    if (baud > 0) {
        char factor[32];
        std::snprintf(factor, sizeof factor, "%.1f", AdapterSlowdown(timer.ms, baud));
        line += " Programming and verifying at " + std::to_string(baud) + " baud take about " + factor +
                " times as long as they need.";
    }
    Log(line);
    Log("    " + AdapterTimerAdvice(timer) + ".");
}
