#include "tools/zflash/station_display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/phasewords.h"
#include "tools/zflash/progress_format.h"
#include "tools/zflash/terminal_text.h"

namespace {

std::string Percent(double fraction)
{
    return std::to_string(std::lround(fraction * 100)) + "%";
}

std::string PerHour(int units, double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", seconds > 0 ? units * 3600.0 / seconds : 0.0);
    return text;
}

// "0:42", "1:02:03": whole seconds, so that the header changes once a second.
std::string Clock(double whole)
{
    if (whole >= 60)
        return FormatSeconds(whole);
    char text[16];
    std::snprintf(text, sizeof text, "0:%02d", int(std::max(whole, 0.0)));
    return text;
}

std::string Lower(std::string text)
{
    if (!text.empty())
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// "2 ok, 1 current, 0 failed"
std::string Counts(const StationFigures &f)
{
    return std::to_string(f.ok) + " ok, " + std::to_string(f.current) + " current, " + std::to_string(f.failed) +
           " failed";
}

// How the last unit ended in one word: "done", "current", "failed".
std::string OutcomeWord(const PortState &p)
{
    return p.result == "ok" ? "done" : p.result == "current" ? "current" : "failed";
}

// The same with its version or failure: "done v1.10.3", "failed: verify-mismatch".
std::string BriefOutcome(const PortState &p)
{
    if (p.result == "ok" || p.result == "current")
        return OutcomeWord(p) + (p.after.empty() ? std::string() : " v" + p.after);
    return "failed: " + (p.failureKind.empty() ? p.result : p.failureKind);
}

// A state in fewer words, for narrow terminals.
std::string BriefState(const PortState &p)
{
    const std::string state = StationState(p);
    return state == "waiting for a unit" ? "waiting" : p.adapterGone ? "no adapter" : state;
}

}  // namespace

StationFigures FiguresOf(const PortState &p)
{
    StationFigures f;
    f.ok = p.unitsOk;
    f.current = p.unitsCurrent;
    f.failed = p.unitsFailed;
    f.firstPass = p.firstPass;
    return f;
}

StationFigures FiguresOf(const std::vector<PortState> &ports)
{
    StationFigures all;
    for (const PortState &p : ports) {
        const StationFigures f = FiguresOf(p);
        all.ok += f.ok;
        all.current += f.current;
        all.failed += f.failed;
        all.firstPass += f.firstPass;
    }
    return all;
}

std::string StationHeader(const std::vector<PortState> &ports, double seconds, size_t width)
{
    const StationFigures f = FiguresOf(ports);
    const double whole = std::floor(std::max(seconds, 0.0));
    const std::string counts = Counts(f);
    const std::string yield = f.Units() ? Percent(f.Yield()) : "-";
    const std::string figures = "units " + counts + "  first-pass yield " + yield;
    const std::string rate = "  " + PerHour(f.Units(), whole) + " units/h";
    return FirstThatFits({figures + rate + "  elapsed " + Clock(whole), figures + rate, figures,
                          "units " + counts + "  yield " + yield, "units " + counts, counts},
                         width);
}

std::string StationState(const PortState &p)
{
    if (p.adapterGone)
        return "adapter removed";
    if (p.finished)
        return "stopped";
    switch (p.step) {
    case WorkStep::None:
        return "starting";
    case WorkStep::OpenPort:
    case WorkStep::WaitDevice:
        return "waiting for a unit";
    case WorkStep::Done:
        return "finishing the unit";
    default:
        break;
    }
    std::string state = Lower(StepWords(p.step));
    if (p.percent >= 0)
        state += " " + std::to_string(std::clamp(p.percent, 0, 100)) + "%";
    return state;
}

std::string StationOutcome(const PortState &p)
{
    if (p.result.empty())
        return std::string();
    if (p.result == "ok")
        return BriefOutcome(p) + " in " + FormatSeconds(p.unitSeconds);
    return BriefOutcome(p);
}

size_t StationNameColumns(const std::vector<PortState> &ports, size_t width)
{
    size_t widest = 0;
    for (const PortState &p : ports)
        widest = std::max(widest, DisplayColumns(TerminalSafe(p.port)));
    return width ? std::min(widest, std::max<size_t>(10, (width - 1) / 3)) : widest;
}

std::string StationLine(const PortState &p, size_t width, size_t names, const std::string &shown)
{
    const std::string port = TerminalSafe(p.port);
    const std::string name = names ? Pad(ShortenMiddle(shown.empty() ? port : shown, names), names) : port;
    const std::string state = StationState(p);
    const StationFigures f = FiguresOf(p);
    const std::string counts = Counts(f);
    const size_t kStatus = 50;  // the counts' column
    // The last unit's outcome stays until the next unit is identified.
    const bool idle = !p.result.empty() && (p.adapterGone || p.finished || p.step <= WorkStep::Identify);
    if (!idle)
        return FirstThatFits({name + "  " + Pad(state, kStatus) + "  " + counts, name + "  " + state}, width);
    // The widest form that fits: everything, then without the counts, then
    // ever shorter words for the state and the outcome.
    const std::string last = Pad(state, 18) + "  last: " + TerminalSafe(StationOutcome(p));
    const std::string brief = TerminalSafe(BriefOutcome(p));
    return FirstThatFits({name + "  " + Pad(last, kStatus) + "  " + counts,
                          name + "  " + last,
                          name + "  " + state + "  last: " + brief,
                          name + "  " + BriefState(p) + "  " + brief,
                          name + "  " + BriefState(p) + "  " + OutcomeWord(p),
                          name + "  " + BriefState(p)},
                         width);
}

std::vector<std::string> StationSummary(const std::vector<PortState> &ports, double seconds, size_t width)
{
    std::vector<std::vector<std::string>> rows = {{"Port", "Units", "ok", "current", "failed", "yield", "units/h"}};
    auto row = [seconds](const std::string &name, const StationFigures &f) {
        return std::vector<std::string>{name,
                                        std::to_string(f.Units()),
                                        std::to_string(f.ok),
                                        std::to_string(f.current),
                                        std::to_string(f.failed),
                                        f.Units() ? Percent(f.Yield()) : "-",
                                        PerHour(f.Units(), seconds)};
    };
    for (const PortState &p : ports)
        rows.push_back(row(TerminalSafe(p.port), FiguresOf(p)));
    if (ports.size() > 1)
        rows.push_back(row("all", FiguresOf(ports)));
    return Columns(rows, width);
}
