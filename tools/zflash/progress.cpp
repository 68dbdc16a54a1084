#include "tools/zflash/progress.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "app/phasewords.h"
#include "station/events.h"
#include "tools/zflash/output.h"
#include "tools/zflash/progress_format.h"
#include "tools/zflash/terminal.h"

namespace {

using Clock = std::chrono::steady_clock;
const int kPhases = 3;

std::mutex mutex;
ProgressStyle style = ProgressStyle::Plain;
double totalBytes[kPhases] = {};
Clock::time_point phaseStart[kPhases];
bool phaseStarted[kPhases] = {};
int lastDecade[kPhases] = {};
bool erasing = false;
Clock::time_point eraseStart;
unsigned spinnerTick = 0;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

Event EraseEvent(bool busy)
{
    Event e;
    e.kind = EventKind::Erase;
    e.busy = busy;
    return e;
}

bool Known(int phase) { return phase >= 0 && phase < kPhases; }

}  // namespace

void ProgressInit(ProgressStyle newStyle)
{
    std::lock_guard<std::mutex> lock(mutex);
    style = newStyle;
    for (int i = 0; i < kPhases; ++i) {
        totalBytes[i] = 0;
        phaseStarted[i] = false;
        lastDecade[i] = 0;
    }
    erasing = false;
}

void ProgressSetTotalBytes(ProgressPhase phase, double bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (Known(phase))
        totalBytes[phase] = bytes;
}

void ProgressPhaseStarted(ProgressPhase phase)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!Known(phase))
        return;
    phaseStart[phase] = Clock::now();
    phaseStarted[phase] = true;
    lastDecade[phase] = 0;
}

void ProgressReport(ProgressPhase phase, int percent)
{
    std::lock_guard<std::mutex> lock(mutex);
    ProgressFigures figures;
    figures.percent = percent;
    if (Known(phase)) {
        if (!phaseStarted[phase]) {
            phaseStart[phase] = Clock::now();
            phaseStarted[phase] = true;
        }
        figures.totalBytes = totalBytes[phase];
        figures.seconds = SecondsSince(phaseStart[phase]);
    }
    switch (style) {
    case ProgressStyle::Bar:
        ShowLive(LiveProgressLine(PhaseWords(phase), figures));
        if (percent >= 100)
            EndLive();
        return;
    case ProgressStyle::Events: {
        Event e;
        e.kind = EventKind::Progress;
        e.step = StepOfPhase(phase);
        e.percent = percent;
        e.bytes = figures.totalBytes;
        e.seconds = figures.seconds;
        EmitEvent(e);
        return;
    }
    case ProgressStyle::None:
        return;
    case ProgressStyle::Plain:
        break;
    }
    int decade = percent / 10;
    if (Known(phase) && decade > lastDecade[phase]) {
        lastDecade[phase] = decade;
        figures.percent = decade * 10;  // a line at every whole tenth, whatever the blocks' sizes
        PrintNotice(PlainProgressLine(PhaseWords(phase), figures));
    }
}

void ProgressEraseBusy(bool busy)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (busy) {
        erasing = true;
        eraseStart = Clock::now();
        spinnerTick = 0;
        if (style == ProgressStyle::Bar)
            ShowLive(LiveEraseLine(0, spinnerTick));
        EmitEvent(EraseEvent(true));
        return;
    }
    if (!erasing)
        return;
    erasing = false;
    std::string took = FormatSeconds(SecondsSince(eraseStart));
    if (style == ProgressStyle::Bar) {
        ShowLive(LiveEraseLine(SecondsSince(eraseStart), spinnerTick) + "  done");
        EndLive();
    } else if (style == ProgressStyle::Plain) {
        PrintNotice("Erasing: done in " + took);
    }
    EmitEvent(EraseEvent(false));
}

void ProgressTick()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (style == ProgressStyle::Bar && erasing)
        ShowLive(LiveEraseLine(SecondsSince(eraseStart), ++spinnerTick));
}

ProgressStyle ProgressStyleFor(const std::string &mode)
{
    if (mode == "bar")
        return ProgressStyle::Bar;
    if (mode == "plain")
        return ProgressStyle::Plain;
    if (mode == "none")
        return ProgressStyle::None;
    const char *term = std::getenv("TERM");
    const bool dumb = term && std::strcmp(term, "dumb") == 0;
    return StderrIsTerminal() && !dumb ? ProgressStyle::Bar : ProgressStyle::Plain;
}
