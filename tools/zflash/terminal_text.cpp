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
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::vector<std::string> Columns(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<size_t> widths;
    for (const auto &row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    std::vector<std::string> lines;
    for (const auto &row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? Pad(row[i], widths[i] + 2) : row[i];
        lines.push_back(line);
    }
    return lines;
}
