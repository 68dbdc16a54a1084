// Payload layout inside a frame's data field (both directions).
#include <cstring>

#include "devicelink/zbin.h"
#include "targetlib/transact.h"

int BuildFrame(unsigned char *buf, unsigned char code, const std::string &payload)
{
    unsigned char *p = zBinPacketOpen(buf, code);
    int n = int(payload.size());
    if (n > 127) {
        int pad = (8 - (n + 1) % 8) % 8;
        *p++ = (unsigned char)pad;
        // The filler travels with the frame; keep it defined rather than stale.
        std::memset(p + n, 0, pad);
    }
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): binary payload, not a C string
    std::memcpy(p, payload.data(), n);
    return zBinPacketClose(buf, p + n);
}

bool UnpackReply(const unsigned char *frame, std::string &payload)
{
    unsigned char len = frame[1];
    int d = zBinDataLength(len);
    const unsigned char *data = frame + 2;
    if (len < 0x80) {
        payload.assign(reinterpret_cast<const char *>(data), d);
        return true;
    }
    int pad = data[0];
    if (pad >= 8 || 1 + pad > d)
        return false;  // no conforming sender writes this: treat as damaged
    payload.assign(reinterpret_cast<const char *>(data + 1), d - 1 - pad);
    return true;
}
