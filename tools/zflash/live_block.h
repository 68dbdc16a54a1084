// The live block of several ports' displays: lines redrawn in place at the
// bottom of the terminal, with other lines printed above them. Every line is
// cut to leave the terminal's last column free, so that none wraps and every
// redraw lands on the last one; the cursor is hidden while the block is up.
// A redraw writes only the lines that changed (from where they changed), an
// unchanged block nothing; after a resize the whole block is drawn anew over
// the rows its old lines take at the new width.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Where the block is drawn: standard error's terminal (TerminalOnStderr), or
// a test's.
struct LiveTerminal {
    std::function<void(const std::string &)> write;  // bytes as they are, at once
    std::function<int()> columns;  // 0: no terminal, no width to fit
    std::function<int()> rows;     // 0: not known
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(bool)> cursorHidden;  // told when the cursor is hidden or shown
};
LiveTerminal TerminalOnStderr();

class LiveBlock {
public:
    // At most this many redraws of the state a second.
    static constexpr std::chrono::milliseconds kInterval{100};

    explicit LiveBlock(LiveTerminal terminal);
    ~LiveBlock();  // End()
    LiveBlock(const LiveBlock &) = delete;
    LiveBlock &operator=(const LiveBlock &) = delete;

    // Whether a redraw is due: nothing was drawn yet, or the last redraw is
    // kInterval old (also when a line above took the block away since).
    bool Due() const;
    // The terminal's columns now (0: none); the lines for Draw are fitted to them.
    int Columns() const { return terminal.columns(); }
    // Draws `lines` (made safe, cut to `columns` - 1) over the block; no
    // more than fit the terminal's height.
    void Draw(std::vector<std::string> lines, int columns);
    // A line above the block, folded to the width (nothing of it is lost,
    // and the terminal wraps none of it): the block goes, and the Draw in
    // its turn puts it back under the line.
    void Above(const std::string &line);
    // The block stays on the terminal as it is, the cursor is shown, and
    // later lines go below it.
    void End();
    double Seconds() const;  // since the block was made

private:
    size_t RowsOnScreen(int columns) const;  // rows the drawn lines take at `columns` now

    LiveTerminal terminal;
    std::chrono::steady_clock::time_point start, last;
    std::vector<std::string> shown;  // as drawn
    int shownColumns = 0;
    bool onScreen = false, hidden = false;
};
