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

// Keeps the start of `text` within `width` columns (bytes of ASCII; a
// cut never splits a UTF-8 sequence).
std::string Fit(const std::string &text, size_t width)
{
    if (text.size() <= width)
        return text;
    size_t cut = width;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// A long port name (a /dev/serial/by-id link) keeps its end, which tells
// the adapters apart.
std::string PortColumn(const std::string &port)
{
    const size_t kWidth = 24;
    if (port.size() <= kWidth)
        return Pad(port, kWidth);
    size_t from = port.size() - (kWidth - 3);
    while (from < port.size() && (static_cast<unsigned char>(port[from]) & 0xC0) == 0x80)
        ++from;
    return "..." + port.substr(from);
}

}  // namespace

std::string GangLine(const PortState &p, size_t width)
{
    const std::string head = PortColumn(p.port) + " " + Pad(p.device.empty() ? "-" : p.device, 16) + " ";
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
    // time, the figures; at the last the start of the line.
    const std::string forms[] = {
        head + Pad(state, 20) + bar + " " + figures + time,
        head + Pad(state, 20) + " " + figures + time,
        head + Pad(state, 20) + " " + figures,
        head + state,
    };
    if (width == 0)
        return forms[0];
    for (const std::string &form : forms)
        if (form.size() < width)
            return form;
    return Fit(forms[3], width - 1);
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

std::vector<std::string> GangSummary(const std::vector<PortState> &ports)
{
    std::vector<std::vector<std::string>> rows = {{"Port", "Device", "Installed", "Result", "Time"}};
    // Cells as the terminal shows them, so that the columns line up.
    for (const PortState &p : ports)
        rows.push_back({TerminalSafe(p.port), TerminalSafe(p.device.empty() ? "-" : p.device),
                        TerminalSafe(Installed(p.before) + " -> " + Installed(p.after)), ResultOf(p),
                        FormatSeconds(p.seconds)});
    return Columns(rows);
}
