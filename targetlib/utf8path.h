// File-system paths are UTF-8 text inside the program. These turn such a text
// into the standard library's path (a wide path on Windows) and back, and open
// a file by it; the target library, the catalogue and the application all
// reach files through them.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

// The path that a UTF-8 text names. On Windows a text that is not UTF-8 throws
// std::filesystem::filesystem_error.
std::filesystem::path PathFromUtf8(const std::string &utf8);
// The path a name given as text means: UTF-8, or else (on Windows, a name in
// the system's code page, as a command line gives it) the system's narrow
// text. Never throws for a text that is not UTF-8.
std::filesystem::path PathOfName(const std::string &name);
// A path as UTF-8 text.
std::string Utf8FromPath(const std::filesystem::path &path);
// Opens the file `path` names for binary reading (check `in` afterwards). A
// text that is not UTF-8, such as a path in the Windows code page given on a
// command line, is opened as the system's own narrow text.
void OpenForReading(std::ifstream &in, const std::string &path);
