#include "tools/zflash/gang_display.h"

#include <algorithm>
#include <cstdio>

#include "app/phasewords.h"
#include "tools/zflash/progress_format.h"
#include "tools/zflash/terminal_text.h"

namespace {

std::string Rate(double bytesPerSecond)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f kB/s", bytesPerSecond / 1000.0);
    return buf;
}

std::string Installed(const std::string &version)
{
    return version.empty() ? "-" : "v" + version;
}

std::string ResultOf(const PortState &p)
{
    if (!p.result.empty())
        return p.result;
    return p.exitCode == 0 ? "ok" : "failed (exit " + std::to_string(p.exitCode) + ")";
}

// A long port name (a /dev/serial/by-id link) keeps its end, which tells
// the adapters apart.
std::string PortColumn(const std::string &port)
{
    const size_t kWidth = 24;
    return Pad(ShortenMiddle(TerminalSafe(port), kWidth), kWidth);
}

}  // namespace

std::string GangLine(const PortState &p, size_t width)
{
    const std::string name = PortColumn(p.port);
    const std::string head = name + " " + Pad(TerminalSafe(p.device.empty() ? "-" : p.device), 16) + " ";
    std::string state = p.finished ? ResultOf(p) : std::string(StepWords(p.step));
    std::string figures;
    if (!p.finished && p.percent >= 0) {
        char pct[8];
        std::snprintf(pct, sizeof pct, "%3d%%", std::clamp(p.percent, 0, 100));
        figures = pct;
        if (p.bytesPerSecond > 0)
            figures += "  " + Rate(p.bytesPerSecond);
    }
    const std::string bar = !p.finished && p.percent >= 0 ? " " + FormatBar(p.percent, 20) : "";
    const std::string time = "  " + FormatSeconds(p.seconds);
    // The widest form that fits: everything, then without the bar, the
    // time, the figures, the device; at the last the start of the line.
    return FirstThatFits({head + Pad(state, 20) + bar + " " + figures + time,
                          head + Pad(state, 20) + " " + figures + time,
                          head + Pad(state, 20) + " " + figures,
                          head + state,
                          name + " " + state + " " + figures,
                          name + " " + state},
                         width);
}

std::string GangPlainLine(const PortState &p)
{
    if (p.finished)
        return ResultOf(p) + " in " + FormatSeconds(p.seconds);
    std::string line = StepWords(p.step);
    if (p.percent >= 0)
        line += ": " + std::to_string(std::clamp(p.percent, 0, 100)) + "%";
    if (p.bytesPerSecond > 0)
        line += ", " + Rate(p.bytesPerSecond);
    return line;
}

std::vector<std::string> GangSummary(const std::vector<PortState> &ports, size_t width)
{
    std::vector<std::vector<std::string>> rows = {{"Port", "Device", "Installed", "Result", "Time"}};
    // Cells as the terminal shows them, so that the columns line up.
    for (const PortState &p : ports)
        rows.push_back({TerminalSafe(p.port), TerminalSafe(p.device.empty() ? "-" : p.device),
                        TerminalSafe(Installed(p.before) + " -> " + Installed(p.after)), ResultOf(p),
                        FormatSeconds(p.seconds)});
    return Columns(rows, width);
}
