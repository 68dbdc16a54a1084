// The folder of the running executable on Windows. A drive letter made with
// "subst" is replaced by the folder it stands for, so that the files beside
// the executable are found under their real path.
#include <windows.h>

#include "app/workflows.h"

namespace {

constexpr DWORD kPathChars = 260;

// p with a substituted drive letter replaced by its folder; otherwise p.
std::string ResolveSubstDrive(const std::string &p)
{
    if (p.size() < 2 || p[1] != ':')
        return p;
    const char drive[3] = {p[0], ':', '\0'};
    char target[kPathChars];
    if (QueryDosDeviceA(drive, target, kPathChars) == 0)
        return p;
    std::string folder(target);  // the first string of the answer
    if (folder.size() < 4 || folder.compare(0, 4, "\\??\\") != 0)
        return p;
    folder.erase(0, 4);
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return folder + p.substr(2);
}

}  // namespace

std::string GetExeDir()
{
    char buf[kPathChars];
    const DWORD n = GetModuleFileNameA(nullptr, buf, kPathChars);
    if (n == 0 || n == kPathChars)
        return "";
    const std::string p = ResolveSubstDrive(std::string(buf, n));
    const size_t sep = p.find_last_of("\\/");
    if (sep == std::string::npos)
        return "";
    return p.substr(0, sep + 1);
}
