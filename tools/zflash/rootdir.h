// Which folder zflash reads flashloader/ and firmware/ from.
#pragma once

#include <functional>
#include <string>

struct RootDirSources {
    std::string option;   // --root; empty when not given
    std::string env;      // ZFLASH_ROOT; empty when unset
    std::string exeDir;   // the running executable's folder; empty when unknown
    std::string dataDir;  // the installed data folder; empty in a build without one
};

// --root, else ZFLASH_ROOT, else the executable's folder when it holds
// flashloader/ (a build tree, an unpacked archive, the Windows install),
// else the installed data folder, else the executable's folder.
std::string ChooseRootDir(const RootDirSources &sources,
                          const std::function<bool(const std::string &)> &hasFlashLoader);

// True when `dir` holds a folder flashloader/.
bool HasFlashLoaderFolder(const std::string &dir);
