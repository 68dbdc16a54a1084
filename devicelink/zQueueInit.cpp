#include "devicelink/zqueue.h"

int zQueueInit(void *storage, int size, QueueReader **reader, QueueWriter **writer, int capacity)
{
    if (capacity < 0 || size < capacity + int(ZQUEUE_OVERHEAD))
        return 1;
    unsigned char *base = static_cast<unsigned char *>(storage);
    QueueReader *r = reinterpret_cast<QueueReader *>(base);
    QueueWriter *w = reinterpret_cast<QueueWriter *>(base + sizeof(QueueReader));
    w->hook = nullptr;
    w->start = base + sizeof(QueueReader) + sizeof(QueueWriter);
    w->end = w->start + capacity;
    w->wr = w->start;
    r->writer = w;
    r->rd = w->start;
    r->hook = nullptr;
    if (reader)
        *reader = r;
    if (writer)
        *writer = w;
    return 0;
}
