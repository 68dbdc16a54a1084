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

// Replies the device may still send for requests already answered or given
// up: each attempt that went unanswered may yet be answered (a reply that came
// after its time-out, or the device's answer to the original and to a
// repeat). Expected until `until`: one time-out of the command that sent them
// after its transaction ended.
struct {
    int count = 0;
    long until = 0;
} Owed;

// Reads and drops the replies still owed (Owed) until they have all come or
// their time is up; past it, only what has been received already is read (the
// rest of a reply under way, for kQuietLineLimitMs at most).
void AwaitOwedReplies()
{
    unsigned char c;
    while (Owed.count > 0) {
        const long past = TickMs() - Owed.until;
        if (past >= kQuietLineLimitMs || (past >= 0 && Port.RxBytes() == 0))
            break;
        if (Port.GetChar(&c) != 0) {
            if (Port.LineLost())
                break;  // a device that is gone owes nothing more
            continue;
        }
        zQueueWriteChar(hwRx, c);
        if (zBinGetPacket(Pktzr)) {
            Owed.count--;
            Times.repliesDropped++;
        }
    }
    Owed.count = 0;
}

// Drops stale input (see Transact) and any complete frame already queued; a
// partly received frame stays with the packetizer.
void FlushStaleInput()
{
    if (QuietLineDue) {
        // A fresh line: replies owed on the line before can no longer arrive.
        Owed.count = 0;
        Clock::time_point t = Clock::now();
        AwaitQuietLine();
        QuietLineDue = false;
        Times.quietDrains++;
        Times.quietSeconds += Lap(t);
    } else {
        if (Owed.count > 0) {
            Clock::time_point t = Clock::now();
            AwaitOwedReplies();
            Times.owedDrains++;
            Times.owedSeconds += Lap(t);
        }
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

// Takes one received byte; true when it completes a well-formed reply frame
// (its status and payload are then set). `heard` counts the frames.
bool TakeReplyByte(unsigned char c, unsigned char &status, std::string &payload, int &heard)
{
    zQueueWriteChar(hwRx, c);
    const unsigned char *frame = zBinGetPacket(Pktzr);
    if (!frame)
        return false;
    heard++;
    // A long-form frame with an impossible pad count is taken as damaged.
    if (!UnpackReply(frame, payload))
        return false;
    status = frame[0];
    return true;
}

// Reads the line for up to `limit` ms; true with the status and payload of
// the first well-formed reply frame. `heard` counts the frames read. What
// has arrived when the time is up is still read: a host held up past the
// reply's arrival does not send the request again for it.
bool AwaitReply(long limit, unsigned char &status, std::string &payload, int &heard)
{
    long t0 = TickMs();
    unsigned char c;
    while (TickMs() - t0 < limit) {
        if (Port.GetChar(&c) == 0) {
            if (TakeReplyByte(c, status, payload, heard))
                return true;
        } else if (Port.LineLost()) {
            return false;  // the device is gone: nothing will come
        }
    }
    for (int left = Port.RxBytes(); left > 0 && Port.GetChar(&c) == 0; left--) {
        if (TakeReplyByte(c, status, payload, heard))
            return true;
    }
    return false;
}

// After a transaction of `sent` requests of which `heard` were answered: the
// replies still to come, expected for one `timeout` from now.
void Owe(int sent, int heard, int timeout)
{
    Owed.count = sent > heard ? sent - heard : 0;
    Owed.until = TickMs() + timeout;
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
    int sent = 0, heard = 0;
    for (int attempt = 0; attempt < 3; attempt++) {
        Port.PutArray(buf, length);
        sent++;
        Times.requests++;
        Times.sendSeconds += Lap(t);
        bool answered = AwaitReply(limit, status, reply, heard);
        Times.waitSeconds += Lap(t);
        if (answered) {
            Owe(sent, heard, timeout);
            code = status;
            payload.swap(reply);
            return true;
        }
        if (Port.LineLost())
            break;  // no attempt can reach a device that is gone
    }
    Owe(sent, heard, timeout);
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
