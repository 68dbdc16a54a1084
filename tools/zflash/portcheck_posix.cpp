// Why a serial device cannot be opened: missing, busy or not permitted.
#include "tools/zflash/ports.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string GroupOf(const struct stat &st)
{
    struct group *g = getgrgid(st.st_gid);
    return g ? g->gr_name : std::string();
}

std::string Busy(const std::string &port)
{
    return port + " is busy: another program is using it. Close that program (a terminal "
                  "program, another zflash) and try again.";
}

std::string PermissionDenied(const std::string &port, const struct stat &st)
{
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return PermissionHint(port, groupMayUse ? GroupOf(st) : std::string());
}

}  // namespace

std::string DiagnosePort(const std::string &port)
{
    struct stat st {};
    if (stat(port.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return port + " does not exist. Run \"zflash ports\" to list the serial ports.";
        return "cannot reach " + port + ": " + std::strerror(errno) + ".";
    }
    int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        if (error == EACCES || error == EPERM)
            return PermissionDenied(port, st);
        if (error == EBUSY)
            return Busy(port);
        return "cannot open " + port + ": " + std::strerror(error) + ".";
    }
    std::string reason;
    if (!isatty(fd))
        reason = port + " is not a serial port.";
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        reason = Busy(port);
    close(fd);
    return reason;
}
