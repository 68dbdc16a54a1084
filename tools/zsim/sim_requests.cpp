// What the device thread does with a complete capture request or request
// frame: wire time, faults, the loaders' answer, the reply and what follows.
#include "targetlib/transact.h"
#include "tools/zsim/sim_impl.h"
#include "tools/zsim/simfaults.h"

namespace {

const unsigned char kAckGood[] = {0x81, 0xA1, 0x00, 0x00, 0x00, 0x00};
const unsigned char kAckWrong[] = {0x81, 0xA1, 0x01, 0x00, 0x01, 0x01};
const char kCaptureRequest[] = "TargetStop!";

// How long a fault holds the reply back beyond the device's own time.
int DelayMs(const SimFault &f)
{
    return f.kind == SimFault::SlowReply ? int(f.value) * 100 : f.kind == SimFault::LateReply ? int(f.value) : 0;
}

// Line noise that never holds a sync byte, so the reply after it still frames.
std::string Noise(unsigned count)
{
    std::string s(count ? count : 16, '\0');
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = (unsigned char)(0x5A + 37 * i);
        s[i] = char(c == 0x81 ? 0x7E : c);
    }
    return s;
}

}  // namespace

void SimDevice::Impl::OnCapture(SimClock::time_point start, unsigned epoch)
{
    WaitWire(start, sizeof kCaptureRequest - 1);
    SimOptions::Ack ack;
    {
        std::lock_guard<std::mutex> lk(m);
        if (power != epoch)
            return;
        stats.captures++;
        mach.record.captures++;
        capturedSincePlugIn = true;
        ResetReceive();
        ack = mach.options.ack;
        Log("capture request: captured (%s acknowledgement)",
            ack == SimOptions::AckGood ? "good" : ack == SimOptions::AckWrong ? "wrong" : "no");
    }
    const unsigned char *frame = ack == SimOptions::AckGood ? kAckGood : kAckWrong;
    const bool sent = ack != SimOptions::AckNone && Send(frame, sizeof kAckGood, false, epoch);
    std::lock_guard<std::mutex> lk(m);
    quietSince = SimClock::now();
    if (sent)
        stats.framesOut++;
}

// The device's faults and the unit's are counted alike; the device's come first.
const SimFault *SimDevice::Impl::MatchFault(unsigned char code)
{
    const SimFault *device = SimMatchFault(mach.options.faults, faultSeen, code);
    const SimFault *unit = inside ? SimMatchFault(inside->unit.faults, inside->faultSeen, code) : nullptr;
    return device ? device : unit;
}

const SimReply *SimDevice::Impl::RepeatedAnswer(unsigned char code, const std::string &payload,
                                                uint64_t firstByte, unsigned epoch) const
{
    if (mach.options.repeats != SimRepeats::Once || !answered || answered->epoch != epoch)
        return nullptr;
    const bool same = answered->code == code && answered->payload == payload;
    return same && firstByte < answered->heardBy ? &answered->reply : nullptr;
}

void SimDevice::Impl::HandleRequest(unsigned char code, const std::string &payload, size_t frameBytes,
                                    SimClock::time_point start, uint64_t firstByte, unsigned epoch)
{
    SimFault fault;
    bool faulty = false;
    std::optional<SimReply> repeated;
    {
        std::lock_guard<std::mutex> lk(m);
        if (const SimReply *r = RepeatedAnswer(code, payload, firstByte, epoch))
            repeated = *r;
        answered.reset();  // this request is the one before the next
        stats.framesIn++;
        stats.commands.push_back(code);
        Log("request %u, %zu bytes", code, payload.size());
        if (power != epoch)
            return;  // the unit was taken out as the request arrived
        int limit = mach.options.closeAfterRequests;
        if (limit >= 0 && ++requests > limit) {
            dead = true;
            Log("line dead after %d requests", limit);
            return;
        }
        if (const SimFault *f = MatchFault(code)) {
            fault = *f;
            faulty = true;
            Log("fault %s on request %u", SimFaultName(fault.kind), code);
        }
    }
    WaitWire(start, frameBytes);
    SimReply reply;
    if (faulty && fault.kind == SimFault::DropReply)
        return;
    if (faulty && fault.kind == SimFault::CloseLine) {
        std::lock_guard<std::mutex> lk(m);
        dead = true;
        if (fault.value)
            HangUp();
        return;
    }
    if (faulty && fault.kind == SimFault::Reseat) {
        {
            std::lock_guard<std::mutex> lk(m);
            Reseat();
        }
        FlushEvents();
        return;
    }
    if (faulty && fault.kind == SimFault::Unplug) {
        {
            std::lock_guard<std::mutex> lk(m);
            PullAdapter(int(fault.value));
        }
        FlushEvents();
        return;
    }
    if (faulty && fault.kind == SimFault::ErrorCode) {
        reply = SimFail((unsigned char)fault.value);
    } else if (faulty && fault.kind == SimFault::OddStatus) {
        reply.status = (unsigned char)fault.value;
    } else if (repeated) {
        std::lock_guard<std::mutex> lk(m);
        reply = *repeated;
        stats.repeatsAnswered++;
        Log("request %u repeated: answered again, not carried out again", code);
    } else {
        std::lock_guard<std::mutex> lk(m);
        if (power != epoch)
            return;
        reply = SimAnswer(mach, code, payload);
    }
    Pause(reply.busyMs, epoch);
    if (faulty && !repeated)  // a repeat answered again needs no work to be late with
        Pause(DelayMs(fault), epoch);
    {
        std::lock_guard<std::mutex> lk(m);
        const SimClock::time_point heard = start + (mach.options.wireTime ? WireTime(frameBytes, mach.baud)
                                                                          : SimClock::duration::zero());
        stats.deviceSeconds += std::chrono::duration<double>(SimClock::now() - heard).count();
    }
    SendReply(code, payload, reply, faulty ? &fault : nullptr, epoch);
}

void SimDevice::Impl::SendReply(unsigned char code, const std::string &request, const SimReply &r,
                                const SimFault *fault, unsigned epoch)
{
    // Counted before the reply starts: a host that has its answer sends its
    // next request at once, and that one is no repeat.
    const uint64_t heardBy = BytesHeardNow();
    unsigned char frame[6 + 1144];
    int n = BuildFrame(frame, r.status, r.payload.substr(0, kMaxPayload));
    if (fault && fault->kind == SimFault::CorruptReply)
        frame[n - 1] ^= 0xFF;
    if (fault && fault->kind == SimFault::Noise) {
        std::string noise = Noise(fault->value);
        Send(reinterpret_cast<const unsigned char *>(noise.data()), noise.size(), false, epoch);
    }
    // The loader takes over before its start is answered (at the boot
    // loader's rate), so that whoever has seen the reply finds it running.
    unsigned replyBaud = 0;
    if (r.after == SimAfter::StartLoader) {
        std::lock_guard<std::mutex> lk(m);
        if (power != epoch)
            return;
        replyBaud = mach.baud;
        SimStartLoader(mach, r.loaderBaud);
        ResetReceive();
        Log("flash loader running at %u baud", mach.baud);
    }
    bool sent = Send(frame, size_t(n), false, epoch, replyBaud);
    std::lock_guard<std::mutex> lk(m);
    quietSince = SimClock::now();
    if (power != epoch)
        return;  // the unit is gone: nothing follows its reply
    if (sent)
        stats.framesOut++;
    // After a reply that starts the loader or powers the device up again, a
    // repeat cannot find the device as it answered.
    if (r.after == SimAfter::Nothing) {
        SimReply again = r;
        again.busyMs = 0;
        answered = Answered{code, request, again, heardBy, epoch};
    }
    if (mach.options.adapter)
        stats.adapterTimers.emplace_back(code, adapter.TimerMs());
    Log("reply status %u, %zu bytes%s", r.status, r.payload.size(), sent ? "" : " (not delivered)");
    if (r.after == SimAfter::StartLoader)
        deafUntil = SimClock::now() + std::chrono::milliseconds(mach.options.loaderDeafMs);
    else if (r.after == SimAfter::PowerCycle)
        PowerUp();
}

// The device drops the line altogether: the host's port reports a hang-up.
// Only on request, since Wine's server takes a closed master badly.
void SimDevice::Impl::HangUp()
{
    SimClosePty(pty);
    Log("line hung up");
}
