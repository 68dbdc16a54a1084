// The record's file and the station's name on POSIX systems.
#include "tools/zflash/record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool AppendRecord(const std::string &path, const nlohmann::json &record, std::string &error)
{
    const std::string line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // Several zflash processes may append to one file: one line at a time.
    flock(fd, LOCK_EX);
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    const bool ok = done == line.size() && fsync(fd) == 0;
    if (!ok)
        error = std::strerror(errno);
    close(fd);  // releases the lock
    return ok;
}

std::string StationName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}
