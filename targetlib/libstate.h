// State shared by the target library's operations (private to targetlib and
// its tests).
#pragma once

#include "devicelink/comport.h"
#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"
#include "targetlib/capture.h"

extern ComPort Port;
extern int LastErr;
extern ProgressFn ProgressCB;
extern QueueWriter *hwRx;
extern QueueReader *hrRx;
extern Packetizer *Pktzr;

// Milliseconds from a steady clock; every protocol time-out counts these.
long TickMs();

// Prints `text` to standard output and flushes it.
void Trace(const char *fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
