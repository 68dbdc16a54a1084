#include "tools/zflash/station_view.h"

#include <cstdio>

#include "station/record.h"
#include "tools/zflash/station_display.h"
#include "tools/zflash/terminal_text.h"

namespace {

void Write(FILE *stream, const std::string &text)
{
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

}  // namespace

StationView::StationView(ProgressStyle style, bool json, LiveTerminal terminal)
    : GangView(style, json, std::move(terminal))
{
}

std::vector<std::string> StationView::LiveLines(const std::vector<PortState> &ports, size_t columns) const
{
    std::vector<std::string> lines = {StationHeader(ports, Seconds(), columns)};
    const size_t names = StationNameColumns(ports, columns);
    std::vector<std::string> shown;
    for (const PortState &p : ports)
        shown.push_back(TerminalSafe(p.port));
    shown = ShortenNames(shown, names);
    for (size_t i = 0; i < ports.size(); ++i)
        lines.push_back(StationLine(ports[i], columns, names, shown[i]));
    return lines;
}

void StationView::Finished(const PortState &p)
{
    if (style != Style::Bar)
        Write(stderr, Prefix(p) + "stopped\n");
}

void StationView::Draw(const std::vector<PortState> &ports)
{
    if (style == Style::Bar) {
        GangView::Draw(ports);
        return;
    }
    shownState.resize(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        // The waits are worth a line; what a unit goes through has its log
        // and progress lines.
        const std::string state = StationState(ports[i]);
        const bool wait = state == "waiting for a unit" || state == "adapter removed";
        if (ports[i].finished || (wait && state == shownState[i]))
            continue;
        shownState[i] = wait ? state : std::string();
        if (wait)
            Write(stderr, Prefix(ports[i]) + state + "\n");
    }
}

void StationView::Record(size_t, const PortState &p, const nlohmann::json &record)
{
    if (json)
        Write(stdout, RecordLine(record) + "\n");
    else if (style != Style::Bar)
        Write(stderr, Prefix(p) + TerminalSafe(StationOutcome(p)) + "\n");
}

void StationView::Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &)
{
    FinalDraw(ports);
    if (json)
        return;  // every record is out already
    for (const std::string &line : StationSummary(ports, Seconds(), SummaryWidth()))
        Write(stdout, line + "\n");
}
