#include "tools/zflash/rootdir.h"

#include <filesystem>

std::string ChooseRootDir(const RootDirSources &sources,
                          const std::function<bool(const std::string &)> &hasFlashLoader)
{
    if (!sources.option.empty())
        return sources.option;
    if (!sources.env.empty())
        return sources.env;
    if (sources.dataDir.empty() || (!sources.exeDir.empty() && hasFlashLoader(sources.exeDir)))
        return sources.exeDir;
    return sources.dataDir;
}

bool HasFlashLoaderFolder(const std::string &dir)
{
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(dir) / "flashloader", ec);
}
