#include "targetlib/checksum.h"

uint32_t CalcFletcher32(const unsigned char *data, int words)
{
    if (words <= 0)
        return 0;
    uint32_t s1 = 0, s2 = 0;
    for (int i = 0; i < words; i++, data += 2) {
        uint32_t w = (uint32_t(data[0]) << 8) | data[1];
        s1 = (s1 + w) & 0xFFFF;
        s2 = (s2 + s1) & 0xFFFF;
    }
    return (s1 << 16) | s2;
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
