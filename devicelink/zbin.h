// Wire framing: 0x81 0xA1 code LEN data ck0 ck1 (LEN >= 0x80: long form,
// D = (LEN & 0x7F) * 8 + 128). Builds outgoing frames in a caller's buffer and
// recovers incoming frames from a byte queue. No allocation.
#pragma once

#include "devicelink/zqueue.h"

enum : unsigned char { ZBIN_SYNC = 0x81, ZBIN_START = 0xA1 };

struct Packetizer {
    QueueReader *queue;
    int capacity;       // frame buffer size
    int state;          // receive state 0..6
    int badFrames;      // frames dropped for a bad length or checksum
    unsigned char *buffer;
    unsigned char *wp;  // where the next received byte goes
    int remaining;      // data bytes still expected in state 4
};

// Bytes the record takes at the start of the storage: 28 on a 32-bit target.
#define ZBIN_OVERHEAD (sizeof(Packetizer) > 28 ? sizeof(Packetizer) : 28)

// Packetizer handle (the storage), or null when storage is null or
// size < capacity + ZBIN_OVERHEAD.
Packetizer *zBinInitPacketizer(void *storage, int size, QueueReader *reader, int capacity);
// Writes the frame header; returns where the data field starts (buffer + 4).
unsigned char *zBinPacketOpen(unsigned char *buffer, unsigned char code);
// Pads the data field to the long form when needed, writes LEN and the two
// checksum bytes; returns the total frame length.
int zBinPacketClose(unsigned char *buffer, unsigned char *end);
// Pointer to the code byte of a complete, checksum-correct frame, or null when
// the queue ran empty first. State is kept between calls.
unsigned char *zBinGetPacket(Packetizer *p);
// Data field length D announced by a length byte.
inline int zBinDataLength(unsigned char len) { return len < 0x80 ? len : (len & 0x7F) * 8 + 128; }
