// ComPort on POSIX: termios for the line, poll for the waits. The descriptor
// stays non-blocking; every wait is a poll with the port's time limit.
#include "devicelink/comport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "devicelink/comport_debug.h"
#include "devicelink/comport_lowlatency.h"

namespace {

using Clock = std::chrono::steady_clock;

bool SpeedOf(unsigned int baud, speed_t &speed)
{
    static const struct { unsigned int baud; speed_t speed; } rates[] = {
        {1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600},
        {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto &r : rates) {
        if (r.baud == baud) {
            speed = r.speed;
            return true;
        }
    }
    return false;
}

// Waits for `events` on fd for at most ms milliseconds (negative: no limit).
// True when the descriptor is ready or reports a condition to read.
bool WaitFor(int fd, short events, int ms)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    for (;;) {
        int left = -1;
        if (ms >= 0) {
            auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            left = rest.count() > 0 ? int(rest.count()) : 0;
        }
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, left);
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

// Raw 8N1, receiver on, modem status ignored, no flow control of any kind.
void MakeRaw(termios &tio)
{
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    // With VMIN 0 a read of an empty line returns 0 even on a non-blocking
    // descriptor; with 1 it fails with EAGAIN, and 0 then means hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// Sets data bits, parity and stop bits; false when the driver refuses them.
bool ApplyLine(int fd, const LineSettings &line)
{
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (line.stopBits == 1 && line.dataBits != 5)
        return false;  // one and a half stop bits exist only with 5 data bits
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= sizes[line.dataBits - 5];
    if (line.parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (line.parity == 2)
        tio.c_cflag |= PARENB;
    else if (line.parity == 3)
        tio.c_cflag |= PARENB | PARODD | CMSPAR;
    if (line.stopBits != 0)
        tio.c_cflag |= CSTOPB;  // with 5 data bits the UART sends 1.5
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool ApplySpeed(int fd, unsigned int baud)
{
    speed_t speed;
    termios tio{};
    return SpeedOf(baud, speed) && tcgetattr(fd, &tio) == 0 && cfsetispeed(&tio, speed) == 0 &&
           cfsetospeed(&tio, speed) == 0 && tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A read that failed (r < 0) or found the line hung up (r == 0: end of file)
// returns at once, again and again: wait out the read time-out instead, so
// callers polling a dead line idle as on a silent one rather than spin.
// Returns the errno to report (EIO for a hang-up).
int HungUp(ssize_t r, Clock::time_point deadline)
{
    int err = r == 0 ? EIO : errno;
    std::this_thread::sleep_until(deadline);
    return err;
}

// Reads up to n bytes, waiting at most ms milliseconds in all for them to
// arrive (0: only what is there). Returns the count; err is the errno of a
// failed read (EIO for a hang-up), else 0.
int ReadWithin(int fd, unsigned char *buf, int n, int ms, int &err)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    int got = 0;
    err = 0;
    while (got < n) {
        ssize_t r = read(fd, buf + got, size_t(n - got));
        if (r > 0) {
            got += int(r);
        } else if (r < 0 && errno == EAGAIN) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !WaitFor(fd, POLLIN, int(left.count())))
                break;
        } else if (r == 0 || errno != EINTR) {
            err = HungUp(r, deadline);
            break;
        }
    }
    return got;
}

// Reads what has arrived, up to n bytes, in one read; when nothing has, waits
// at most ms milliseconds for the first byte. Returns the count; err as for
// ReadWithin.
int ReadSome(int fd, unsigned char *buf, int n, int ms, int &err)
{
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    err = 0;
    for (;;) {
        ssize_t r = read(fd, buf, size_t(n));
        if (r > 0)
            return int(r);
        if (r < 0 && errno == EAGAIN) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !WaitFor(fd, POLLIN, int(left.count())))
                return 0;
        } else if (r == 0 || errno != EINTR) {
            err = HungUp(r, deadline);
            return 0;
        }
    }
}

// How a read or write fails once the device is gone: a hang-up (the kernel's
// EIO), a vanished USB device (ENODEV, ENXIO).
bool DeviceGoneError(int err)
{
    return err == EIO || err == ENODEV || err == ENXIO || err == EBADF;
}

long long SteadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

// Lowers DTR and RTS, which the kernel raises on open. Pseudo-terminals have
// no modem lines and refuse the request.
bool LowerModemLines(int fd)
{
    int lines = TIOCM_DTR | TIOCM_RTS;
    return ioctl(fd, TIOCMBIC, &lines) == 0 || errno == ENOTTY || errno == EINVAL;
}

}  // namespace

ComPort::ComPort() = default;

ComPort::~ComPort()
{
    UnInit();
}

int ComPort::Init(const char *dev, int readTimeoutMs)
{
    if (portState != 0)
        return 1;
    std::lock_guard<std::mutex> lock(mutex);
    rxCount = txCount = 0;
    devName = dev;
    fd = -1;
    portState = 1;
    readTimeout = readTimeoutMs;
    return 0;
}

int ComPort::OpenDevice()
{
    fd = open(devName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 2;
    // The advisory lock also keeps out openers that TIOCEXCL lets through.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return 2;
    ioctl(fd, TIOCEXCL);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return 3;
    MakeRaw(tio);
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || !LowerModemLines(fd))
        return 4;
    if (tcflush(fd, TCIOFLUSH) != 0)
        return 6;
    // Replies are a few bytes: an adapter that holds them back would add its
    // delay to every command. A driver without the mode is left alone.
    lowLatencySet = SerialLowLatencyOn(fd, serialFlags);
    return 0;
}

int ComPort::Open()
{
    if (portState != 1)
        return 1;
    {
        std::lock_guard<std::mutex> lock(mutex);
        int code = OpenDevice();
        if (code != 0) {
            lastResult = errno;
            if (fd >= 0)
                close(fd);  // a lock refused here leaves the holder's TIOCEXCL alone
            fd = -1;
            return code;
        }
        rxCount = txCount = 0;
        rxHead = rxTail = 0;
        lost = false;
        nextNameCheck = 0;
        portState = 2;
        ComPortDebugf("ComPort::Open successful.");
    }
    if (SetBaudRate(baudRate) != 0) {
        Close();
        return 4;
    }
    return 0;
}

int ComPort::Close()
{
    if (portState != 2)
        return 0;
    std::lock_guard<std::mutex> lock(mutex);
    if (fd >= 0) {
        tcflush(fd, TCIOFLUSH);
        rxHead = rxTail = 0;
        if (lowLatencySet)
            SerialLowLatencyRestore(fd, serialFlags);
        lowLatencySet = false;
        ioctl(fd, TIOCNXCL);
        close(fd);
        fd = -1;
    }
    lost = false;
    portState = 1;
    return 0;
}

int ComPort::UnInit()
{
    if (portState == 0)
        return 0;
    if (portState == 2)
        Close();
    std::lock_guard<std::mutex> lock(mutex);
    portState = 0;
    return 0;
}

int ComPort::SetLine(int dataBits, char parity, int stopBits)
{
    if (portState != 2)
        return 0;
    std::lock_guard<std::mutex> lock(mutex);
    LineSettings line{};
    const char *refusal = CheckLineSettings(dataBits, parity, stopBits, line);
    if (!refusal && !ApplyLine(fd, line))
        refusal = kLineRefused;
    if (refusal) {
        lastResult = errno;
        PrintPortRefusal(refusal, devName);
        return 1;
    }
    return 0;
}

int ComPort::SetBaudRate(unsigned int baud)
{
    if (portState == 2) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!ApplySpeed(fd, baud)) {
            lastResult = errno;
            PrintPortRefusal(kBaudRefused, devName);
            return 1;  // the line keeps its previous rate, and so does baudRate
        }
    }
    baudRate = baud;
    return 0;
}

int ComPort::TxBytes()
{
    if (portState != 2)
        return 1;
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

int ComPort::DriverQueued()
{
    int queued = 0;
    return ioctl(fd, FIONREAD, &queued) == 0 ? queued : 0;
}

int ComPort::RxBytes()
{
    if (portState != 2)
        return 0;
    return DriverQueued() + rxTail - rxHead;
}

int ComPort::FillRxBuffer()
{
    int err;
    rxHead = 0;
    rxTail = ReadSome(fd, rxBuf, int(sizeof rxBuf), readTimeout, err);
    if (err) {
        lastResult = err;
        lost = lost || DeviceGoneError(err);
        ComPortDebugf("ComPort::GetChar error %d.", err);
    }
    return rxTail;
}

int ComPort::GetChar(unsigned char *c)
{
    if (portState != 2)
        return 1;
    if (rxHead == rxTail)
        FillRxBuffer();
    return TakeBuffered(c, 1) == 1 ? 0 : 1;
}

int ComPort::GetNChars(int n, unsigned char *buf)
{
    if (portState != 2 || n <= 0)
        return -1;
    int taken = TakeBuffered(buf, n);
    if (taken == n)
        return n;
    int err;
    int got = ReadWithin(fd, buf + taken, n - taken, readTimeout, err);
    if (err) {
        lastResult = err;
        lost = lost || DeviceGoneError(err);
    }
    rxCount += unsigned(got);
    return taken + got > 0 ? taken + got : -1;
}

void ComPort::Write(const unsigned char *p, int n, bool trace)
{
    if (portState != 2)
        return;
    int sent = 0;
    while (sent < n) {
        ssize_t r = write(fd, p + sent, size_t(n - sent));
        if (r > 0) {
            sent += int(r);
            txCount += unsigned(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && errno == EAGAIN && WaitFor(fd, POLLOUT, -1))
            continue;
        lastResult = errno;
        lost = lost || DeviceGoneError(errno);
        if (trace)
            ComPortDebugf("ComPort::PutArray error %d.", lastResult);
        return;
    }
}

void ComPort::PutChar(unsigned char c)
{
    Write(&c, 1, false);
}

void ComPort::PutArray(const unsigned char *p, int n)
{
    Write(p, n, true);
}

bool ComPort::LineLost()
{
    if (portState != 2)
        return false;
    if (lost)
        return true;
    const long long now = SteadyMs();
    if (now < nextNameCheck)
        return false;
    nextNameCheck = now + 250;
    // The name now leads nowhere, or to another device (a new adapter, or a
    // new pseudo-terminal under the same link): the one opened is gone.
    struct stat opened {}, named {};
    if (fstat(fd, &opened) != 0)
        return lost = true;
    if (stat(devName.c_str(), &named) != 0)
        return lost = errno == ENOENT || errno == ENOTDIR;
    lost = named.st_dev != opened.st_dev || named.st_ino != opened.st_ino || named.st_rdev != opened.st_rdev;
    return lost;
}
