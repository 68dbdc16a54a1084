// Connection and capture: opening the port, the boot loader handshake and the
// receive path that every command shares.
#include "targetlib/capture.h"

#include "targetlib/libstate.h"
#include "targetlib/version.h"

namespace {

// Sent by the boot loader while it waits; the terminating zero is not matched.
const unsigned char AnnounceString[] = "Zelvo Boot Loader";
const int kAnnounceLength = sizeof AnnounceString - 1;
// Sent by the host once the announcement is seen, without a terminator.
const unsigned char CaptureString[] = "TargetStop!";
const int kCaptureLength = sizeof CaptureString - 1;
// The boot loader's acknowledgement: an empty frame with code 0.
const unsigned char TargetCaptureAck[6] = {0x81, 0xA1, 0x00, 0x00, 0x00, 0x00};

const char kNotOpen[] = "  ERR:  Can't capture.  COM port not open.\n";
const long kAckWindowMs = 1000;

// Capture progress kept between CaptureTargetSM calls.
long start_time = 0;
const unsigned char *matchCursor = nullptr;

void StartAnnounceMatch()
{
    matchCursor = AnnounceString;
}

// Compares one byte with the announcement; true when it completes it. A byte
// that breaks a partial match is dropped, not taken as a new first letter.
bool AnnounceByteCompletes(unsigned char c)
{
    if (c != *matchCursor) {
        StartAnnounceMatch();
        return false;
    }
    return ++matchCursor == AnnounceString + kAnnounceLength;
}

void SendCaptureRequest()
{
    Trace("  Found target. Capturing...\n");
    Port.PutArray(CaptureString, kCaptureLength);
}

void Captured()
{
    Trace("  Target Captured.\n");
    InitParser();
    QuietLineDue = true;
}

bool AckWindowPassed()
{
    return TickMs() - start_time > kAckWindowMs;
}

bool CursorIn(const unsigned char *first, const unsigned char *last)
{
    return matchCursor >= first && matchCursor <= last;
}

enum Step { Restart, Announce, Sync, Ack, Done };

// Takes one byte after the capture request; the step that follows. Bytes
// before the sync byte are dropped; a wrong byte after it starts over.
Step TakeAckByte(Step step, unsigned char c)
{
    if (step == Sync) {
        if (c != *matchCursor)
            return Sync;
        ++matchCursor;
        return Ack;
    }
    if (c != *matchCursor++)
        return Restart;
    return matchCursor == TargetCaptureAck + sizeof TargetCaptureAck ? Done : Ack;
}

// The step a caller's state resumes; a state whose cursor does not fit (a
// value this function never returned at that point) starts over.
Step ResumeStep(int state)
{
    if (state == 2 && CursorIn(AnnounceString, AnnounceString + kAnnounceLength - 1))
        return Announce;
    if (state == 3 && matchCursor == TargetCaptureAck)
        return Sync;
    if (state == 4 && CursorIn(TargetCaptureAck + 1, TargetCaptureAck + 5))
        return Ack;
    return Restart;
}

// A line just opened or set back to the boot loader's rate: the parser starts
// afresh and the first request waits for the line to be quiet.
void ListenAfresh()
{
    InitParser();
    QuietLineDue = true;
    LastErr = ErrNone;
}

}  // namespace

void help(void)
{
    Trace("  void help(void);\n"
          "  str  Version(void);\n"
          "\n"
          "  bool OpenPort(const char *devName);\n"
          "  bool ClosePort(void);\n"
          "  bool CaptureTarget(const char *devName);\n"
          "  IMG *ReadImage(char *fname);\n"
          "\n"
          "  bool ResetTarget(void);\n"
          "  str  Query(char *name);\n"
          "  str  GetInfo(unsigned int region);\n"
          "  bool RAMExec(IMG *ip, bool hup=true, unsigned long baud=115200);\n"
          "\n"
          "  bool BlankCheck(unsigned int region);\n"
          "  bool BlankCheck(unsigned long start_addr, unsigned long bytes);\n"
          "  bool EraseFlash(unsigned int region);\n"
          "  bool ProgramFlash(IMG *ip);\n"
          "  bool VerifyFlash(IMG *ip);\n"
          "\n");
}

str Version(void)
{
    return FlashUtilVersion;
}

int LastError(void)
{
    return LastErr;
}

str LastErrorText(void)
{
    return LastErr == ErrNone ? str() : LastErrText;
}

int LastDeviceError(void)
{
    return LastErr == ErrNone ? -1 : LastDevErr;
}

int LastErrorBlock(void)
{
    return LastErr == ErrNone ? -1 : LastBlock;
}

void SetProgressCallback(ProgressFn fn)
{
    ProgressCB = fn;
}

void InitParser(void)
{
    zQueueInit(RxQbuf, kRxQbufSize, &hrRx, &hwRx, kRxCapacity);
    Pktzr = zBinInitPacketizer(pktzrbuf, kPktzrbufSize, hrRx, kRxCapacity);
}

bool OpenPort(const char *devName)
{
    BeginOperation();
    Trace("  Opening port %s\n", devName);
    bool ok = Port.Init(devName, 10) == 0 && Port.Open() == 0 && Port.SetLine(8, 'N', 1) == 0;
    if (ok) {
        Trace("  Initial baud rate is 115200.\n");
        ok = Port.SetBaudRate(115200) == 0;
    }
    if (!ok) {
        TraceError("    ERR:  Port open failed.\n");
        Port.UnInit();
        LastErr = ErrPortNotOpen;
        return false;
    }
    ListenAfresh();
    return true;
}

bool ListenForBootLoader(void)
{
    if (!PortReady(kNotOpen))
        return false;
    Trace("  Setting baud rate to 115200.\n");
    if (Port.SetBaudRate(115200) != 0) {
        LastErr = ErrPortNotOpen;
        return false;
    }
    ListenAfresh();
    return true;
}

bool PortLineLost(void)
{
    return Port.State() == 2 && Port.LineLost();
}

bool HeardBootLoader(long ms)
{
    if (!ListenForBootLoader())
        return false;
    StartAnnounceMatch();
    const long t0 = TickMs();
    unsigned char c;
    while (TickMs() - t0 < ms && !Port.LineLost()) {
        if (Port.GetChar(&c) == 0 && AnnounceByteCompletes(c)) {
            Trace("  Boot loader announced: the device powered up again.\n");
            return true;
        }
    }
    return false;
}

bool ClosePort(void)
{
    BeginOperation();
    Trace("  Closing port\n");
    if (Port.Close() != 0 || Port.UnInit() != 0) {
        TraceError("    ERR:  Port close failed.\n");
        LastErr = ErrClose;
        return false;
    }
    LastErr = ErrNone;
    return true;
}

int CaptureTargetSM(int state)
{
    if (!PortReady(kNotOpen))
        return 0;
    LastErr = ErrNone;
    if (state == 5)
        return 5;
    Step step = ResumeStep(state);
    // A line that never pauses would keep one call reading for good; the
    // call returns the state it is in after kCaptureStepLimitMs instead, so
    // that its caller gets back to its cancel check.
    const long callStart = TickMs();
    auto timeUp = [callStart] { return TickMs() - callStart >= kCaptureStepLimitMs; };
    unsigned char c;
    for (;;) {
        switch (step) {
        case Restart:
            StartAnnounceMatch();
            Trace("  Waiting for target.\n");
            step = Announce;
            break;
        case Announce:
            do {
                if (timeUp() || Port.GetChar(&c) != 0)
                    return 2;
            } while (!AnnounceByteCompletes(c));
            SendCaptureRequest();
            start_time = TickMs();
            matchCursor = TargetCaptureAck;
            step = Sync;
            break;
        case Sync:
        case Ack:
            if (AckWindowPassed()) {
                Trace("  Timeout waiting for target capture.  Restart.\n");
                step = Restart;
                break;
            }
            if (timeUp() || Port.GetChar(&c) != 0)
                return step == Sync ? 3 : 4;
            step = TakeAckByte(step, c);
            break;
        case Done:
            Captured();
            return 5;
        }
    }
}

bool CaptureTarget(void)
{
    if (!PortReady(kNotOpen))
        return false;
    Trace("  Waiting for target.\n");
    unsigned char c;
    for (;;) {
        StartAnnounceMatch();
        while (Port.GetChar(&c) != 0 || !AnnounceByteCompletes(c)) {
        }
        SendCaptureRequest();
        while (Port.GetChar(&c) != 0 || c != TargetCaptureAck[0]) {
        }
        // A position where nothing arrives within the read timeout counts as matched.
        bool matched = true;
        for (size_t i = 1; i < sizeof TargetCaptureAck && matched; i++)
            matched = Port.GetChar(&c) != 0 || c == TargetCaptureAck[i];
        if (matched)
            break;
    }
    Captured();
    LastErr = ErrNone;
    return true;
}

bool CaptureTarget(const char *devName)
{
    return OpenPort(devName) && CaptureTarget();
}
