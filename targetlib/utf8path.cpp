#include "targetlib/utf8path.h"

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string &utf8)
{
    return fs::u8path(utf8);
}

std::string Utf8FromPath(const fs::path &path)
{
    return path.u8string();
}

fs::path PathOfName(const std::string &name)
{
    try {
        return PathFromUtf8(name);
    } catch (const fs::filesystem_error &) {
        return fs::path(name);  // not UTF-8: the system's code page
    }
}

void OpenForReading(std::ifstream &in, const std::string &path)
{
    in.open(PathOfName(path), std::ios::binary);
}
