// The folder of the running executable on Windows, as UTF-8. A drive letter
// made with "subst" is replaced by the folder it stands for, so that the files
// beside the executable are found under their real path.
#include <windows.h>

#include "app/utf16.h"
#include "app/workflows.h"

namespace {

constexpr DWORD kPathChars = 260;

// p with a substituted drive letter replaced by its folder; otherwise p.
std::wstring ResolveSubstDrive(const std::wstring &p)
{
    if (p.size() < 2 || p[1] != L':')
        return p;
    const wchar_t drive[3] = {p[0], L':', L'\0'};
    wchar_t target[kPathChars];
    if (QueryDosDeviceW(drive, target, kPathChars) == 0)
        return p;
    std::wstring folder(target);  // the first string of the answer
    if (folder.size() < 4 || folder.compare(0, 4, L"\\??\\") != 0)
        return p;
    folder.erase(0, 4);
    if (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder + p.substr(2);
}

}  // namespace

std::string GetExeDir()
{
    wchar_t buf[kPathChars];
    const DWORD n = GetModuleFileNameW(nullptr, buf, kPathChars);
    if (n == 0 || n == kPathChars)
        return "";
    const std::wstring p = ResolveSubstDrive(std::wstring(buf, n));
    const size_t sep = p.find_last_of(L"\\/");
    if (sep == std::wstring::npos)
        return "";
    return Utf8FromWide(p.substr(0, sep + 1));
}
