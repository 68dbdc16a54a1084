#include "devicelink/zqueue.h"

void zQueueWriteChar(QueueWriter *writer, unsigned char c)
{
    *writer->wr++ = c;
    if (writer->wr == writer->end)
        writer->wr = writer->start;
}
