// Flash operations of the running flash loader: blank check, erase, and the
// block-by-block programming and verification of an image.
#include "targetlib/libstate.h"
#include "targetlib/transact.h"

namespace {

const char kNotOpen[] = "  ERR:  Can't communicate with target.  COM port not open.\n";

// One command whose reply is classified the common way; true on status 0.
bool RegionCommand(unsigned char command, std::string payload, int timeout)
{
    if (!PortReady(kNotOpen))
        return false;
    unsigned char code = command;
    bool ok = Transact(code, payload, timeout);
    return ClassifyReply(ok, code, payload);
}

// What sets programming and verification apart.
struct BlockPass {
    const char *notOpen;
    const char *header;
    unsigned char codeFlagSet, codeFlagClear;
    int timeout;
    const char *progressLine;
    ProgressPhase phase;
    const char *completion;
};

const BlockPass kProgram = {
    "  ERR:  Can't program flash.  COM port not open.\n",
    "  Transmitting image to target (ProgramFlash).\n",
    CmdProgram, CmdProgramAlt, 300, "    %3.0f%%\r", PhaseProgram,
    "  Flash programming complete.\n",
};

const BlockPass kVerify = {
    "  ERR:  Can't verify flash.  COM port not open.\n",
    "  Transmitting image to target (VerifyFlash).\n",
    CmdVerify, CmdVerifyAlt, 100, "   %3.0f%%\r", PhaseVerify,
    "  Flash verification complete.\n",
};

// Sends block `index`; prints the failure and sets LastErr when it is not accepted.
bool SendBlock(const BlockPass &pass, const BLK &b, int index)
{
    unsigned char code = (b.flags & 1) ? pass.codeFlagSet : pass.codeFlagClear;
    std::string payload = b.data;
    bool ok = Transact(code, payload, pass.timeout);
    if (!ok || code != 0)
        LastBlock = index;
    if (ok && code == 1) {
        std::string text = GetTargetErrorString(payload.empty() ? 0 : (unsigned char)payload[0]);
        TraceError("  ERR:  Operation failed with the following error at block %d:\n        %s.\n", index,
              text.c_str());
        return false;
    }
    return ClassifyReply(ok, code, payload, "\n  ERR:  Timeout waiting for target.\n");
}

bool RunBlockPass(const BlockPass &pass, const IMG &img)
{
    if (!PortReady(pass.notOpen))
        return false;
    Trace("%s", pass.header);
    int total = int(img.blocks.size());
    for (int i = 0; i < total; i++) {
        if (!SendBlock(pass, img.blocks[i], i))
            return false;
        ReportProgress(pass.progressLine, pass.phase, i + 1, total);
    }
    Trace("\n%s", pass.completion);
    LastErr = ErrNone;
    return true;
}

}  // namespace

bool BlankCheck(unsigned int region)
{
    if (!RegionCommand(CmdBlankCheck, std::string(1, char(region & 0xFF)), 300))
        return false;
    Trace("  Region %d is blank.\n", int(region & 0xFF));
    return true;
}

bool BlankCheck(unsigned long start_addr, unsigned long bytes)
{
    uint32_t start = uint32_t(start_addr), count = uint32_t(bytes);
    if (!RegionCommand(CmdBlankCheck, BigEndian32(start) + BigEndian32(count), 300))
        return false;
    Trace("  %lu bytes at 0x%lX are blank.\n", (unsigned long)count, (unsigned long)start);
    return true;
}

bool EraseFlash(unsigned int region)
{
    if (!RegionCommand(CmdErase, std::string(1, char(region & 0xFF)), 30000))
        return false;
    Trace("  Region %d was successfully erased.\n", int(region & 0xFF));
    return true;
}

bool ProgramFlash(IMG *ip)
{
    return RunBlockPass(kProgram, *ip);
}

bool VerifyFlash(IMG *ip)
{
    return RunBlockPass(kVerify, *ip);
}
