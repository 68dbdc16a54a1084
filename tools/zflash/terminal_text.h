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

// `text` filled with spaces to `width` bytes (never cut).
std::string Pad(const std::string &text, size_t width);
// Rows of cells as lines: each column as wide as its widest cell, two spaces
// between columns, nothing after the last.
std::vector<std::string> Columns(const std::vector<std::vector<std::string>> &rows);
