// Loading an image into the device's RAM and starting it there.
#include "targetlib/libstate.h"
#include "targetlib/transact.h"

namespace {

bool RamExecFailed()
{
    TraceError("  ERR:  RAM execution failed.\n");
    LastErr = ErrTarget;
    return false;
}

// Sends every block in file order; the number the device accepted.
int SendRamBlocks(const IMG &img)
{
    int total = int(img.blocks.size());
    for (int i = 0; i < total; i++) {
        const BLK &b = img.blocks[i];
        unsigned char code = (b.flags & 1) ? CmdRamBlock : CmdRamBlockAlt;
        std::string payload = b.data;
        if (!Transact(code, payload, 200)) {
            LastBlock = i;
            TraceError("\n  ERR:  Timeout waiting for target.\n");
            return i;
        }
        if (code != 0) {
            LastBlock = i;
            int error = payload.empty() ? 0 : int(static_cast<signed char>(payload[0]));
            LastDevErr = error;
            TraceError("\n  ERR:  Target rejected packet (code=%d).  Aborting.\n", error);
            return i;
        }
        ReportProgress("    %3.0f%%\r", PhaseRAMExec, i + 1, total);
    }
    return total;
}

}  // namespace

bool RAMExec(IMG *ip, bool hup, unsigned long baud)
{
    if (!PortReady("  ERR:  Can't execute RAM image.  COM port not open.\n"))
        return false;
    Trace("  Transmitting image to target (RAMExec).\n");
    int accepted = SendRamBlocks(*ip);
    Trace("\n");
    if (accepted < int(ip->blocks.size()))
        return RamExecFailed();

    unsigned char code = CmdRamStart;
    std::string payload = BigEndian32(ip->address);
    if (!Transact(code, payload, 200)) {
        TraceError("  ERR:  Execution could not be started at address %08lX.\n", (unsigned long)ip->address);
        return RamExecFailed();
    }
    // Whatever its status, a reply means the image runs.
    Trace("  Target execution started.\n");
    if (hup) {
        Trace("  Closing COM port.\n");
        Port.UnInit();
    } else {
        Trace("  Setting baud rate to %lu.\n", baud);
        if (Port.SetBaudRate((unsigned int)baud) != 0)
            return RamExecFailed();
        // The loader is starting and re-clocking its line: it hears the
        // first request only after a quiet time.
        QuietLineDue = true;
    }
    LastErr = ErrNone;
    return true;
}
