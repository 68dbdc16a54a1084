// ComPort on Win32: the device is opened for overlapped I/O, and every call
// starts its transfer and waits for it, so callers see blocking reads and
// writes. Reads and writes each have their own OVERLAPPED record and event.
#include "devicelink/comport.h"

#include "devicelink/comport_debug.h"

namespace {

const DWORD kQueueSize = 32768;
const DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

// How the serial driver fails every call once its USB adapter is pulled out.
bool DeviceGoneError(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
           error == ERROR_INVALID_HANDLE || error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEVICE_REMOVED ||
           error == ERROR_FILE_NOT_FOUND;
}

void CloseEvent(HANDLE &event)
{
    if (event) {
        CloseHandle(event);
        event = nullptr;
    }
}

// Binary mode, continue sending after XOFF, no parity check, no hardware or
// software flow control, DTR and RTS held low, no abort on error: bits 0..14
// of the flags word become 0x0081, the reserved bits above stay as they are.
void MakeRaw(DCB &dcb)
{
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

}  // namespace

ComPort::ComPort() = default;

ComPort::~ComPort()
{
    UnInit();
}

int ComPort::Init(const char *dev, int readTimeoutMs)
{
    if (portState != 0)
        return 1;
    hMutex = CreateMutexA(nullptr, TRUE, nullptr);
    if (!hMutex)
        return 2;
    ZeroMemory(&ovRead, sizeof ovRead);
    ZeroMemory(&ovWrite, sizeof ovWrite);
    ovRead.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ovWrite.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ovRead.hEvent || !ovWrite.hEvent) {
        lastResult = int(GetLastError());
        CloseEvent(ovRead.hEvent);
        CloseEvent(ovWrite.hEvent);
        ReleaseMutex(hMutex);
        CloseHandle(hMutex);
        hMutex = nullptr;
        return 3;
    }
    rxCount = txCount = 0;
    devName = std::string("\\\\.\\") + dev;
    hComm = INVALID_HANDLE_VALUE;
    portState = 1;
    readTimeout = readTimeoutMs;
    ReleaseMutex(hMutex);
    return 0;
}

int ComPort::OpenDevice()
{
    hComm = CreateFileA(devName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    if (hComm == INVALID_HANDLE_VALUE)
        return 2;
    if (!SetupComm(hComm, kQueueSize, kQueueSize))
        return 7;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(hComm, &dcb))
        return 3;
    MakeRaw(dcb);
    BOOL stateSet = SetCommState(hComm, &dcb);
    BOOL maskSet = SetCommMask(hComm, 0);
    if (!stateSet && !maskSet)
        return 4;
    // Timeout 0: return at once with what has arrived; writes never time out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = readTimeout == 0 ? MAXDWORD : 0;
    timeouts.ReadTotalTimeoutConstant = DWORD(readTimeout);
    if (!SetCommTimeouts(hComm, &timeouts))
        return 5;
    if (!PurgeComm(hComm, kPurgeAll))
        return 6;
    return 0;
}

int ComPort::Open()
{
    if (portState != 1)
        return 1;
    WaitForSingleObject(hMutex, INFINITE);
    int code = OpenDevice();
    if (code != 0) {
        lastResult = int(GetLastError());
        if (hComm != INVALID_HANDLE_VALUE) {
            CloseHandle(hComm);
            hComm = INVALID_HANDLE_VALUE;
        }
        ReleaseMutex(hMutex);
        return code;
    }
    rxCount = txCount = 0;
    rxHead = rxTail = 0;
    lost = false;
    portState = 2;
    ComPortDebugf("ComPort::Open successful.");
    ReleaseMutex(hMutex);
    if (SetBaudRate(baudRate) != 0) {
        Close();
        return 4;
    }
    return 0;
}

int ComPort::Close()
{
    if (portState != 2)
        return 0;
    WaitForSingleObject(hMutex, INFINITE);
    if (hComm != INVALID_HANDLE_VALUE) {
        PurgeComm(hComm, kPurgeAll);
        rxHead = rxTail = 0;
        CloseHandle(hComm);
        hComm = INVALID_HANDLE_VALUE;
    }
    lost = false;
    portState = 1;
    ReleaseMutex(hMutex);
    return 0;
}

int ComPort::UnInit()
{
    if (portState == 0)
        return 0;
    if (portState == 2)
        Close();
    DWORD wait = WaitForSingleObject(hMutex, INFINITE);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED)
        return 0;
    CloseEvent(ovRead.hEvent);
    CloseEvent(ovWrite.hEvent);
    portState = 0;
    CloseHandle(hMutex);  // owned: nobody else can hold it after this
    hMutex = nullptr;
    return 0;
}

int ComPort::SetLine(int dataBits, char parity, int stopBits)
{
    if (portState != 2)
        return 0;
    WaitForSingleObject(hMutex, INFINITE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    BOOL read = GetCommState(hComm, &dcb);
    LineSettings line{};
    const char *refusal = CheckLineSettings(dataBits, parity, stopBits, line);
    if (!refusal) {
        dcb.ByteSize = BYTE(line.dataBits);
        dcb.Parity = BYTE(line.parity);
        dcb.StopBits = BYTE(line.stopBits);
        if (!read || !SetCommState(hComm, &dcb))
            refusal = kLineRefused;
    }
    if (refusal) {
        lastResult = int(GetLastError());
        PrintPortRefusal(refusal, devName);
    }
    ReleaseMutex(hMutex);
    return refusal ? 1 : 0;
}

int ComPort::SetBaudRate(unsigned int baud)
{
    if (portState == 2) {
        WaitForSingleObject(hMutex, INFINITE);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        BOOL ok = GetCommState(hComm, &dcb);
        if (ok) {
            dcb.BaudRate = baud;
            ok = SetCommState(hComm, &dcb);
        }
        if (!ok) {
            lastResult = int(GetLastError());
            PrintPortRefusal(kBaudRefused, devName);
        }
        ReleaseMutex(hMutex);
        if (!ok)
            return 1;  // the line keeps its previous rate, and so does baudRate
    }
    baudRate = baud;
    return 0;
}

int ComPort::TxBytes()
{
    if (portState != 2)
        return 1;
    DWORD errors = 0;
    COMSTAT status{};
    lastResult = ClearCommError(hComm, &errors, &status);
    return int(status.cbOutQue);
}

int ComPort::DriverQueued()
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(hComm, &errors, &status))
        return 0;
    return int(status.cbInQue);
}

int ComPort::RxBytes()
{
    if (portState != 2)
        return 0;
    return DriverQueued() + rxTail - rxHead;
}

int ComPort::FillRxBuffer()
{
    rxHead = rxTail = 0;
    int queued = DriverQueued();
    if (queued <= 0)
        return 0;
    // The bytes are there, so the read ends without waiting for the timeout.
    int got = ReadDriver(int(sizeof rxBuf) < queued ? int(sizeof rxBuf) : queued, rxBuf);
    rxTail = got > 0 ? got : 0;
    return rxTail;
}

int ComPort::GetChar(unsigned char *c)
{
    if (portState != 2)
        return 1;
    if (rxHead == rxTail)
        FillRxBuffer();
    if (TakeBuffered(c, 1) == 1)
        return 0;
    ResetEvent(ovRead.hEvent);
    DWORD n = 0;
    if (ReadFile(hComm, c, 1, nullptr, &ovRead)) {
        // Done at once; with a read timeout of 0 that may be with nothing.
        lastResult = GetOverlappedResult(hComm, &ovRead, &n, FALSE);
        if (n == 0)
            return 1;
        rxCount++;
        return 0;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        lastResult = int(error);
        lost = lost || DeviceGoneError(error);
        ComPortDebugf("ComPort::GetChar error %d.", int(error));
        DWORD mask = 0;
        ClearCommError(hComm, &mask, nullptr);
        ComPortDebugf("ComPort::GetChar cleared comm error %d.", int(mask));
        // A failing line (an adapter pulled out) fails every read at once:
        // idle the read time-out, as a silent line would, so callers that
        // poll it do not spin.
        Sleep(DWORD(readTimeout));
        return 1;
    }
    // Windows ends a timed-out read with success and 0 bytes; Wine fails it
    // with ERROR_TIMEOUT. Both mean that no byte arrived.
    if (!GetOverlappedResult(hComm, &ovRead, &n, TRUE)) {
        lastResult = int(GetLastError());
        lost = lost || DeviceGoneError(DWORD(lastResult));
        if (lastResult != ERROR_TIMEOUT)
            Sleep(DWORD(readTimeout));
        return 1;
    }
    if (n > 1)
        ComPortDebugf("ComPort::GetChar read %d byte(s).", int(n));
    if (n == 0)
        return 1;
    rxCount += n;
    return 0;
}

int ComPort::GetNChars(int n, unsigned char *buf)
{
    if (portState != 2 || n <= 0)
        return -1;
    int taken = TakeBuffered(buf, n);
    if (taken == n)
        return n;
    int got = ReadDriver(n - taken, buf + taken);
    if (got > 0) {
        rxCount += unsigned(got);
        taken += got;
    }
    return taken > 0 ? taken : -1;
}

int ComPort::ReadDriver(int n, unsigned char *buf)
{
    DWORD got = 0;
    if (ReadFile(hComm, buf, DWORD(n), &got, &ovRead))
        return got > 0 ? int(got) : -1;
    DWORD error = GetLastError();
    lastResult = int(error);
    if (error != ERROR_IO_PENDING) {
        lost = lost || DeviceGoneError(error);
        DWORD mask = 0;
        ClearCommError(hComm, &mask, nullptr);
        return -1;
    }
    got = 0;
    if (!GetOverlappedResult(hComm, &ovRead, &got, TRUE) || got == 0)
        return -1;
    return int(got);
}

void ComPort::Write(const unsigned char *p, int n, bool trace)
{
    if (portState != 2 || n <= 0)
        return;
    DWORD written = 0;
    if (WriteFile(hComm, p, DWORD(n), &written, &ovWrite)) {
        txCount += written;
        return;
    }
    DWORD error = GetLastError();
    lastResult = int(error);
    if (error != ERROR_IO_PENDING) {
        lost = lost || DeviceGoneError(error);
        if (trace)
            ComPortDebugf("ComPort::PutArray error %d.", int(error));
        DWORD mask = 0;
        ClearCommError(hComm, &mask, nullptr);
        if (trace)
            ComPortDebugf("ComPort::PutArray cleared comm error %d.", int(mask));
        return;
    }
    written = 0;
    GetOverlappedResult(hComm, &ovWrite, &written, TRUE);
    txCount += written;
}

void ComPort::PutChar(unsigned char c)
{
    Write(&c, 1, false);
}

void ComPort::PutArray(const unsigned char *p, int n)
{
    Write(p, n, true);
}

bool ComPort::LineLost()
{
    return portState == 2 && lost;
}
