// The library-wide state: the port, the receive path, the last outcome and
// the progress callback.
#include "targetlib/libstate.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

ComPort Port;
thread_local int LastErr = 0;
thread_local std::string LastErrText;
thread_local int LastDevErr = -1;
thread_local int LastBlock = -1;
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

namespace {

void TraceToStdout(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

std::atomic<TraceHandler> Handler{TraceToStdout};

std::string Format(const char *fmt, va_list args)
{
    va_list again;
    va_copy(again, args);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, fmt, args);
    std::string text;
    if (n >= int(sizeof small)) {  // an image's information text can be long
        text.resize(size_t(n) + 1);
        std::vsnprintf(&text[0], text.size(), fmt, again);
        text.resize(size_t(n));
    } else if (n > 0) {
        text.assign(small, size_t(n));
    }
    va_end(again);
    return text;
}

// The failure's own words in an error line, on one line:
// "\n  ERR:  Operation failed with the following error:\n        Flash verify error.\n"
// -> "Operation failed with the following error: Flash verify error."
std::string ErrorWords(const std::string &line)
{
    const size_t marker = line.find("ERR:");
    std::string words;
    bool space = false;
    for (size_t i = marker == std::string::npos ? 0 : marker + 4; i < line.size(); i++) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            space = !words.empty();
            continue;
        }
        if (space)
            words += ' ';
        space = false;
        words += char(c);
    }
    return words;
}

}  // namespace

void SetTraceHandler(TraceHandler handler)
{
    Handler.store(handler ? handler : TraceToStdout);
}

void Trace(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const std::string text = Format(fmt, args);
    va_end(args);
    Handler.load()(text.c_str());
}

void TraceError(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const std::string line = Format(fmt, args);
    va_end(args);
    if (LastErrText.empty())
        LastErrText = ErrorWords(line);
    Handler.load()(line.c_str());
}

void BeginOperation()
{
    LastErrText.clear();
    LastDevErr = -1;
    LastBlock = -1;
}

bool PortReady(const char *refusal)
{
    BeginOperation();
    if (Port.State() == 2)
        return true;
    TraceError("%s", refusal);
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
