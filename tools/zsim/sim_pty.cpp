// Pseudo-terminal creation and the host's open and close of the slave.
#include "tools/zsim/sim_pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif
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

// Watches the slave's opens and closes from now on (not where the system
// cannot: the hang-up then tells alone).
void Watch(SimPty &pty)
{
#ifdef __linux__
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd >= 0 && inotify_add_watch(fd, pty.slavePath.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(fd);
        fd = -1;
    }
    pty.watch = fd;
#else
    (void)pty;
#endif
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
    if (ok)
        Watch(pty);
    else
        SimClosePty(pty);
    return ok;
}

void SimClosePty(SimPty &pty)
{
    if (pty.master >= 0)
        close(pty.master);
    if (pty.watch >= 0)
        close(pty.watch);
    pty.master = -1;
    pty.watch = -1;
    pty.opens = pty.ownEvents = 0;
    pty.hostIn = false;
}

bool SimHostOpen(int master)
{
    pollfd p{master, 0, 0};
    return poll(&p, 1, 0) == 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool SimHostLeft(SimPty &pty)
{
    bool left = false;
#ifdef __linux__
    if (pty.watch < 0)
        return false;
    alignas(inotify_event) char buf[4096];
    ssize_t n;
    while ((n = read(pty.watch, buf, sizeof buf)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
            at += ssize_t(sizeof(inotify_event) + e->len);
            // The device's own open comes first, then its close: both are its
            // own, so they say nothing of the host.
            const bool own = pty.ownEvents > 0 && ((e->mask & IN_OPEN) ? pty.ownEvents == 2 : pty.ownEvents == 1);
            if (own)
                pty.ownEvents--;
            if (e->mask & IN_OPEN) {
                pty.opens++;
                pty.hostIn = pty.hostIn || !own;
            } else if (e->mask & IN_CLOSE) {
                pty.opens = pty.opens > 0 ? pty.opens - 1 : 0;
                if (pty.opens == 0 && pty.hostIn && !own) {
                    pty.hostIn = false;
                    left = true;
                }
            }
        }
    }
#else
    (void)pty;
#endif
    return left;
}

void SimResetLine(SimPty &pty)
{
    int s = open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (s < 0)
        return;
    if (pty.watch >= 0)
        pty.ownEvents = 2;
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
