// The boot loader: capture, RAM download, start of the RAM image, reset.
#include <cstdint>

#include "catalogue/firmware.h"
#include "targetlib/transact.h"
#include "tools/zsim/sim_machine.h"

namespace {

const std::string kCaptureRequest = "TargetStop!";

SimReply StoreRamBlock(SimMachine &m, const std::string &data)
{
    if (m.ram.size() + data.size() > kRamSize)
        return SimFail(SimErrInternal);
    m.ram += data;
    if (!m.ramLoaded) {
        m.ramLoaded = true;
        m.firstBlockSize = data.size();
    }
    return SimOk();
}

// The loader's rate: fixed by the options, or named by the "BR:" token of the
// zero-terminated information text that starts the first RAM block.
unsigned LoaderBaud(const SimMachine &m)
{
    if (m.options.loaderBaud)
        return m.options.loaderBaud;
    std::string first = m.ram.substr(0, m.firstBlockSize);
    return GetImageBaud(first.substr(0, first.find('\0')));
}

SimReply StartRamImage(SimMachine &m, const std::string &payload)
{
    if (payload.size() != 4)
        return SimFail(SimErrBadLength);
    SimReply r = SimOk();
    r.after = SimAfter::StartLoader;
    r.loaderBaud = LoaderBaud(m);
    return r;
}

}  // namespace

bool SimFeedCapture(SimMachine &m, unsigned char c)
{
    m.captureWindow += char(c);
    if (m.captureWindow.size() > kCaptureRequest.size())
        m.captureWindow.erase(0, 1);
    if (m.captureWindow != kCaptureRequest)
        return false;
    m.captureWindow.clear();
    m.mode = SimMode::BootLoader;
    return true;
}

SimReply SimBootLoader(SimMachine &m, unsigned char command, const std::string &payload)
{
    switch (command) {
    case CmdRamBlock:
    case CmdRamBlockAlt: return StoreRamBlock(m, payload);
    case CmdRamStart: return StartRamImage(m, payload);
    case CmdReset: {
        SimReply r = SimOk();
        r.after = SimAfter::PowerCycle;
        return r;
    }
    case CmdQuery: return SimQuery(m, payload);
    case CmdGetInfo: return SimGetInfo(m, payload);
    default: return SimFail(SimErrUnknownCommand);
    }
}
