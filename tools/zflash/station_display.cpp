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

std::string Lower(std::string text)
{
    if (!text.empty())
        text[0] = char(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
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

std::string StationHeader(const std::vector<PortState> &ports, double seconds)
{
    const StationFigures f = FiguresOf(ports);
    return "units " + std::to_string(f.ok) + " ok, " + std::to_string(f.current) + " current, " +
           std::to_string(f.failed) + " failed  first-pass yield " + (f.Units() ? Percent(f.Yield()) : "-") +
           "  " + PerHour(f.Units(), seconds) + " units/h  elapsed " + FormatSeconds(seconds);
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
    const std::string version = p.after.empty() ? std::string() : " v" + p.after;
    if (p.result == "ok")
        return "done" + version + " in " + FormatSeconds(p.unitSeconds);
    if (p.result == "current")
        return "current" + version;
    return "failed: " + (p.failureKind.empty() ? p.result : p.failureKind);
}

std::string StationLine(const PortState &p, size_t width)
{
    const StationFigures f = FiguresOf(p);
    const std::string counts = std::to_string(f.ok) + " ok, " + std::to_string(f.current) + " current, " +
                               std::to_string(f.failed) + " failed";
    const std::string outcome = StationOutcome(p);
    const std::string head = TerminalSafe(p.port) + "  " + Pad(StationState(p), 24);
    // The widest form that fits: everything, then without the counts, then
    // without the last unit's outcome.
    const std::string forms[] = {
        head + "  " + Pad(outcome.empty() ? "-" : outcome, 28) + "  " + counts,
        head + "  " + (outcome.empty() ? "-" : outcome),
        head,
    };
    if (width == 0)
        return forms[0];
    for (const std::string &form : forms)
        if (form.size() < width)
            return form;
    return forms[2].substr(0, width > 1 ? width - 1 : 0);
}

std::vector<std::string> StationSummary(const std::vector<PortState> &ports, double seconds)
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
    return Columns(rows);
}
