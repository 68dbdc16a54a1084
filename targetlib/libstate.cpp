// The library-wide state: the port, the receive path, the last outcome and
// the progress callback.
#include "targetlib/libstate.h"

#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

ComPort Port;
int LastErr = 0;
ProgressFn ProgressCB = nullptr;
QueueWriter *hwRx = nullptr;
QueueReader *hrRx = nullptr;
Packetizer *Pktzr = nullptr;
bool QuietLineDue = false;

alignas(std::max_align_t) unsigned char RxQbuf[kRxQbufSize];
alignas(std::max_align_t) unsigned char pktzrbuf[kPktzrbufSize];

static_assert(sizeof(void *) != 4 || (kRxQbufSize == 2096 && kPktzrbufSize == 2076),
              "receive storage sizes of the 32-bit target");

long TickMs()
{
    using namespace std::chrono;
    // Counted from the first call, so the value stays small on a long-running host.
    static const steady_clock::time_point base = steady_clock::now();
    return long(duration_cast<milliseconds>(steady_clock::now() - base).count());
}

void Trace(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
    std::fflush(stdout);
}

bool PortReady(const char *refusal)
{
    if (Port.State() == 2)
        return true;
    Trace("%s", refusal);
    LastErr = ErrPortNotOpen;
    return false;
}

void ReportProgress(const char *lineFmt, ProgressPhase phase, int done, int total)
{
    Trace(lineFmt, double(done) / total * 100);
    if (ProgressCB)
        ProgressCB(phase, done, total);
}

std::string BigEndian32(uint32_t v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return std::string(bytes, 4);
}
