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

void OpenForReading(std::ifstream &in, const std::string &path)
{
    try {
        in.open(PathFromUtf8(path), std::ios::binary);
        return;
    } catch (const fs::filesystem_error &) {
        // not UTF-8: the system's code page
    }
    in.open(path, std::ios::binary);
}
