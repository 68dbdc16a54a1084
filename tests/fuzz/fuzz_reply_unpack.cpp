// Reply unpacking on frames of every length byte and pad count: the payload
// must be the data field's bytes without pad count and filler, and nothing
// outside the frame may be read (the frame is allocated to its exact size).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "devicelink/zbin.h"
#include "targetlib/transact.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    unsigned char len = data[1];
    size_t d = size_t(zBinDataLength(len));
    std::unique_ptr<unsigned char[]> frame(new unsigned char[2 + d + 2]);
    frame[0] = data[0];
    frame[1] = len;
    for (size_t i = 0; i < d + 2; i++)
        frame[2 + i] = 2 + i < size ? data[2 + i] : 0;

    std::string payload = "unchanged";
    bool ok = UnpackReply(frame.get(), payload);
    if (len < 0x80) {
        if (!ok || payload.size() != d || std::memcmp(payload.data(), frame.get() + 2, d) != 0)
            abort();
        return 0;
    }
    unsigned pad = frame[2];
    if (ok != (pad < 8))
        abort();
    if (!ok) {
        if (payload != "unchanged")
            abort();
        return 0;
    }
    if (payload.size() != d - 1 - pad || std::memcmp(payload.data(), frame.get() + 3, payload.size()) != 0)
        abort();
    return 0;
}
