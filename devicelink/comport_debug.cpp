#include "devicelink/comport_debug.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "devicelink/comport.h"

const char *const kLineRefused = "Cannot set line settings on com port ";
const char *const kBaudRefused = "Cannot set baud rate on com port ";

namespace {

void DefaultHandler(const char *text)
{
#ifdef _WIN32
    OutputDebugStringA(text);
#else
    (void)text;
#endif
}

std::atomic<ComPortDebugHandler> Handler{DefaultHandler};

void RefusalToStdout(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

std::atomic<ComPortDebugHandler> RefusalHandler{RefusalToStdout};

}  // namespace

void SetComPortDebugHandler(ComPortDebugHandler handler)
{
    Handler.store(handler ? handler : DefaultHandler);
}

void ComPortDebugf(const char *fmt, ...)
{
    char text[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    Handler.load()(text);
}

void SetComPortRefusalHandler(ComPortDebugHandler handler)
{
    RefusalHandler.store(handler ? handler : RefusalToStdout);
}

void PrintPortRefusal(const char *text, const std::string &devName)
{
    RefusalHandler.load()((text + devName + "\n").c_str());
}

const char *CheckLineSettings(int dataBits, char parity, int stopBits, LineSettings &out)
{
    if (dataBits != 5 && dataBits != 7 && dataBits != 8)
        return "Invalid parameter databits in ComPort::SetLine, port ";
    switch (parity) {
    case 'N': case 'n': out.parity = 0; break;
    case 'O': case 'o': out.parity = 1; break;
    case 'E': case 'e': out.parity = 2; break;
    case 'M': case 'm': out.parity = 3; break;
    default: return "Invalid parity in ComPort::SetLine, port ";
    }
    switch (stopBits) {
    case 1: out.stopBits = 0; break;
    case 2: out.stopBits = 2; break;
    case 3: out.stopBits = 1; break;
    default: return "Invalid parameter stopbits in ComPort::SetLine, port ";
    }
    out.dataBits = dataBits;
    return nullptr;
}
