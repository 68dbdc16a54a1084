// Byte ring with separate reader and writer handles, kept at the start of
// caller-supplied storage and followed by the data area. No allocation.
#pragma once

struct QueueWriter;

struct QueueReader {
    QueueWriter *writer;
    unsigned char *rd;
    void (*hook)(void);  // notification hook, unused (null)
};

struct QueueWriter {
    void (*hook)(void);  // notification hook, unused (null)
    unsigned char *wr;
    unsigned char *start;
    unsigned char *end;  // start + capacity
};

// Bytes the two records take at the start of the storage. 32 on a 32-bit
// target (the records take 28); pointers are wider on 64-bit hosts.
#define ZQUEUE_OVERHEAD \
    (sizeof(QueueReader) + sizeof(QueueWriter) > 32 ? sizeof(QueueReader) + sizeof(QueueWriter) : 32)

// 0 done; 1 when size < capacity + ZQUEUE_OVERHEAD (nothing changed).
int zQueueInit(void *storage, int size, QueueReader **reader, QueueWriter **writer, int capacity);
// Next byte 0..255, or -1 when the queue is empty.
int zQueueReadChar(QueueReader *reader);
// No full check: the reader must keep up (capacity - 1 unread bytes at most).
void zQueueWriteChar(QueueWriter *writer, unsigned char c);
