#include "tools/zflash/gang_view.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/zflash/terminal.h"
#include "tools/zflash/terminal_text.h"

namespace {

void Write(FILE *stream, const std::string &text)
{
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

}  // namespace

std::string GangView::Prefix(const PortState &p)
{
    return "[" + TerminalSafe(p.port) + "] ";
}

GangView::GangView(ProgressStyle progress, bool json, LiveTerminal terminal)
    : style(progress == ProgressStyle::Bar    ? Style::Bar
            : progress == ProgressStyle::None ? Style::None
                                              : Style::Plain),
      json(json),
      block(std::move(terminal))
{
    if (style == Style::Bar)
        EnableCursorControl();  // asked for on a pipe too: the sequences go there as they are
}

void GangView::Line(FILE *stream, const std::string &line)
{
    // The live block is on standard error: a line for the same terminal goes
    // above it, a line for a pipe or file goes there as it is.
    if (style == Style::Bar && (stream == stderr || StdoutIsTerminal()))
        block.Above(line);
    else
        Write(stream, line + "\n");
}

void GangView::Log(const PortState &p, const std::string &text)
{
    Line(json ? stderr : stdout, Prefix(p) + TerminalSafe(text));
}

void GangView::Problem(const PortState &p, const std::string &text)
{
    Line(stderr, Prefix(p) + "zflash: " + TerminalSafe(text));
}

void GangView::Finished(const PortState &p)
{
    if (style == Style::Plain || style == Style::None)
        Write(stderr, Prefix(p) + TerminalSafe(GangPlainLine(p)) + "\n");
}

void GangView::Progress(size_t index, const PortState &p)
{
    if (style != Style::Plain)
        return;
    shownDecade.resize(std::max(shownDecade.size(), index + 1), 0);
    shownStep.resize(shownDecade.size());
    if (p.step != shownStep[index]) {
        shownStep[index] = p.step;
        shownDecade[index] = 0;
    }
    const int decade = std::min(std::max(p.percent, 0), 100) / 10;
    if (decade <= shownDecade[index])
        return;
    shownDecade[index] = decade;
    PortState shown = p;
    shown.percent = decade * 10;
    Write(stderr, Prefix(p) + TerminalSafe(GangPlainLine(shown)) + "\n");
}

std::vector<std::string> GangView::LiveLines(const std::vector<PortState> &ports, size_t columns) const
{
    std::vector<std::string> lines;
    for (const PortState &p : ports)
        lines.push_back(GangLine(p, columns));
    return lines;
}

void GangView::Draw(const std::vector<PortState> &ports)
{
    if (style != Style::Bar || !block.Due())
        return;
    const int columns = block.Columns();
    block.Draw(LiveLines(ports, size_t(columns)), columns);
}

void GangView::FinalDraw(const std::vector<PortState> &ports)
{
    if (style != Style::Bar)
        return;
    const int columns = block.Columns();
    block.Draw(LiveLines(ports, size_t(columns)), columns);
    block.End();
}

void GangView::Done(const std::vector<PortState> &ports, const std::vector<nlohmann::json> &records)
{
    FinalDraw(ports);
    if (json) {
        for (const nlohmann::json &record : records)
            Write(stdout, record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return;
    }
    for (const std::string &line : GangSummary(ports, SummaryWidth()))
        Write(stdout, line + "\n");
}

size_t GangView::SummaryWidth()
{
    return StdoutIsTerminal() ? size_t(TerminalColumns()) : 0;
}
