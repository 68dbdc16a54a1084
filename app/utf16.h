// Text is UTF-8 everywhere inside the program; the Win32 "W" functions take
// UTF-16. Every conversion between the two goes through these (Windows only).
#pragma once

#include <string>

// UTF-16 of a UTF-8 text. Text that is not UTF-8 (bytes in the system's code
// page, say from an older release-notes file) is read in that code page, as
// the "A" functions would have read it.
std::wstring WideFromUtf8(const std::string &text);
// UTF-8 of a UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(const std::wstring &text);
// The same for a NUL-terminated buffer (null gives "").
std::string Utf8FromWide(const wchar_t *text);
