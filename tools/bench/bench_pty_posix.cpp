// Pty helpers for the benchmarks' peers, and the receive-rate peer.
#include "tools/bench/bench_pty_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/bench/bench.h"

int OpenPeerPty(std::string &slave)
{
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    slave = ptsname(fd);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

bool ReadExactly(int fd, unsigned char *buf, size_t n, int ms)
{
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    size_t got = 0;
    while (got < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, int(left)) <= 0)
            return false;
        ssize_t r = read(fd, buf + got, n - got);
        if (r > 0)
            got += size_t(r);
        else if (r < 0 && errno != EINTR && errno != EAGAIN)
            return false;  // EIO: nobody has the slave open; poll waits for it
    }
    return true;
}

bool WriteAll(int fd, const unsigned char *buf, size_t n)
{
    size_t sent = 0;
    while (sent < n) {
        ssize_t r = write(fd, buf + sent, n - sent);
        if (r > 0)
            sent += size_t(r);
        else if (r < 0 && errno != EINTR && errno != EAGAIN)
            return false;
    }
    return true;
}

namespace {

volatile sig_atomic_t Stop = 0;

void OnSignal(int)
{
    Stop = 1;
}

// Serves requests until stopped: 'S' and a 4-byte big-endian count give
// that many bytes of the pattern 0, 1, .. 255, 0, ...
void ServeRequests(int fd)
{
    unsigned char req[5];
    while (!Stop) {
        if (!ReadExactly(fd, req, 1, 200) || req[0] != 'S')
            continue;
        if (!ReadExactly(fd, req + 1, 4, 1000))
            continue;
        unsigned long n = (unsigned long)req[1] << 24 | (unsigned long)req[2] << 16 | req[3] << 8 | req[4];
        std::vector<unsigned char> data(n);
        for (unsigned long i = 0; i < n; ++i)
            data[i] = (unsigned char)(i & 0xFF);
        WriteAll(fd, data.data(), n);
    }
}

}  // namespace

int BenchPeer(const std::vector<std::string> &args)
{
    const std::string link = Option(args, "--link", "");
    std::string slave;
    int fd = OpenPeerPty(slave);
    if (fd < 0 || link.empty()) {
        std::fprintf(stderr, "zbench peer: --link PATH (and a free pty)\n");
        return 2;
    }
    unlink(link.c_str());
    if (symlink(slave.c_str(), link.c_str()) != 0) {
        std::perror("zbench peer: symlink");
        return 1;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    // Keeps the line "hung up" from the master's view harmless: a held slave
    // descriptor makes reads wait instead of failing with EIO.
    int hold = open(slave.c_str(), O_RDWR | O_NOCTTY);
    std::fprintf(stderr, "zbench peer: line on %s\n", slave.c_str());
    ServeRequests(fd);
    if (hold >= 0)
        close(hold);
    unlink(link.c_str());
    close(fd);
    return 0;
}
