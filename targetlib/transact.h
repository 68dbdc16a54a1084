// Command transaction: one request frame, one reply frame, retried on silence.
#pragma once

#include <string>

// Command codes (block commands come in pairs 100 apart: the lower code for
// blocks whose flags have bit 0 set).
enum : unsigned char {
    CmdRamBlock = 0, CmdRamStart = 1, CmdReset = 2, CmdQuery = 3, CmdGetInfo = 4,
    CmdProgram = 90, CmdVerify = 91, CmdErase = 92, CmdBlankCheck = 93,
    CmdRamBlockAlt = 100, CmdProgramAlt = 190, CmdVerifyAlt = 191,
};

// Largest payload of one request or reply.
constexpr int kMaxPayload = 1143;

// Longest wait for a fresh line to fall quiet before the first request.
constexpr long kQuietLineLimitMs = 500;

// Sends `code` with `payload`, waits up to `timeout` ms (plus the request's own
// time on the wire) for a reply, three attempts. On true, `code` holds the
// reply status and `payload` its payload; on false both are unchanged.
// Stale input is dropped first: on a running exchange only what has already
// arrived; on a fresh line (port opened, device captured, rate changed)
// everything until the line has been quiet for one read timeout, so that the
// device gets that quiet time before the first request (a line that does not
// fall quiet within kQuietLineLimitMs is sent to anyway).
// Replies carry no sequence number, so a reply is never left to be taken for
// the answer to a later request: when the last transaction sent more
// requests than it read replies (an attempt timed out), the replies still
// owed are first waited for and dropped, up to one `timeout` of that
// transaction after it ended. A clean exchange owes nothing and waits for
// nothing. A reply that comes after its attempt timed out, during a later
// attempt of the same request, is that request's answer.
bool Transact(unsigned char &code, std::string &payload, int timeout);

// Where Transact's time went, summed over its calls since the last reset:
// dropping stale input, handing requests to the port, waiting for replies.
// `requests` counts the frames sent (a retry is one more); `quietDrains` the
// drains that waited for a quiet line, which `quietSeconds` of drainSeconds
// were spent in; `owedDrains` the drains that waited for replies still owed
// by an earlier transaction (`owedSeconds` of drainSeconds), and
// `repliesDropped` the owed replies they read and dropped.
struct TransactTimes {
    double drainSeconds = 0, sendSeconds = 0, waitSeconds = 0, quietSeconds = 0, owedSeconds = 0;
    unsigned long calls = 0, requests = 0, quietDrains = 0, owedDrains = 0, repliesDropped = 0;
};
TransactTimes GetTransactTimes();
void ResetTransactTimes();

// Text of a device error code; sets LastErr to 6, 7 (code 7) or 8 (code 10).
std::string GetTargetErrorString(unsigned char code);

// The common classification after Transact: prints the error lines and sets
// LastErr; true for status 0. `noReply` is the line printed when ok is false.
bool ClassifyReply(bool ok, unsigned char status, const std::string &payload,
                   const char *noReply = "  ERR:  No response from target.\n");

// Lays `payload` out in a frame for `code` in `buf` (room for 6 + 1144
// bytes): short form up to 127 bytes, else pad count, payload and filler to a
// multiple of 8. Returns the frame length. The payload must not exceed
// kMaxPayload bytes.
int BuildFrame(unsigned char *buf, unsigned char code, const std::string &payload);

// Unpacks the payload of a received frame (pointer to its code byte). False
// for a long-form frame whose pad count is 8 or more or exceeds its data.
bool UnpackReply(const unsigned char *frame, std::string &payload);
