// Arbitrary bytes through the byte queue and the packetizer. Every frame it
// returns must be exactly the input bytes just consumed, and must check out
// under a decoder written here independently of the packetizer's own.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"

namespace {

constexpr int kQueueCapacity = 64;

void CheckFrame(const unsigned char *code, int capacity, const uint8_t *consumedEnd)
{
    const unsigned char *frame = code - 2;
    unsigned len = code[1];
    unsigned d = len < 0x80 ? len : (len - 0x80) * 8 + 128;
    if (frame[0] != 0x81 || frame[1] != 0xA1 || int(d) >= capacity - 5)
        abort();
    unsigned s1 = 0, s2 = 0;
    for (unsigned i = 0; i < 2 + d; i++) {
        s1 = (s1 + code[i]) & 0xFF;
        s2 = (s2 + s1) & 0xFF;
    }
    if (code[2 + d] != s1 || code[3 + d] != s2)
        abort();
    size_t frameLen = 6 + d;
    if (std::memcmp(consumedEnd - frameLen, frame, frameLen) != 0)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const int capacities[] = {8, 40, 300, 2048};
    int capacity = capacities[data[0] & 3];
    int chunk = 1 + data[1] % (kQueueCapacity - 1);
    data += 2;
    size -= 2;

    alignas(8) static unsigned char qbuf[kQueueCapacity + 64];
    alignas(8) static unsigned char pbuf[2048 + 64];
    QueueReader *rd;
    QueueWriter *wr;
    if (zQueueInit(qbuf, sizeof qbuf, &rd, &wr, kQueueCapacity) != 0)
        abort();
    Packetizer *p = zBinInitPacketizer(pbuf, int(capacity + ZBIN_OVERHEAD), rd, capacity);
    if (!p)
        abort();

    size_t fed = 0;
    while (fed < size) {
        size_t n = size - fed < size_t(chunk) ? size - fed : size_t(chunk);
        for (size_t i = 0; i < n; i++)
            zQueueWriteChar(wr, data[fed + i]);
        fed += n;
        while (unsigned char *code = zBinGetPacket(p)) {
            // Bytes still queued were not consumed yet.
            size_t queued = size_t((wr->wr - rd->rd + kQueueCapacity) % kQueueCapacity);
            CheckFrame(code, capacity, data + fed - queued);
        }
        if (zQueueReadChar(rd) != -1)
            abort();  // the packetizer drains the queue before returning null
    }
    return 0;
}
