// Where the flash loaders, firmware images and release notes lie: the folder
// of the executable (or a root a front end chose), then the fixed folder
// name, the hardware option's folder and the file, joined plainly. A '/'
// inside a folder value is passed to the file system as it is.
#include "app/workflows.h"

namespace {

std::string chosenRoot;  // empty: the executable's folder

}  // namespace

std::string AppRootDir()
{
    return chosenRoot.empty() ? GetExeDir() : chosenRoot;
}

void SetAppRootDir(const std::string &dir)
{
    chosenRoot = dir;
    // cppcheck-suppress knownConditionTrueFalse ; the two separators differ on Windows only
    if (!dir.empty() && dir.back() != kPathSep && dir.back() != '/')
        chosenRoot += kPathSep;
}

std::string FlashLoaderPath(const std::string &folder, const std::string &flashLoader)
{
    return AppRootDir() + "flashloader" + kPathSep + folder + kPathSep + flashLoader;
}

std::string FirmwareFolder(const std::string &folder)
{
    return AppRootDir() + "firmware" + kPathSep + folder;
}

std::string ReleaseNotesPath(const std::string &folder)
{
    return FirmwareFolder(folder) + kPathSep + "release.txt";
}
