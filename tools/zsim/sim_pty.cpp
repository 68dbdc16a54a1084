// Pseudo-terminal creation and the host's open and close of the slave.
#include "tools/zsim/sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool SetRaw(int fd)
{
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

bool SimOpenPty(SimPty &pty)
{
    int m = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m < 0)
        return false;
    char name[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
        close(m);
        return false;
    }
    fcntl(m, F_SETFD, FD_CLOEXEC);
    pty.master = m;
    pty.slavePath = name;
    // One open and close of the slave: raw, so nothing the device sends is
    // echoed back, and the master reports the hang-up from now on.
    int s = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    bool ok = s >= 0 && SetRaw(s);
    if (s >= 0)
        close(s);
    if (!ok)
        SimClosePty(pty);
    return ok;
}

void SimClosePty(SimPty &pty)
{
    if (pty.master >= 0)
        close(pty.master);
    pty.master = -1;
}

bool SimHostOpen(int master)
{
    pollfd p{master, 0, 0};
    return poll(&p, 1, 0) == 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SimResetLine(const std::string &slavePath)
{
    int s = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s < 0)
        return;
    tcflush(s, TCIOFLUSH);
    SetRaw(s);
    close(s);
}

bool SimMakeLink(const std::string &path, const std::string &target)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || unlink(path.c_str()) != 0)
            return false;
    }
    return symlink(target.c_str(), path.c_str()) == 0;
}
