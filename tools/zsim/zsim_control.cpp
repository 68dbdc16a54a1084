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

// Opens the FIFO for reading and writing, so that it never reports an end
// when a writer closes it. `made`: it was made here.
int OpenFifo(const std::string &path, bool &made)
{
    struct stat st;
    made = false;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode))
            return -1;
    } else if (mkfifo(path.c_str(), 0600) == 0) {
        made = true;
    } else {
        return -1;
    }
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

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

bool ServeControl(SimDevice &device, const std::string &path, const sigset_t &stop)
{
    bool made = false;
    const int fifo = OpenFifo(path, made);
    const int signals = signalfd(-1, &stop, SFD_CLOEXEC);
    if (fifo < 0 || signals < 0) {
        std::fprintf(stderr, "zsim: cannot open the control FIFO %s\n", path.c_str());
        if (fifo >= 0)
            close(fifo);
        if (signals >= 0)
            close(signals);
        return false;
    }
    std::string pending;
    for (bool serving = true; serving;) {
        pollfd p[2] = {{signals, POLLIN, 0}, {fifo, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (p[0].revents & POLLIN)
            break;
        char buf[512];
        ssize_t n = (p[1].revents & POLLIN) ? read(fifo, buf, sizeof buf) : 0;
        if (n > 0) {
            pending.append(buf, size_t(n));
            serving = RunLines(device, pending);
        }
    }
    close(signals);
    close(fifo);
    if (made)
        unlink(path.c_str());
    return true;
}
