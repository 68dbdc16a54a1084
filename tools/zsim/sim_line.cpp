// The device thread's line work: watching the host open and close the port,
// reading and writing the pty master at the device's baud, announcing, and
// giving the fixture's operator and the adapter their turn.
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <unistd.h>

#include <algorithm>

#include "targetlib/transact.h"
#include "tools/zsim/sim_impl.h"

namespace {

const char kAnnouncement[] = "Zelvo Boot Loader";
const char kBootLog[] = "[boot] clocks up, flash ok, waiting for host\r\n";
constexpr int kIdleMs = 10;          // longest wait before the loop looks around again
constexpr int kClosedPollMs = 5;     // how often a closed line is looked at
constexpr int kWriteGiveUpMs = 2000; // a host that reads nothing for this long loses the reply

// What a byte sent at one rate looks like when read at another: framing
// errors and breaks, never a sync byte.
unsigned char Garble(unsigned char c)
{
    return (c & 0x10) ? 0xFF : 0x00;
}

}  // namespace

SimClock::duration WireTime(size_t bytes, unsigned baud)
{
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::duration<double>(bytes * 10.0 / baud));
}

void SimDevice::Impl::Pause(int ms, unsigned epoch)
{
    auto until = SimClock::now() + std::chrono::milliseconds(ms);
    while (!stopping && SimClock::now() < until && (epoch == kAnyPower || power == epoch)) {
        ServicePort(true);
        std::this_thread::sleep_for(std::min<SimClock::duration>(until - SimClock::now(),
                                                                 std::chrono::milliseconds(kIdleMs)));
    }
}

void SimDevice::Impl::WaitWire(SimClock::time_point start, size_t bytes)
{
    SimClock::time_point until;
    {
        std::lock_guard<std::mutex> lk(m);
        if (!mach.options.wireTime)
            return;
        until = start + WireTime(bytes, mach.baud);
    }
    std::this_thread::sleep_until(until);
}

// The next moment the loop must look around: an announcement, a line of a
// chattering boot log, an adapter's timer or the operator's step due, at the
// latest kIdleMs from now.
SimClock::time_point SimDevice::Impl::WakeTime()
{
    SimClock::time_point wake = SimClock::now() + std::chrono::milliseconds(kIdleMs);
    if (std::optional<SimClock::time_point> held = adapter.Deadline())
        wake = std::min(wake, *held);
    std::lock_guard<std::mutex> lk(m);
    if (mach.mode == SimMode::Announcing && mach.options.announce && !dead)
        wake = std::min(wake, nextAnnounce);
    if (Chattering())
        wake = std::min(wake, SimClock::now() + std::chrono::milliseconds(1));
    if (std::optional<SimClock::time_point> step = fixture.Plan(capturedSincePlugIn, quietSince).at)
        wake = std::min(wake, *step);
    return wake;
}

void SimDevice::Impl::Run()
{
#ifdef __linux__
    // A UART keeps time to the bit; Linux lets a sleeping thread oversleep by
    // 50 us by default, which at a few thousand exchanges a unit would count
    // as a slower device.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    while (!stopping) {
        ServicePort(true);
        OperateFixture();
        if (pty.master < 0) {  // hung up, or the adapter is pulled
            Pause(kIdleMs);
            continue;
        }
        const auto left = std::max(WakeTime() - SimClock::now(), SimClock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};
        pollfd p[2] = {{pty.master, POLLIN, 0}, {pty.watch, POLLIN, 0}};
        int r = ppoll(p, pty.watch >= 0 ? 2 : 1, &wait, nullptr);
        const bool news = r > 0 && pty.watch >= 0 && (p[1].revents & POLLIN);
        if (news && SimHostLeft(pty) && hostWasOpen) {  // perhaps back already
            OnHostClosed();
            hostWasOpen = false;
        }
        if (r > 0 && (p[0].revents & (POLLHUP | POLLERR))) {
            if (hostWasOpen)
                OnHostClosed();
            hostWasOpen = false;
            Pause(kClosedPollMs);
            continue;
        }
        if (!hostWasOpen) {
            hostWasOpen = true;
            std::lock_guard<std::mutex> lk(m);
            Log("host opened the line");
        }
        if (r > 0 && (p[0].revents & POLLIN))
            ReadInput();
        ReleaseAdapterIfDue();
        AnnounceIfDue();
        ChatterIfDue();
    }
}

void SimDevice::Impl::OnHostClosed()
{
    adapter.Clear();
    unsigned char sink[4096];
    while (read(pty.master, sink, sizeof sink) > 0) {
    }
    {
        std::lock_guard<std::mutex> lk(m);
        Log("host closed the line");
        if (mach.options.powerCycleOnClose && mach.mode != SimMode::Off)
            PowerUp();
    }
    if (!SimHostOpen(pty.master))  // a host back already has set its line up
        SimResetLine(pty);
}

void SimDevice::Impl::ReadInput()
{
    unsigned char buf[4096];
    ssize_t n = read(pty.master, buf, sizeof buf);
    if (n <= 0)
        return;
    bool garble;
    {
        std::lock_guard<std::mutex> lk(m);
        stats.bytesIn += n;
        stats.wireSecondsIn += n * 10.0 / mach.baud;
        quietSince = SimClock::now();
        if (mach.mode == SimMode::Off) {
            fixture.CountBytesWhileEmpty(size_t(n));
            return;
        }
        if (dead)
            return;
        if (SimClock::now() < deafUntil) {
            stats.bytesUnheard += n;
            Log("%zd byte(s) lost: the flash loader is still starting", n);
            return;
        }
        garble = mach.options.enforceBaud && SimHostBaud(pty.master) != mach.baud;
        if (!inputStart) {
            inputStart = SimClock::now();
            inputStartByte = bytesFed;
        }
        bytesNotFed = size_t(n);
    }
    for (ssize_t i = 0; i < n && !stopping; ++i)
        FeedByte(garble ? Garble(buf[i]) : buf[i]);
    std::lock_guard<std::mutex> lk(m);
    bytesNotFed = 0;
}

uint64_t SimDevice::Impl::BytesHeardNow()
{
    int queued = 0;
    if (pty.master < 0 || ioctl(pty.master, FIONREAD, &queued) != 0)
        queued = 0;
    std::lock_guard<std::mutex> lk(m);
    return bytesFed + bytesNotFed + uint64_t(queued);
}

void SimDevice::Impl::FeedByte(unsigned char c)
{
    std::unique_lock<std::mutex> lk(m);
    const uint64_t index = bytesFed++;
    if (bytesNotFed > 0)
        bytesNotFed--;
    if (dead || mach.mode == SimMode::Off)  // taken out while the bytes were on their way
        return;
    if (!inputStart) {
        inputStart = SimClock::now();
        inputStartByte = index;
    }
    SimClock::time_point start = *inputStart;
    const uint64_t firstByte = inputStartByte;
    const unsigned epoch = power;
    if (mach.mode == SimMode::Announcing) {
        if (SimFeedCapture(mach, c)) {
            inputStart.reset();
            lk.unlock();
            OnCapture(start, epoch);
        }
        return;
    }
    zQueueWriteChar(rxWriter, c);
    unsigned char *frame = zBinGetPacket(packetizer);
    if (!frame) {
        if (packetizer->state == 0)  // noise, or a frame dropped: no request under way
            inputStart.reset();
        return;
    }
    inputStart.reset();
    unsigned char code = frame[0];
    size_t frameBytes = 6 + zBinDataLength(frame[1]);
    std::string payload;
    if (!UnpackReply(frame, payload)) {
        Log("request %u with a damaged pad count ignored", code);
        return;
    }
    lk.unlock();
    HandleRequest(code, payload, frameBytes, start, firstByte, epoch);
}

void SimDevice::Impl::AnnounceIfDue()
{
    unsigned epoch;
    {
        std::lock_guard<std::mutex> lk(m);
        epoch = power;
        if (mach.mode != SimMode::Announcing || !mach.options.announce || dead)
            return;
        SimClock::time_point now = SimClock::now();
        if (now < nextAnnounce)
            return;
        nextAnnounce = now + std::chrono::milliseconds(std::max(1, mach.options.announceGapMs));
    }
    Send(reinterpret_cast<const unsigned char *>(kAnnouncement), sizeof kAnnouncement - 1, true, epoch);
}

bool SimDevice::Impl::Chattering() const
{
    return mach.mode == SimMode::Announcing && mach.options.chatter && !dead;
}

// One more line of the boot log, every pass of the loop (about 1 ms apart, or
// back to back at the line's rate with wire time on): the host never finds
// the line quiet for a read timeout.
void SimDevice::Impl::ChatterIfDue()
{
    unsigned epoch;
    {
        std::lock_guard<std::mutex> lk(m);
        if (!Chattering())
            return;
        epoch = power;
    }
    Send(reinterpret_cast<const unsigned char *>(kBootLog), sizeof kBootLog - 1, true, epoch);
}

// Writes bytes to the host now. The master is non-blocking: bytes the host
// has no room for are dropped when `droppable` (announcements), else waited
// for until `giveUp`. Returns the count written.
size_t SimDevice::Impl::WriteToHost(const char *data, size_t n, bool droppable, SimClock::time_point giveUp)
{
    size_t sent = 0;
    while (sent < n && !stopping) {
        ssize_t w = write(pty.master, data + sent, n - sent);
        if (w > 0) {
            sent += size_t(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && errno == EAGAIN && !droppable && SimClock::now() < giveUp) {
            pollfd p{pty.master, POLLOUT, 0};
            poll(&p, 1, kIdleMs);
            continue;
        }
        break;  // no room for an announcement, or the host went away
    }
    return sent;
}

// Hands bytes to the adapter, which passes whole packets on at once and
// holds the rest for its timer. Returns n: the adapter takes everything.
size_t SimDevice::Impl::ToAdapter(const char *data, size_t n, bool droppable)
{
    const SimClock::time_point now = SimClock::now();
    SimAdapter::Output out = adapter.Push(std::string(data, n), now, droppable);
    if (!out.bytes.empty())
        WriteToHost(out.bytes.data(), out.bytes.size(), out.droppable,
                    now + std::chrono::milliseconds(kWriteGiveUpMs));
    return n;
}

void SimDevice::Impl::ReleaseAdapterIfDue()
{
    const SimClock::time_point now = SimClock::now();
    SimAdapter::Output out = adapter.Due(now);
    if (!out.bytes.empty())
        WriteToHost(out.bytes.data(), out.bytes.size(), out.droppable,
                    now + std::chrono::milliseconds(kWriteGiveUpMs));
}

// Writes `data` to the host at the device's baud (or `atBaud`): garbled when
// the host's rate differs, paced at 10 bits a byte with wire time on, through
// the adapter when there is one. Stops when the power-up `epoch` is over or
// the adapter is pulled. False when not all of it went out.
bool SimDevice::Impl::Send(const unsigned char *data, size_t n, bool droppable, unsigned epoch, unsigned atBaud)
{
    unsigned baud;
    bool wire, enforce, viaAdapter;
    {
        std::lock_guard<std::mutex> lk(m);
        if (dead || pty.master < 0 || power != epoch)
            return false;
        baud = atBaud ? atBaud : mach.baud;
        wire = mach.options.wireTime;
        enforce = mach.options.enforceBaud;
        viaAdapter = mach.options.adapter;
        adapter.SetTimerFile(mach.options.latencyTimerFile);
    }
    std::string out(reinterpret_cast<const char *>(data), n);
    if (enforce && SimHostBaud(pty.master) != baud)
        std::transform(out.begin(), out.end(), out.begin(),
                       [](char c) { return char(Garble((unsigned char)c)); });
    size_t perChunk = wire ? std::max<size_t>(1, baud / 10000) : out.size();  // about 1 ms a chunk
    SimClock::time_point t0 = SimClock::now(), giveUp = t0 + std::chrono::milliseconds(kWriteGiveUpMs);
    size_t sent = 0;
    while (sent < n && !stopping) {
        if (wire)
            std::this_thread::sleep_until(t0 + WireTime(sent, baud));
        ServicePort(false);
        if (power != epoch || pty.master < 0)
            break;
        const size_t chunk = std::min(perChunk, n - sent);
        const size_t w = viaAdapter ? ToAdapter(out.data() + sent, chunk, droppable)
                                    : WriteToHost(out.data() + sent, chunk, droppable, giveUp);
        sent += w;
        if (w < chunk)
            break;
    }
    {
        std::lock_guard<std::mutex> lk(m);
        stats.bytesOut += sent;
        stats.wireSecondsOut += sent * 10.0 / baud;
    }
    if (wire)
        std::this_thread::sleep_until(t0 + WireTime(sent, baud));
    return sent == n;
}
