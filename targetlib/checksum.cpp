#include "targetlib/checksum.h"

#include <cstddef>

uint32_t CalcFletcher32(const unsigned char *data, int words)
{
    if (words <= 0)
        return 0;
    // The sums are kept modulo 2^32, which wraps them modulo 2^16 as well;
    // they are cut to 16 bits once, at the end. A run of n words adds
    // n * s1 + n * w0 + (n - 1) * w1 + ... + w(n-1) to the sum of sums: taken
    // a run at a time, the inner loop has no carried dependency and the
    // compiler vectorises it.
    constexpr size_t kRun = 16;
    uint32_t s1 = 0, s2 = 0;
    const unsigned char *p = data;
    int left = words;
    for (; left >= int(kRun); left -= int(kRun), p += 2 * kRun) {
        uint32_t sum = 0, weighted = 0;
        for (size_t i = 0; i < kRun; i++) {
            const uint32_t w = (uint32_t(p[2 * i]) << 8) | p[2 * i + 1];
            sum += w;
            weighted += uint32_t(kRun - i) * w;
        }
        s2 += uint32_t(kRun) * s1 + weighted;
        s1 += sum;
    }
    for (; left > 0; left--, p += 2) {
        s1 += (uint32_t(p[0]) << 8) | p[1];
        s2 += s1;
    }
    return ((s1 & 0xFFFF) << 16) | (s2 & 0xFFFF);
}

uint16_t CalcFletcher16(const unsigned char *data, int bytes)
{
    if (bytes <= 0)
        return 0;
    unsigned s1 = 0, s2 = 0;
    for (int i = 0; i < bytes; i++) {
        s1 = (s1 + data[i]) & 0xFF;
        s2 = (s2 + s1) & 0xFF;
    }
    return uint16_t((s1 << 8) | s2);
}

uint32_t ReadULong(const unsigned char **cursor)
{
    const unsigned char *p = *cursor;
    *cursor += 4;
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t ReadUShort(const unsigned char **cursor)
{
    const unsigned char *p = *cursor;
    *cursor += 2;
    return uint16_t((p[0] << 8) | p[1]);
}
