// ComPort: one serial device, blocking reads and writes over the platform's
// serial interface. Win32: overlapped I/O (comport_win32.cpp). POSIX: termios
// and poll (comport_posix.cpp). Both meet the same contract:
//   exclusive open, raw 8N1, no flow control, DTR/RTS not asserted,
//   a read waits at most readTimeout ms (0: return at once with what is there),
//   writes block until queued, purge on open and close.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif
#include <string>

// Receives the class's diagnostics ("ComPort::Open successful." and the like).
// Default: OutputDebugStringA on Windows, discarded elsewhere.
using ComPortDebugHandler = void (*)(const char *text);
void SetComPortDebugHandler(ComPortDebugHandler handler);
// Receives the refusals of line and baud settings (the reason and the device
// path, one line). Default (also for null): standard output, flushed.
void SetComPortRefusalHandler(ComPortDebugHandler handler);

class ComPort {
public:
    ComPort();
    ~ComPort();
    ComPort(const ComPort &) = delete;
    ComPort &operator=(const ComPort &) = delete;

    // 0 done; 1 not uninitialised; 2 mutex not created; 3 event not created
    int Init(const char *dev, int readTimeoutMs);
    // 0 done; 1 not initialised; 2 device not opened; 3 state not read;
    // 4 state and event mask both refused, or the stored baud rate refused
    // (the device is closed again); 5 timeouts refused; 6 purge refused;
    // 7 queue sizes refused
    int Open();
    int Close();   // always 0
    int UnInit();  // always 0

    // 0 applied (or not open: no effect); 1 refused. A refusal writes its
    // reason and the device path to the refusal handler; the process goes on.
    int SetLine(int dataBits, char parity, int stopBits);
    // Stores the rate in every state and applies it when open.
    // 0 done; 1 the driver refused the rate (message on standard output).
    int SetBaudRate(unsigned int baud);

    int TxBytes();                            // bytes waiting to be sent; 1 when not open
    // Bytes received and not yet read (the driver's input queue and the
    // receive buffer): what GetChar can deliver without waiting. 0 when not open.
    int RxBytes();
    // 0 byte stored; 1 no byte within the read timeout. Bytes the driver
    // already holds are taken in bulk into the receive buffer and served from
    // there; only an empty line costs a waiting one-byte read.
    int GetChar(unsigned char *c);
    int GetNChars(int n, unsigned char *buf); // bytes read (>= 1) or -1; buffered bytes first
    void PutChar(unsigned char c);
    void PutArray(const unsigned char *p, int n);

    // The device behind the open port is gone: a read or write found the
    // line hung up or failed as only a vanished device fails (an adapter
    // pulled out), or the port's name no longer leads to the device that was
    // opened (POSIX: checked at most every 250 ms). Stays true until the port
    // is closed; false when it is not open.
    bool LineLost();

    // Inspection (tests, benchmarks, front ends).
    int State() const { return portState; }
    unsigned int BaudRate() const { return baudRate; }
    int ReadTimeout() const { return readTimeout; }
    unsigned int RxCount() const { return rxCount; }
    unsigned int TxCount() const { return txCount; }
    const std::string &DevName() const { return devName; }

private:
    // Sends n bytes and waits until the driver has taken them; `trace` sends
    // a failure to the debug channel.
    void Write(const unsigned char *p, int n, bool trace);
    // Opens and configures the device; 0 or an Open code. Mutex held.
    int OpenDevice();
    // Bytes in the driver's input queue; 0 when it cannot tell.
    int DriverQueued();
    // Refills the empty receive buffer with what the driver holds, up to the
    // buffer's size; the count. POSIX waits up to the read timeout for a first
    // byte; Win32 takes only what is queued and GetChar then falls back to its
    // waiting one-byte read.
    int FillRxBuffer();
#ifdef _WIN32
    // One overlapped read of up to n bytes, waiting at most the read timeout;
    // the count, or -1 for nothing or an error.
    int ReadDriver(int n, unsigned char *buf);
#endif
    // Takes up to n buffered bytes into p and counts them; the count.
    int TakeBuffered(unsigned char *p, int n)
    {
        int k = n < rxTail - rxHead ? n : rxTail - rxHead;
        for (int i = 0; i < k; ++i)
            p[i] = rxBuf[rxHead + i];
        rxHead += k;
        if (rxHead == rxTail)
            rxHead = rxTail = 0;
        rxCount += unsigned(k);
        return k;
    }

    std::string devName;
    int lastResult = 0;
#ifdef _WIN32
    HANDLE hComm = INVALID_HANDLE_VALUE;
    OVERLAPPED ovRead{};
    OVERLAPPED ovWrite{};
#else
    int fd = -1;
    // The driver's low-latency mode, asked for by Open and put back by Close.
    bool lowLatencySet = false;
    int serialFlags = 0;
#endif
    int portState = 0;
    bool lost = false;            // see LineLost; cleared by Open and Close
    long long nextNameCheck = 0;  // POSIX: steady-clock ms of the next check of the name
#ifdef _WIN32
    HANDLE hMutex = nullptr;
#else
    std::mutex mutex;
#endif
    unsigned int baudRate = 115200;
    int readTimeout = 200;
    unsigned int rxCount = 0;
    unsigned int txCount = 0;
    // Receive buffer: bytes rxBuf[rxHead .. rxTail) are received, not yet read.
    // Emptied wherever the driver's input is purged (Open, Close).
    unsigned char rxBuf[1024];
    int rxHead = 0;
    int rxTail = 0;
};
