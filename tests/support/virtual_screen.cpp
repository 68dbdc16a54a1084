#include "tests/support/virtual_screen.h"

#include <algorithm>

namespace {

// The terminal's idea of a wide character (narrower than the display's own
// count, as a real terminal's is).
bool Wide(unsigned c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0x1F300 && c <= 0x1FAFF);
}

}  // namespace

VirtualScreen::VirtualScreen(size_t columns, size_t rowCount) : width(columns), height(rowCount), rows(rowCount) {}

void VirtualScreen::LineFeed()
{
    pendingWrap = false;
    if (++row == rows.size())
        rows.emplace_back();  // the top row goes into the scrollback
}

void VirtualScreen::Put(const std::string &glyph, size_t w)
{
    if (pendingWrap || column + w > width) {
        rows[row].wrapped = true;
        LineFeed();
        column = 0;
        ++wraps;
    }
    std::vector<std::string> &cells = rows[row].cells;
    cells.resize(std::max(cells.size(), column + w), " ");
    cells[column] = glyph;
    if (w == 2)
        cells[column + 1] = "";
    column += w;
    if (column == width) {
        ++lastColumn;
        column = width - 1;
        pendingWrap = true;
    }
}

void VirtualScreen::Csi(const std::string &params, char final)
{
    const size_t n = params.empty() || params[0] == '?' ? 1 : std::max(1, std::stoi(params));
    pendingWrap = false;
    std::vector<std::string> &cells = rows[row].cells;
    if (final == 'A')
        row = std::max(Top(), row >= n ? row - n : 0);
    else if (final == 'B')
        row = std::min(rows.size() - 1, row + n);
    else if (final == 'C')
        column = std::min(width - 1, column + n);
    else if (final == 'K' && params.empty())
        cells.resize(std::min(cells.size(), column));
    else if (final == 'J' && params.empty()) {
        cells.resize(std::min(cells.size(), column));
        for (size_t r = row + 1; r < rows.size(); ++r)
            rows[r] = Row();
    } else if (params == "?25" && (final == 'l' || final == 'h'))
        cursorVisible = final == 'h';
    else
        ++unknown;
}

void VirtualScreen::Write(const std::string &bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0x1b && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            size_t end = i + 2;
            while (end < bytes.size() && !(bytes[end] >= 0x40 && bytes[end] <= 0x7E))
                ++end;
            if (end == bytes.size())
                return;
            Csi(bytes.substr(i + 2, end - i - 2), bytes[end]);
            i = end + 1;
        } else if (c == '\r') {
            column = 0;
            pendingWrap = false;
            ++i;
        } else if (c == '\n') {
            column = 0;  // as a terminal in its usual mode (LF becomes CR LF)
            LineFeed();
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            ++unknown;
            ++i;
        } else {
            const size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            unsigned code = n == 1 ? c : c & (0xFF >> (n + 1));
            for (size_t k = 1; k < n && i + k < bytes.size(); ++k)
                code = code << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
            Put(bytes.substr(i, n), Wide(code) ? 2 : 1);
            i += n;
        }
    }
}

void VirtualScreen::Resize(size_t columns, bool reflow)
{
    std::vector<Row> next;
    size_t cursorRow = 0, cursorColumn = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        // The logical line from r on, and where the cursor is in it.
        std::vector<std::string> line;
        size_t at = std::string::npos;
        for (;; ++r) {
            if (r == row)
                at = line.size() + column;
            line.insert(line.end(), rows[r].cells.begin(), rows[r].cells.end());
            if (!reflow || !rows[r].wrapped || r + 1 == rows.size())
                break;
        }
        if (!reflow && line.size() > columns)
            line.resize(columns);
        const size_t first = next.size();
        do {
            Row part;
            const size_t take = std::min(columns, line.size());
            part.cells.assign(line.begin(), line.begin() + take);
            line.erase(line.begin(), line.begin() + take);
            part.wrapped = !line.empty();
            next.push_back(part);
        } while (!line.empty());
        if (at != std::string::npos) {
            cursorRow = std::min(first + at / columns, next.size() - 1);
            cursorColumn = std::min(at % columns, columns - 1);
        }
    }
    while (next.size() < height)
        next.emplace_back();
    rows = next;
    row = cursorRow;
    column = cursorColumn;
    width = columns;
    pendingWrap = false;
}

std::vector<std::string> VirtualScreen::Rows() const
{
    std::vector<std::string> text;
    for (const Row &r : rows) {
        std::string line;
        for (const std::string &cell : r.cells)
            line += cell;
        text.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
    return text;
}

size_t VirtualScreen::RowsStartingWith(const std::string &text) const
{
    size_t n = 0;
    for (const std::string &r : Rows())
        n += r.rfind(text, 0) == 0 ? 1 : 0;
    return n;
}
