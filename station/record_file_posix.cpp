// The record's file and the station's name on POSIX systems.
#include "station/record_file.h"

#include "station/record.h"
#include "station/record_file_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

RecordFileCalls &RecordFileSystemCalls()
{
    static RecordFileCalls calls = {::write, ::fsync};
    return calls;
}

namespace {

// How long a record waits for another zflash to finish its line.
constexpr auto kLockPatience = std::chrono::seconds(10);

std::string SystemError(int error) { return std::strerror(error); }

// The log file opened for appending and locked: a regular file only (a FIFO
// or a device would block or swallow the record), never waiting without end.
class LockedLog {
public:
    LockedLog(const std::string &path, std::string &error)
    {
        fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
        if (fd < 0) {
            error = SystemError(errno);
            return;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            error = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > giveUp) {
                error = errno == EWOULDBLOCK ? "another program holds its lock" : SystemError(errno);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        locked = true;
    }
    ~LockedLog()
    {
        if (fd >= 0)
            close(fd);  // releases the lock
    }
    LockedLog(const LockedLog &) = delete;
    LockedLog &operator=(const LockedLog &) = delete;

    bool Ready() const { return locked; }

    // Appends `line` on a line of its own, whole or not at all, and flushes
    // it to the disk.
    bool Append(const std::string &line, std::string &error)
    {
        struct stat st {};
        if (fstat(fd, &st) != 0) {
            error = SystemError(errno);
            return false;
        }
        const off_t size = st.st_size;
        char last = '\n';
        if (size > 0 && pread(fd, &last, 1, size - 1) != 1) {
            error = SystemError(errno);
            return false;
        }
        const std::string text = (last == '\n' ? "" : "\n") + line;
        if (WriteAll(text) && RecordFileSystemCalls().fsync(fd) == 0)
            return true;
        error = SystemError(errno);
        // A torn line would cost the next record too: take it back.
        if (ftruncate(fd, size) == 0)
            fsync(fd);
        return false;
    }

private:
    bool WriteAll(const std::string &text)
    {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = RecordFileSystemCalls().write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    errno = EIO;
                return false;
            }
            done += size_t(n);
        }
        return true;
    }

    int fd = -1;
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
    return log.Ready() && log.Append(RecordLine(record) + "\n", error);
}

std::string StationName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}
