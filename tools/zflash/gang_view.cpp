#include "tools/zflash/gang_view.h"

#include <cstdio>

#include "tools/zflash/terminal.h"
#include "tools/zflash/terminal_text.h"

namespace {

void Write(FILE *stream, const std::string &text)
{
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
}

}  // namespace

GangView::GangView(ProgressStyle progress, bool json)
    : style(progress == ProgressStyle::Bar && EnableCursorControl() ? Style::Bar
            : progress == ProgressStyle::None                        ? Style::None
                                                                     : Style::Plain),
      json(json)
{
}

void GangView::Above(const std::string &line)
{
    Erase();
    Write(stderr, line + "\n");
}

void GangView::Erase()
{
    if (drawn == 0)
        return;
    Write(stderr, "\x1b[" + std::to_string(drawn) + "A\r\x1b[J");
    drawn = 0;
}

void GangView::Log(const GangPort &p, const std::string &text)
{
    if (style != Style::Bar && !json)
        Write(stdout, "[" + p.port + "] " + TerminalSafe(text) + "\n");
}

void GangView::Problem(const GangPort &p, const std::string &text)
{
    const std::string line = "[" + p.port + "] zflash: " + TerminalSafe(text);
    if (style == Style::Bar)
        Above(line);
    else
        Write(stderr, line + "\n");
}

void GangView::Finished(const GangPort &p)
{
    if (style == Style::Plain || style == Style::None)
        Write(stderr, "[" + p.port + "] " + GangPlainLine(p) + "\n");
}

void GangView::Draw(const std::vector<GangPort> &ports)
{
    shownDecade.resize(ports.size(), -1);
    shownPhase.resize(ports.size());
    if (style == Style::Bar) {
        const size_t width = size_t(TerminalColumns());
        std::string block = drawn ? "\x1b[" + std::to_string(drawn) + "A" : "";
        for (const GangPort &p : ports)
            block += "\r" + TerminalSafe(GangLine(p, width)) + "\x1b[K\n";
        Write(stderr, block);
        drawn = ports.size();
        return;
    }
    if (style == Style::None)
        return;
    for (size_t i = 0; i < ports.size(); ++i) {
        const GangPort &p = ports[i];
        const int decade = p.percent < 0 ? -1 : p.percent / 10;
        if (p.finished || (decade == shownDecade[i] && p.phase == shownPhase[i]) || decade < 0)
            continue;
        shownDecade[i] = decade;
        shownPhase[i] = p.phase;
        Write(stderr, "[" + p.port + "] " + GangPlainLine(p) + "\n");
    }
}

void GangView::Done(const std::vector<GangPort> &ports, const std::vector<nlohmann::json> &records)
{
    if (style == Style::Bar)
        Draw(ports);  // the final state stays on the terminal
    if (json) {
        for (const nlohmann::json &record : records)
            Write(stdout, record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return;
    }
    for (const std::string &line : GangSummary(ports))
        Write(stdout, TerminalSafe(line) + "\n");
}
