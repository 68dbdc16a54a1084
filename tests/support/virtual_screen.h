// A terminal's screen in a test: the bytes a live display writes, rendered
// as a terminal would (autowrap at the last column, scrolling into the
// scrollback, a resize that reflows wrapped lines as VTE, Windows Terminal
// and tmux do), so that a test sees what an operator would: wrapped lines,
// copies of a line left behind, a hidden cursor. It knows printable UTF-8
// (CJK and emoji two columns wide), CR, LF, and the sequences the displays
// use: cursor up, down, forward (A, B, C), erase in line (K), erase below
// (J), hide and show the cursor (?25l, ?25h); anything else is counted.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class VirtualScreen {
public:
    VirtualScreen(size_t columns, size_t rows);
    void Write(const std::string &bytes);
    // The window resized; `reflow`: wrapped lines are joined and wrapped anew
    // (else rows are cut, as xterm does).
    void Resize(size_t columns, bool reflow);
    // Every row, the scrollback's first, without trailing spaces.
    std::vector<std::string> Rows() const;
    // How many rows (scrollback included) start with `text`.
    size_t RowsStartingWith(const std::string &text) const;

    size_t wraps = 0;          // characters that went on the next row by autowrap
    size_t lastColumn = 0;     // characters written into the last column
    size_t unknown = 0;        // sequences and controls it does not know
    bool cursorVisible = true;

private:
    struct Row {
        std::vector<std::string> cells;  // one character each; "" after a wide one
        bool wrapped = false;            // goes on in the next row
    };
    size_t Top() const { return rows.size() - height; }
    void LineFeed();
    void Put(const std::string &glyph, size_t width);
    void Csi(const std::string &params, char final);

    size_t width, height;
    std::vector<Row> rows;  // scrollback, then the screen's `height` rows
    size_t row = 0, column = 0;
    bool pendingWrap = false;
};
