#include "devicelink/ports/sysfs_tty.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

std::string SysfsTtyName(const std::string &port, const std::string &sysfsRoot)
{
    const fs::path classTty = fs::path(sysfsRoot.empty() ? "/sys" : sysfsRoot) / "class" / "tty";
    fs::path at = port;
    std::error_code ec;
    for (int links = 0; links < 16 && !at.empty(); ++links) {
        std::string name = at.filename().string();
        if (!name.empty() && name != "." && name != ".." && fs::exists(classTty / name, ec))
            return name;
        const fs::path target = fs::read_symlink(at, ec);
        if (ec)
            return std::string();
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    return std::string();
}

std::string ReadSysfsAttribute(const std::string &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
}
