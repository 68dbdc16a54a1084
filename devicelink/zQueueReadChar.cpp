#include "devicelink/zqueue.h"

int zQueueReadChar(QueueReader *reader)
{
    QueueWriter *w = reader->writer;
    if (reader->rd == w->wr)
        return -1;
    int c = *reader->rd++;
    if (reader->rd == w->end)
        reader->rd = w->start;
    return c;
}
