// One request frame, one reply frame: send, wait, retry on silence.
#include "targetlib/transact.h"

#include <chrono>

#include "targetlib/libstate.h"

namespace {

using Clock = std::chrono::steady_clock;

TransactTimes Times;

// Seconds since `since`; moves `since` on to now.
double Lap(Clock::time_point &since)
{
    Clock::time_point now = Clock::now();
    double s = std::chrono::duration<double>(now - since).count();
    since = now;
    return s;
}

// Transmit buffer, reused by every call: holds the largest frame.
unsigned char buf[2048];
static_assert(sizeof buf >= 6 + 1144, "room for the largest frame");

// Drops the bytes already received; a quiet line costs no wait: only the
// bytes the port reports as received are read.
void DropReceived()
{
    unsigned char c;
    int n = Port.RxBytes();
    while (n > 0 && Port.GetChar(&c) == 0) {
        if (--n == 0)
            n = Port.RxBytes();  // and what came in meanwhile
    }
}

// Reads and drops until one read times out: the device has had at least one
// read timeout of quiet line when this returns (or kQuietLineLimitMs passed
// with the line still talking).
void AwaitQuietLine()
{
    const long t0 = TickMs();
    unsigned char c;
    while (Port.GetChar(&c) == 0 && TickMs() - t0 < kQuietLineLimitMs) {
    }
}

// Drops stale input (see Transact) and any complete frame already queued; a
// partly received frame stays with the packetizer.
void FlushStaleInput()
{
    if (QuietLineDue) {
        Clock::time_point t = Clock::now();
        AwaitQuietLine();
        QuietLineDue = false;
        Times.quietDrains++;
        Times.quietSeconds += Lap(t);
    } else {
        DropReceived();
    }
    while (zBinGetPacket(Pktzr)) {
    }
}

// Milliseconds the frame takes on the wire at the port's rate, rounded up.
long WireTimeMs(int frameBytes)
{
    unsigned long baud = Port.BaudRate();
    if (baud == 0)
        return 0;
    unsigned long bits = (unsigned long)frameBytes * 10 * 1000;
    return long((bits + baud - 1) / baud);
}

// Reads the line for up to `limit` ms; true with the status and payload of
// the first well-formed reply frame.
bool AwaitReply(long limit, unsigned char &status, std::string &payload)
{
    long t0 = TickMs();
    unsigned char c;
    while (TickMs() - t0 < limit) {
        if (Port.GetChar(&c) != 0) {
            if (Port.LineLost())
                return false;  // the device is gone: nothing will come
            continue;
        }
        zQueueWriteChar(hwRx, c);
        const unsigned char *frame = zBinGetPacket(Pktzr);
        // A long-form frame with an impossible pad count is taken as damaged.
        if (frame && UnpackReply(frame, payload)) {
            status = frame[0];
            return true;
        }
    }
    return false;
}

}  // namespace

bool Transact(unsigned char &code, std::string &payload, int timeout)
{
    if (payload.size() > size_t(kMaxPayload)) {
        TraceError("  ERR:  A request of %u bytes does not fit in one frame.\n", unsigned(payload.size()));
        return false;
    }
    int length = BuildFrame(buf, code, payload);
    Times.calls++;
    Clock::time_point t = Clock::now();
    FlushStaleInput();
    Times.drainSeconds += Lap(t);
    // Each attempt's time-out starts once the request has left the wire.
    long limit = timeout + WireTimeMs(length);
    unsigned char status;
    std::string reply;
    for (int attempt = 0; attempt < 3; attempt++) {
        Port.PutArray(buf, length);
        Times.requests++;
        Times.sendSeconds += Lap(t);
        bool answered = AwaitReply(limit, status, reply);
        Times.waitSeconds += Lap(t);
        if (answered) {
            code = status;
            payload.swap(reply);
            return true;
        }
        if (Port.LineLost())
            break;  // no attempt can reach a device that is gone
    }
    return false;
}

TransactTimes GetTransactTimes()
{
    return Times;
}

void ResetTransactTimes()
{
    Times = TransactTimes();
}

std::string GetTargetErrorString(unsigned char code)
{
    static const char *const texts[] = {
        "Unknown Error Code",
        "Can't decrypt packet payload",
        "Bad flash program block length",
        "Flash write error",
        "Flash verify error",
        "Flash erase error",
        "Invalid flash region",
        "Flash not blank",
        "Unknown command",
        "Unknown field",
        "No string data",
        "Internal error",
    };
    LastDevErr = code;
    LastErr = code == DevErrNotBlank ? ErrNotBlank : code == DevErrNoString ? ErrNoString : ErrTarget;
    return texts[code < sizeof texts / sizeof *texts ? code : 0];
}

bool ClassifyReply(bool ok, unsigned char status, const std::string &payload, const char *noReply)
{
    if (!ok) {
        TraceError("%s", noReply);
        LastErr = ErrNoResponse;
        return false;
    }
    if (status == 0) {
        LastErr = ErrNone;
        return true;
    }
    if (status == 1) {
        std::string text = GetTargetErrorString(payload.empty() ? 0 : (unsigned char)payload[0]);
        TraceError("  ERR:  Operation failed with the following error:\n        %s.\n", text.c_str());
        return false;
    }
    TraceError("  ERR:  Unexpected response from target.\n");
    LastErr = ErrUnexpected;
    return false;
}
