// Why a serial device cannot be opened: missing, busy, not permitted or no
// serial port at all.
#include "devicelink/ports/ports.h"

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

PortDiagnosis Found(PortDiagnosis::Problem problem, const std::string &system = std::string())
{
    PortDiagnosis d;
    d.problem = problem;
    d.system = system;
    return d;
}

PortDiagnosis PermissionDenied(const struct stat &st)
{
    PortDiagnosis d = Found(PortDiagnosis::NoPermission);
    if ((st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        d.group = GroupOf(st);
    return d;
}

}  // namespace

PortDiagnosis DiagnosePort(const std::string &port)
{
    struct stat st {};
    if (stat(port.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return Found(PortDiagnosis::Missing);
        return Found(PortDiagnosis::Other, std::strerror(errno));
    }
    int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        if (error == EACCES || error == EPERM)
            return PermissionDenied(st);
        if (error == EBUSY)
            return Found(PortDiagnosis::Busy);
        return Found(PortDiagnosis::Other, std::strerror(error));
    }
    PortDiagnosis d;
    if (!isatty(fd))
        d.problem = PortDiagnosis::NotSerial;
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        d.problem = PortDiagnosis::Busy;
    close(fd);
    return d;
}
