// State shared by the target library's operations (private to targetlib and
// its tests).
#pragma once

#include <string>

#include "devicelink/comport.h"
#include "devicelink/zbin.h"
#include "devicelink/zqueue.h"
#include "targetlib/capture.h"

extern ComPort Port;
// The last outcome, kept per thread: the worker that runs the device and the
// window thread, which judges a dropped image meanwhile, each read their own.
extern thread_local int LastErr;
// Details of the last failure (see LastErrorText and friends).
extern thread_local std::string LastErrText;
extern thread_local int LastDevErr;
extern thread_local int LastBlock;
extern ProgressFn ProgressCB;
extern QueueWriter *hwRx;
extern QueueReader *hrRx;
extern Packetizer *Pktzr;
// Set when the line is fresh (port opened, device captured, rate changed):
// the next request waits for a quiet line first (Transact).
extern bool QuietLineDue;

// Storage of the receive queue and the packetizer (InitParser lays them out).
// 2096 and 2076 bytes on the 32-bit target; the records are wider elsewhere.
constexpr int kRxCapacity = 2048;
constexpr int kRxQbufSize = kRxCapacity + int(ZQUEUE_OVERHEAD) + 16;
constexpr int kPktzrbufSize = kRxCapacity + int(ZBIN_OVERHEAD);
extern unsigned char RxQbuf[kRxQbufSize];
extern unsigned char pktzrbuf[kPktzrbufSize];

// Forgets the details of the last failure: every operation starts with it.
void BeginOperation();

// Starts an operation (BeginOperation). True when Port is open; otherwise
// prints `refusal`, sets LastErr 1.
bool PortReady(const char *refusal);

// After block `done` of `total` was accepted: prints `lineFmt` with the
// percentage and calls the progress callback, if any.
void ReportProgress(const char *lineFmt, ProgressPhase phase, int done, int total);

// The 4 bytes of `v`, most significant first, as payloads carry numbers.
std::string BigEndian32(uint32_t v);

// Milliseconds from a steady clock; every protocol time-out counts these.
long TickMs();

// Formats by printf rules and hands the text to the trace handler.
void Trace(const char *fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// The same for an error line ("  ERR:  ..."): the failure's words, on one
// line and without the marker, become LastErrText when they are the first
// failure since the operation began.
void TraceError(const char *fmt, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 1, 2)))
#endif
    ;
