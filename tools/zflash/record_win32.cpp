// The record's file and the station's name on Windows.
#include "tools/zflash/record.h"

#include <windows.h>

#include <string>

namespace {

std::wstring Wide(const std::string &utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? size_t(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string SystemMessage(DWORD code)
{
    return "Windows error " + std::to_string(code);
}

}  // namespace

bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error)
{
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\r\n";
    HANDLE file = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemMessage(GetLastError());
        return false;
    }
    // Several zflash processes may append to one file: one line at a time.
    OVERLAPPED whole = {};
    LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    DWORD written = 0;
    bool ok = WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr) && written == line.size() &&
              FlushFileBuffers(file);
    if (!ok)
        error = SystemMessage(GetLastError());
    UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(file);
    return ok;
}

std::string StationName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size))
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, name, int(size), nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, name, int(size), &utf8[0], n, nullptr, nullptr);
    return utf8;
}
