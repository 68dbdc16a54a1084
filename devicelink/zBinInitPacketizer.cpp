#include "devicelink/zbin.h"

Packetizer *zBinInitPacketizer(void *storage, int size, QueueReader *reader, int capacity)
{
    if (!storage || capacity < 0 || size < capacity + int(ZBIN_OVERHEAD))
        return nullptr;
    Packetizer *p = static_cast<Packetizer *>(storage);
    p->queue = reader;
    p->capacity = capacity;
    p->state = 0;
    p->badFrames = 0;
    p->buffer = static_cast<unsigned char *>(storage) + ZBIN_OVERHEAD;
    p->wp = p->buffer;
    p->remaining = 0;
    return p;
}
