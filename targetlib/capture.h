// The target library: one serial port, one device. Every operation runs to
// completion on the caller's thread, returns a result, sets the last-error code
// (LastError()) and writes an indented trace to standard output.
// Only one operation may run at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef std::string str;

enum ProgressPhase { PhaseRAMExec = 0, PhaseProgram = 1, PhaseVerify = 2 };
// Called after each block the device accepted: done = 1..total.
typedef void (*ProgressFn)(ProgressPhase phase, int done, int total);

// One block of an image file.
struct BLK {
    uint8_t flags;       // bit 0 selects the lower command code of a pair
    uint16_t length;
    std::string data;    // `length` bytes, sent unchanged
};

// A loaded image file; ReadImage creates it, the caller deletes it.
struct IMG {
    uint32_t address = 0;   // start address (RAM execution address of a loader)
    std::string info;       // information text, without its zero byte
    std::vector<BLK> blocks;
    std::string sha256;     // SHA-256 of the file's bytes it was loaded from (hex)
};

// Error codes the device replies with.
enum DeviceError {
    DevErrUnknown = 0, DevErrDecrypt = 1, DevErrBlockLength = 2, DevErrWrite = 3, DevErrVerify = 4,
    DevErrErase = 5, DevErrRegion = 6, DevErrNotBlank = 7, DevErrUnknownCommand = 8, DevErrUnknownField = 9,
    DevErrNoString = 10, DevErrInternal = 11,
};

// LastError() codes
enum {
    ErrNone = 0,
    ErrPortNotOpen = 1,   // refused: port not open, or OpenPort failed
    ErrNoResponse = 2,
    ErrUnexpected = 3,    // status other than 0 and 1
    ErrClose = 4,
    ErrImage = 5,         // ReadImage produced no image
    ErrTarget = 6,        // status 1 (other codes), or RAM execution failed
    ErrNotBlank = 7,
    ErrNoString = 8,
};

void help(void);
str Version(void);
// The outcome of the calling thread's last operation.
int LastError(void);
void SetProgressCallback(ProgressFn fn);

// What the last failed operation said and what it concerned; empty or -1 when
// the last operation succeeded or the detail does not apply.
str LastErrorText(void);    // its first "ERR:" line, e.g. "No response from target."
int LastDeviceError(void);  // error code the device replied with (DeviceError), or -1
int LastErrorBlock(void);   // image block (0-based) that was not accepted

// Where the trace goes: every line is handed to the handler, which runs on the
// caller's thread. Default (also for null): standard output, flushed.
typedef void (*TraceHandler)(const char *text);
void SetTraceHandler(TraceHandler handler);

bool OpenPort(const char *devName);
bool ClosePort(void);
// The open port back at the boot loader's 115200 baud with nothing received
// kept, for the next device that powers up on it. The port is not closed:
// closing it may reset a device on the line.
bool ListenForBootLoader(void);
bool CaptureTarget(void);
bool CaptureTarget(const char *devName);
// The device behind the open port is gone (its adapter pulled out, or the
// port's name now leads to another device): nothing sent will arrive.
// False when the port is not open.
bool PortLineLost(void);
// After an exchange went unanswered: listens on the open port at the boot
// loader's rate for up to `ms` for its announcement; true when it came (the
// device powered up again). The port stays at 115200 for the next capture.
bool HeardBootLoader(long ms);
// One non-blocking capture step; start with 1, stop on 5 (captured) or 0.
// A step reads what arrives and returns when a read times out, when the
// capture completes, or at the latest after kCaptureStepLimitMs (plus one
// read timeout) on a line that never pauses.
constexpr long kCaptureStepLimitMs = 50;
int CaptureTargetSM(int state);
void InitParser(void);

bool ResetTarget(void);
str Query(const char *name);
str GetInfo(unsigned int region);

// Loads and checks an image file; null (LastError 5) when it cannot be used:
// not a regular file, larger than 64 MiB, not an image, damaged, or blocks
// that would take more than twice the file's size in memory (the limits are
// in imagefile.h). Throws nothing.
IMG *ReadImage(const char *fname) noexcept;
const char *GetImageInfo(IMG *ip);
// Data bytes of all blocks of an image (0 for null).
uint64_t GetImageBytes(const IMG *ip);
// Loads and checks an image file exactly as ReadImage does (same trace, same
// LastError), but keeps only its information text, and the file's SHA-256
// when asked: for listing images.
bool ReadImageInfo(const char *fname, std::string &info, std::string *sha256 = nullptr) noexcept;

bool RAMExec(IMG *ip, bool hup = true, unsigned long baud = 115200);

bool BlankCheck(unsigned int region);
bool BlankCheck(unsigned long start_addr, unsigned long bytes);
bool EraseFlash(unsigned int region);
bool ProgramFlash(IMG *ip);
bool VerifyFlash(IMG *ip);
