// The record's file and the station's name on Windows.
#include "tools/zflash/record.h"

#include <windows.h>

#include "app/utf16.h"

#include <string>

namespace {

std::string SystemMessage(DWORD code)
{
    return "Windows error " + std::to_string(code);
}

}  // namespace

bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error)
{
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\r\n";
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
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
    return Utf8FromWide(std::wstring(name, size));
}
