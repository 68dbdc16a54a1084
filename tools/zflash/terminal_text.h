// Text from a device or a file, made safe for a terminal: control characters
// are shown, not obeyed, so nothing can clear the screen or overwrite a line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Every C0 control character, DEL, the C1 controls (U+0080..U+009F) and bytes
// that are not UTF-8 become visible escapes (\x1b, \x0d, \u009b); tabs and
// printable UTF-8 stay as they are.
std::string TerminalSafe(const std::string &text);
// Whether every byte of `text` belongs to a valid UTF-8 sequence.
bool IsUtf8(const std::string &text);
// The same for the target library's trace, which lays out its own lines: line
// feeds stay, and so does a carriage return that ends a chunk (its progress
// lines redraw themselves); a CR before LF is dropped.
std::string TerminalSafeTrace(const std::string &text);

// Columns that `text` (as TerminalSafe gives it) takes on a terminal: one a
// character, two for a character that some terminals show wide (CJK, emoji,
// symbols): a line is never wider than it was counted.
size_t DisplayColumns(const std::string &text);
// The start of `text` that fits in `columns` (never a part of a character).
std::string CutToColumns(const std::string &text, size_t columns);
// `text` in at most `columns`: when longer, its middle gives way to "...",
// keeping its end (what tells /dev/serial/by-id/... names apart) and, from
// 23 columns, a little of its start.
std::string ShortenMiddle(const std::string &text, size_t columns);
// Each of `names` as ShortenMiddle gives it, but two names that would look
// alike (long names that differ only in their middle, such as two adapters'
// serial numbers) show the part where they differ instead: "...X892-if...".
std::vector<std::string> ShortenNames(const std::vector<std::string> &names, size_t columns);
// The first of `forms` (widest first) that is narrower than `width`, else the
// last one cut to `width` - 1: a line that leaves a terminal's last column
// free, so that no terminal wraps it. Width 0: no limit (the first form).
std::string FirstThatFits(const std::vector<std::string> &forms, size_t width);

// `text` folded into lines narrower than `width` (leaving a terminal's last
// column free), broken after a space where there is one: nothing is lost and
// no terminal wraps a line. Width 0: one line, as it is.
std::vector<std::string> FoldToColumns(const std::string &text, size_t width);

// `text` filled with spaces to `width` columns (never cut).
std::string Pad(const std::string &text, size_t width);
// Rows of cells as lines: each column as wide as its widest cell, two spaces
// between columns, nothing after the last. With `width` (a terminal's; 0:
// none) the first column's cells (the names) are shortened in the middle so
// that every line leaves the terminal's last column free, as far as they
// can give way; then the last columns are left out (down to two), and what
// still does not fit is cut.
std::vector<std::string> Columns(const std::vector<std::vector<std::string>> &rows, size_t width = 0);
