#include "tools/zflash/live_block.h"

#include <algorithm>
#include <cstdio>

#include "tools/zflash/terminal.h"
#include "tools/zflash/terminal_text.h"

namespace {

std::string Up(size_t rows)
{
    return rows ? "\x1b[" + std::to_string(rows) + "A" : std::string();  // 0 would move one
}

// Bytes at the start of both that are the same characters in the same
// columns (ASCII only: there a byte is a column).
size_t SamePrefix(const std::string &a, const std::string &b)
{
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n] && static_cast<unsigned char>(a[n]) < 0x80)
        ++n;
    return n;
}

// The line as the block draws it: safe, no tabs (their columns are the
// terminal's), cut to leave the last column free.
std::string Fitted(const std::string &line, int columns)
{
    std::string safe = TerminalSafe(line);
    std::replace(safe.begin(), safe.end(), '\t', ' ');
    return columns > 0 ? CutToColumns(safe, size_t(columns - 1)) : safe;
}

}  // namespace

LiveTerminal TerminalOnStderr()
{
    LiveTerminal t;
    t.write = [](const std::string &text) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    };
    t.columns = TerminalColumns;
    t.rows = TerminalRows;
    t.now = std::chrono::steady_clock::now;
    t.cursorHidden = CursorHidden;
    return t;
}

LiveBlock::LiveBlock(LiveTerminal terminal) : terminal(std::move(terminal))
{
    start = last = this->terminal.now();
}

LiveBlock::~LiveBlock() { End(); }

double LiveBlock::Seconds() const { return std::chrono::duration<double>(terminal.now() - start).count(); }

// A line printed above takes the block away; it comes back with the next
// redraw in its turn, so that a burst of lines costs no burst of redraws.
bool LiveBlock::Due() const { return shown.empty() || terminal.now() - last >= kInterval; }

size_t LiveBlock::RowsOnScreen(int columns) const
{
    if (columns <= 0 || columns == shownColumns)
        return shown.size();
    // A terminal made narrower may have wrapped the lines drawn for the old width.
    size_t rows = 0;
    for (const std::string &line : shown)
        rows += std::max<size_t>(1, (DisplayColumns(line) + size_t(columns) - 1) / size_t(columns));
    return rows;
}

void LiveBlock::Draw(std::vector<std::string> lines, int columns)
{
    const int rows = terminal.rows();
    if (rows > 1 && lines.size() > size_t(rows - 1)) {  // the block's top would leave the screen
        const size_t hiddenLines = lines.size() - size_t(rows - 2);
        lines.resize(size_t(rows - 2));
        lines.push_back("(" + std::to_string(hiddenLines) + " more lines: the terminal is too short)");
    }
    for (std::string &line : lines)
        line = Fitted(line, columns);
    std::string out;
    if (!hidden) {
        hidden = true;
        terminal.cursorHidden(true);
        out += kHideCursor;
    }
    if (onScreen && columns == shownColumns && lines.size() == shown.size()) {
        size_t first = 0;
        while (first < lines.size() && lines[first] == shown[first])
            ++first;
        if (first < lines.size())
            out += Up(lines.size() - first);
        for (size_t i = first; i < lines.size(); ++i) {
            if (lines[i] == shown[i]) {
                out += "\n";
                continue;
            }
            const size_t same = SamePrefix(shown[i], lines[i]);
            out += same >= 4 ? "\r\x1b[" + std::to_string(same) + "C" + lines[i].substr(same) : "\r" + lines[i];
            out += "\x1b[K\n";
        }
    } else {
        out += (onScreen ? Up(RowsOnScreen(columns)) : std::string()) + "\r\x1b[J";
        for (const std::string &line : lines)
            out += line + "\n";
    }
    if (!out.empty())
        terminal.write(out);
    shown = std::move(lines);
    shownColumns = columns;
    onScreen = true;
    last = terminal.now();
}

void LiveBlock::Above(const std::string &line)
{
    const int columns = terminal.columns();
    std::string out = onScreen ? Up(RowsOnScreen(columns)) + "\r\x1b[J" : std::string();
    onScreen = false;
    for (const std::string &piece : FoldToColumns(line, columns > 0 ? size_t(columns) : 0))
        out += piece + "\n";
    terminal.write(out);
}

void LiveBlock::End()
{
    onScreen = false;
    if (!hidden)
        return;
    terminal.write(kShowCursor);
    hidden = false;
    terminal.cursorHidden(false);
}
