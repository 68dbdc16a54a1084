// The control FIFO's loop: one poll on the FIFO and on the stop signals.
#include "tools/zsim/zsim_control.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "tools/zsim/sim_control.h"

namespace {

// Carries out the complete lines in `pending`; false on "quit".
bool RunLines(SimDevice &device, std::string &pending)
{
    for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string reply;
        SimControlResult r = SimControl(device, line, reply);
        std::fputs(reply.c_str(), r == SimControlResult::Bad ? stderr : stdout);
        std::fflush(stdout);
        if (r == SimControlResult::Quit)
            return false;
    }
    return true;
}

}  // namespace

ControlFifo::~ControlFifo()
{
    if (fd >= 0)
        close(fd);
    if (made)
        unlink(path.c_str());
}

// Read and write: the FIFO never reports an end when a writer closes it.
bool ControlFifo::Open(const std::string &at)
{
    struct stat st;
    path = at;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode))
            return false;
    } else if (mkfifo(path.c_str(), 0600) == 0) {
        made = true;
    } else {
        return false;
    }
    fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0;
}

void ControlFifo::Serve(SimDevice &device, const sigset_t &stop)
{
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC);
    if (signals < 0) {  // no commands then, but a stop signal still ends zsim
        int sig = 0;
        sigwait(&stop, &sig);
        return;
    }
    std::string pending;
    for (bool serving = true; serving;) {
        pollfd p[2] = {{signals, POLLIN, 0}, {fd, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            serving = errno == EINTR;
            continue;
        }
        if (p[0].revents & POLLIN)
            break;
        char buf[512];
        const ssize_t n = (p[1].revents & POLLIN) ? read(fd, buf, sizeof buf) : 0;
        if (n > 0) {
            pending.append(buf, size_t(n));
            serving = RunLines(device, pending);
        }
    }
    close(signals);
}
