// Values and information texts read from the device, and its reset.
#include <cstring>

#include "targetlib/libstate.h"
#include "targetlib/transact.h"

namespace {

// Sends `command` with `payload`; on a good reply prints and returns its payload.
str AskText(unsigned char command, std::string payload, const char *noReply)
{
    unsigned char code = command;
    bool ok = Transact(code, payload, 200);
    if (!ClassifyReply(ok, code, payload, noReply))
        return str();
    Trace("%s\n", payload.c_str());
    return payload;
}

}  // namespace

str Query(const char *name)
{
    if (!PortReady("  ERR:  Can't query.  COM port not open.\n"))
        return str();
    return AskText(CmdQuery, std::string(name, std::strlen(name)), "  ERR:  No response from target.\n");
}

str GetInfo(unsigned int region)
{
    if (!PortReady("  ERR:  Can't get info.  COM port not open.\n"))
        return str();
    return AskText(CmdGetInfo, std::string(1, char(region & 0xFF)), "ERR:  No response from target.\n");
}

bool ResetTarget(void)
{
    if (!PortReady("  ERR:  Can't reset.  COM port not open.\n"))
        return false;
    unsigned char code = CmdReset;
    std::string payload;
    // Any reply counts: the device resets whatever status it sends.
    if (!Transact(code, payload, 200)) {
        LastErr = ErrNoResponse;
        Trace("  No response from target.\n");
        return false;
    }
    Trace("  Reset successful, closing COM port.\n");
    Port.UnInit();
    LastErr = ErrNone;
    return true;
}
