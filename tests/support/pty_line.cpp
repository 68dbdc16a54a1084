#include "tests/support/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "devicelink/zbin.h"
#include "targetlib/transact.h"

namespace {

// Raw slave settings from the start, so nothing written before the host
// opens the port is echoed or translated.
bool MakeSlaveRaw(const char *slave)
{
    int fd = open(slave, O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    termios tio{};
    bool ok = tcgetattr(fd, &tio) == 0;
    if (ok) {
        cfmakeraw(&tio);
        ok = tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    close(fd);
    return ok;
}

// Reads what is there within waitMs; "" on silence or a closed slave.
std::string ReadSome(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, waitMs) <= 0 || !(p.revents & POLLIN))
        return "";
    char chunk[4096];
    ssize_t n = read(fd, chunk, sizeof chunk);
    return n > 0 ? std::string(chunk, size_t(n)) : "";
}

}  // namespace

std::string FrameOf(unsigned char code, const std::string &payload)
{
    unsigned char buf[2048];
    int n = BuildFrame(buf, code, payload);
    return std::string(reinterpret_cast<const char *>(buf), size_t(n));
}

PtyLine::PtyLine()
{
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0)
        return;
    const char *slave = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (slave && MakeSlaveRaw(slave))
        path = slave;
}

PtyLine::~PtyLine()
{
    stop = true;
    if (answerer.joinable())
        answerer.join();
    if (master >= 0)
        close(master);
}

void PtyLine::Send(const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

std::string PtyLine::Received(size_t atLeast, int waitMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::string got;
    do {
        got += ReadSome(master, 5);
    } while (got.size() < atLeast && std::chrono::steady_clock::now() < deadline);
    return got;
}

void PtyLine::Answer(std::function<std::string(const std::string &)> replyFn)
{
    reply = std::move(replyFn);
    answerer = std::thread([this] { AnswerLoop(); });
}

std::vector<std::string> PtyLine::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void PtyLine::AnswerLoop()
{
    while (!stop) {
        std::string got = ReadSome(master, 5);
        if (got.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // also after a hang-up
        pending += got;
        for (std::string frame = TakeFrame(); !frame.empty(); frame = TakeFrame()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(frame);
            }
            Send(reply(frame));
        }
    }
}

// The first whole frame in `pending`, removed from it; "" when none is complete.
std::string PtyLine::TakeFrame()
{
    size_t at = pending.find("\x81\xA1");
    if (at == std::string::npos || pending.size() < at + 4)
        return "";
    size_t length = 6 + size_t(zBinDataLength((unsigned char)pending[at + 3]));
    if (pending.size() < at + length)
        return "";
    std::string frame = pending.substr(at, length);
    pending.erase(0, at + length);
    return frame;
}
