// The record's file and the station's name on Windows.
#include "station/record_file.h"

#include "station/record.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/syserror.h"
#include "app/utf16.h"

namespace {

// How long a record waits for another zflash to finish its line.
constexpr auto kLockPatience = std::chrono::seconds(10);

// The log file opened for appending and locked: a file on a disk only (a
// pipe or a device would block or swallow the record), never waiting
// without end.
class LockedLog {
public:
    LockedLog(const std::string &path, std::string &error)
        : file(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            error = code == ERROR_ACCESS_DENIED && IsFolder(path) ? "it is a folder" : SystemErrorText(code);
            return;
        }
        if (GetFileType(file) != FILE_TYPE_DISK) {
            error = "it is not a regular file";
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
        while (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                           &whole)) {
            const DWORD code = GetLastError();
            if (code != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() > giveUp) {
                error = code == ERROR_LOCK_VIOLATION ? "another program holds its lock" : SystemErrorText(code);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        locked = true;
    }
    ~LockedLog()
    {
        if (locked)
            UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    LockedLog(const LockedLog &) = delete;
    LockedLog &operator=(const LockedLog &) = delete;

    bool Ready() const { return locked; }

    // Appends `line` on a line of its own, whole or not at all, and flushes
    // it to the disk.
    bool Append(const std::string &line, std::string &error)
    {
        LARGE_INTEGER size{};
        if (!GetFileSizeEx(file, &size)) {
            error = SystemErrorText(GetLastError());
            return false;
        }
        char last = '\n';
        DWORD got = 0;
        if (size.QuadPart > 0) {
            LARGE_INTEGER at{};
            at.QuadPart = size.QuadPart - 1;
            if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, &last, 1, &got, nullptr) ||
                got != 1) {
                error = SystemErrorText(GetLastError());
                return false;
            }
        }
        const std::string text = (last == '\n' ? "" : "\r\n") + line;
        DWORD written = 0;
        if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN) &&
            WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size() &&
            FlushFileBuffers(file))
            return true;
        error = SystemErrorText(GetLastError());
        // A torn line would cost the next record too: take it back.
        if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file))
            FlushFileBuffers(file);
        return false;
    }

private:
    static bool IsFolder(const std::string &path)
    {
        const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    HANDLE file = INVALID_HANDLE_VALUE;
    OVERLAPPED whole = {};
    bool locked = false;
};

}  // namespace

bool CheckRecordFile(const std::string &path, std::string &error)
{
    return LockedLog(path, error).Ready();
}

bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error)
{
    LockedLog log(path, error);
    return log.Ready() && log.Append(RecordLine(record) + "\r\n", error);
}

std::string StationName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size))
        return std::string();
    return Utf8FromWide(std::wstring(name, size));
}
