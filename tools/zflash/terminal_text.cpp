#include "tools/zflash/terminal_text.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Escape(const char *fmt, unsigned value)
{
    char buf[12];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

// Length of the valid UTF-8 sequence at `i` (0: not one).
size_t Utf8Length(const std::string &s, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n == 0 || c > 0xF4 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Overlong three- and four-byte forms, surrogates, beyond U+10FFFF.
    if ((c == 0xE0 && byte(i + 1) < 0xA0) || (c == 0xED && byte(i + 1) >= 0xA0) ||
        (c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90))
        return 0;
    return n;
}

// Appends the character at `i` safely; the index of the next one.
size_t AppendSafe(const std::string &s, size_t i, std::string &out)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '\t' || (c >= 0x20 && c < 0x7F)) {
        out += char(c);
        return i + 1;
    }
    if (c < 0x80) {
        out += Escape("\\x%02x", c);
        return i + 1;
    }
    const size_t n = Utf8Length(s, i);
    if (n == 0) {
        out += Escape("\\x%02x", c);
        return i + 1;
    }
    const unsigned char second = static_cast<unsigned char>(s[i + 1]);
    if (c == 0xC2 && second < 0xA0)  // U+0080..U+009F: the C1 controls
        out += Escape("\\u%04x", second);
    else
        out.append(s, i, n);
    return i + n;
}

// Characters that some terminal shows two columns wide: East Asian wide and
// full-width forms, and the symbol and emoji blocks (counted wide even where
// a terminal shows some narrow: a line may end early, but never wraps).
bool Wide(unsigned code)
{
    static const struct {
        unsigned from, to;
    } kWide[] = {
        {0x1100, 0x115F},   {0x231A, 0x23FF},   {0x25A0, 0x27BF},   {0x2B00, 0x2BFF},
        {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
        {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
        {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
        {0x1F000, 0x1FAFF}, {0x20000, 0x3FFFD},
    };
    for (const auto &r : kWide)
        if (code >= r.from && code <= r.to)
            return true;
    return false;
}

// The characters of `text`: where each starts and the columns it takes. A
// byte that is not UTF-8 counts as one character of one column.
struct Glyph {
    size_t at;
    size_t columns;
};
std::vector<Glyph> Glyphs(const std::string &text)
{
    std::vector<Glyph> glyphs;
    for (size_t i = 0; i < text.size();) {
        const size_t n = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8Length(text, i);
        if (n <= 1) {
            glyphs.push_back({i++, 1});
            continue;
        }
        unsigned code = static_cast<unsigned char>(text[i]) & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        glyphs.push_back({i, Wide(code) ? size_t(2) : size_t(1)});
        i += n;
    }
    return glyphs;
}

}  // namespace

bool IsUtf8(const std::string &text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t n = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8Length(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

size_t DisplayColumns(const std::string &text)
{
    size_t columns = 0;
    for (const Glyph &g : Glyphs(text))
        columns += g.columns;
    return columns;
}

std::string CutToColumns(const std::string &text, size_t columns)
{
    size_t used = 0;
    for (const Glyph &g : Glyphs(text)) {
        if (used + g.columns > columns)
            return text.substr(0, g.at);
        used += g.columns;
    }
    return text;
}

std::string ShortenMiddle(const std::string &text, size_t columns)
{
    if (DisplayColumns(text) <= columns)
        return text;
    if (columns < 5)
        return CutToColumns(text, columns);
    const size_t start = (columns - 3) / 5;  // a start too short to tell anything goes
    const std::string head = CutToColumns(text, start >= 4 ? start : 0);
    size_t room = columns - 3 - DisplayColumns(head), from = text.size();
    const std::vector<Glyph> glyphs = Glyphs(text);
    for (auto g = glyphs.rbegin(); g != glyphs.rend() && g->columns <= room; ++g) {
        room -= g->columns;
        from = g->at;
    }
    return head + "..." + text.substr(from);
}

std::vector<std::string> ShortenNames(const std::vector<std::string> &names, size_t columns)
{
    std::vector<std::string> shown;
    for (const std::string &name : names)
        shown.push_back(ShortenMiddle(name, columns));
    std::vector<std::string> out = shown;
    if (columns < 8)
        return out;
    for (size_t i = 0; i < names.size(); ++i) {
        // The longest end this name shares with another that is shown alike.
        bool clash = false;
        size_t shared = 0;
        for (size_t j = 0; j < names.size(); ++j) {
            if (j == i || shown[j] != shown[i] || names[j] == names[i])
                continue;
            clash = true;
            size_t n = 0;
            while (n < names[i].size() && n < names[j].size() &&
                   names[i][names[i].size() - 1 - n] == names[j][names[j].size() - 1 - n])
                ++n;
            shared = std::max(shared, n);
        }
        if (!clash || shared >= names[i].size())
            continue;
        // Shown from the character where they differ backwards, as much as fits.
        const std::vector<Glyph> glyphs = Glyphs(names[i]);
        const size_t differs = names[i].size() - 1 - shared;
        size_t last = 0;
        while (last + 1 < glyphs.size() && glyphs[last + 1].at <= differs)
            ++last;
        const size_t to = last + 1 < glyphs.size() ? glyphs[last + 1].at : names[i].size();
        const std::string tail = to < names[i].size() ? "..." : "";
        size_t room = columns - 3 - tail.size(), from = to;
        for (size_t g = last + 1; g > 0; --g) {
            const Glyph &glyph = glyphs[g - 1];
            if (glyph.columns > room)
                break;
            room -= glyph.columns;
            from = glyph.at;
        }
        out[i] = (from > 0 ? "..." : "") + names[i].substr(from, to - from) + tail;
    }
    return out;
}

std::vector<std::string> FoldToColumns(const std::string &text, size_t width)
{
    std::vector<std::string> lines;
    if (width < 2 || DisplayColumns(text) < width)
        return {text};
    const size_t room = width - 1;
    std::string rest = text;
    while (DisplayColumns(rest) > room) {
        std::string piece = CutToColumns(rest, room);
        const size_t space = piece.rfind(' ');
        if (space != std::string::npos && space > piece.size() / 2)
            piece.resize(space + 1);  // the break after a word, if it leaves a fair line
        lines.push_back(piece);
        rest.erase(0, piece.size());
    }
    if (!rest.empty() || lines.empty())
        lines.push_back(rest);
    return lines;
}

std::string FirstThatFits(const std::vector<std::string> &forms, size_t width)
{
    if (forms.empty())
        return std::string();
    if (width == 0)
        return forms.front();
    for (const std::string &form : forms)
        if (DisplayColumns(form) < width)
            return form;
    return CutToColumns(forms.back(), width - 1);
}

std::string TerminalSafe(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        i = AppendSafe(text, i, out);
    return out;
}

std::string TerminalSafeTrace(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const bool last = i + 1 == text.size();
        if (c == '\n' || (c == '\r' && last)) {
            out += c;
            ++i;
        } else if (c == '\r' && text[i + 1] == '\n') {
            ++i;
        } else {
            i = AppendSafe(text, i, out);
        }
    }
    return out;
}

std::string Pad(const std::string &text, size_t width)
{
    const size_t columns = DisplayColumns(text);
    return columns >= width ? text : text + std::string(width - columns, ' ');
}

namespace {

std::vector<size_t> WidthsOf(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], DisplayColumns(row[i]));
    }
    return widths;
}

}  // namespace

std::vector<std::string> Columns(const std::vector<std::vector<std::string>> &given, size_t width)
{
    std::vector<std::vector<std::string>> rows = given;
    std::vector<size_t> widths = WidthsOf(rows);
    size_t total = 0;
    for (size_t w : widths)
        total += w + 2;
    if (width > 0 && !widths.empty() && total - 2 >= width) {
        // The names give way, down to a few columns of their ends.
        constexpr size_t kNarrowest = 8;
        const size_t over = total - 2 - (width - 1);
        const size_t names = widths[0] > over + kNarrowest ? widths[0] - over : std::min(widths[0], kNarrowest);
        std::vector<std::string> firsts;
        for (const auto &row : rows)
            firsts.push_back(row.empty() ? std::string() : row[0]);
        firsts = ShortenNames(firsts, names);
        for (size_t r = 0; r < rows.size(); ++r)
            if (!rows[r].empty())
                rows[r][0] = firsts[r];
        widths = WidthsOf(rows);
        // Then the last columns give way (the least needed come last), down
        // to the names and one column.
        const auto tableWidth = [&widths] {
            size_t sum = 0;
            for (size_t w : widths)
                sum += w + 2;
            return sum - 2;
        };
        while (widths.size() > 2 && tableWidth() >= width) {
            widths.pop_back();
            for (auto &row : rows)
                if (row.size() > widths.size())
                    row.resize(widths.size());
        }
    }
    std::vector<std::string> lines;
    for (const auto &row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? Pad(row[i], widths[i] + 2) : row[i];
        // At the last (a terminal narrower than the names and one column) cut.
        lines.push_back(width > 0 && DisplayColumns(line) >= width ? CutToColumns(line, width - 1) : line);
    }
    return lines;
}
