#include "devicelink/zbin.h"

unsigned char *zBinPacketOpen(unsigned char *buffer, unsigned char code)
{
    buffer[0] = ZBIN_SYNC;
    buffer[1] = ZBIN_START;
    buffer[2] = code;
    buffer[3] = 0;
    return buffer + 4;
}
