// The folder of the running executable on Linux, from /proc/self/exe.
#include <filesystem>

#include "app/workflows.h"

std::string GetExeDir()
{
    std::error_code ec;
    const std::string p = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    const size_t sep = p.rfind('/');
    if (ec || sep == std::string::npos)
        return "";
    return p.substr(0, sep + 1);
}
