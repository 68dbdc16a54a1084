#include "devicelink/zbin.h"

int zBinPacketClose(unsigned char *buffer, unsigned char *end)
{
    int written = int(end - (buffer + 4));
    int d = written;
    unsigned char len = (unsigned char)written;
    if (written > 127) {
        d = (written + 7) & ~7;  // the bytes past the written data travel as they are
        len = (unsigned char)(0x80 | (d / 8 - 16));
    }
    buffer[3] = len;
    unsigned char s1 = 0, s2 = 0;
    for (unsigned char *p = buffer + 2; p < buffer + 4 + d; p++) {
        s1 = (unsigned char)(s1 + *p);
        s2 = (unsigned char)(s2 + s1);
    }
    buffer[4 + d] = s1;
    buffer[5 + d] = s2;
    return 4 + d + 2;
}
