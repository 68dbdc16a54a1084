#include "devicelink/zbin.h"

// Running checksums of the frame being received. One packetizer per thread
// (the host's; in tests the simulated device parses on a thread of its own).
static thread_local unsigned char ck0, ck1;

unsigned char *zBinGetPacket(Packetizer *p)
{
    int next;
    while ((next = zQueueReadChar(p->queue)) >= 0) {
        unsigned char c = (unsigned char)next;
        switch (p->state) {
        case 0:  // sync
            if (c == ZBIN_SYNC) {
                p->wp = p->buffer;
                *p->wp++ = c;
                p->state = 1;
            }
            break;
        case 1:  // start
            if (c == ZBIN_START) {
                *p->wp++ = c;
                p->state = 2;
            } else {
                p->state = 0;
            }
            break;
        case 2:  // code
            *p->wp++ = c;
            ck0 = ck1 = c;
            p->state = 3;
            break;
        case 3: {  // length
            int d = zBinDataLength(c);
            if (d >= p->capacity - 5) {
                p->badFrames++;
                p->state = 0;
                break;
            }
            *p->wp++ = c;
            ck0 = (unsigned char)(ck0 + c);
            ck1 = (unsigned char)(ck1 + ck0);
            p->remaining = d;
            p->state = d ? 4 : 5;
            break;
        }
        case 4:  // data
            *p->wp++ = c;
            ck0 = (unsigned char)(ck0 + c);
            ck1 = (unsigned char)(ck1 + ck0);
            if (--p->remaining == 0)
                p->state = 5;
            break;
        case 5:  // first checksum
            if (c == ck0) {
                *p->wp++ = c;
                p->state = 6;
            } else {
                p->badFrames++;
                p->state = 0;
            }
            break;
        default:  // second checksum
            *p->wp++ = c;
            p->state = 0;
            if (c == ck1)
                return p->buffer + 2;
            p->badFrames++;
            break;
        }
    }
    return nullptr;
}
