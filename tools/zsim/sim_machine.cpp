// Device state common to both loaders: power-up, replies, and the two
// requests that the boot loader and the flash loader both answer.
#include "tools/zsim/sim_machine.h"

#include "targetlib/transact.h"

SimReply SimOk(std::string payload)
{
    SimReply r;
    r.payload = std::move(payload);
    return r;
}

SimReply SimFail(unsigned char error)
{
    SimReply r;
    r.status = 1;
    r.payload.assign(1, char(error));
    return r;
}

void SimPowerUp(SimMachine &m)
{
    m.mode = SimMode::Announcing;
    m.baud = kPowerUpBaud;
    m.ram.clear();
    m.firstBlockSize = 0;
    m.ramLoaded = false;
    m.programCursor = 0;
    m.verifyCursor = 0;
    m.verifyBlock = 0;
    m.lastCommand = -1;
    m.captureWindow.clear();
    m.programBlock = 0;
}

void SimPowerOff(SimMachine &m)
{
    m.mode = SimMode::Off;
}

SimReply SimAnswer(SimMachine &m, unsigned char command, const std::string &payload)
{
    switch (m.mode) {
    case SimMode::BootLoader: return SimBootLoader(m, command, payload);
    case SimMode::FlashLoader: return SimFlashLoader(m, command, payload);
    case SimMode::Off:
    case SimMode::Announcing: break;
    }
    return SimFail(SimErrUnknownCommand);  // not reached: frames wait for power and the capture
}

SimReply SimQuery(const SimMachine &m, const std::string &payload)
{
    if (payload != "HW")
        return SimFail(SimErrUnknownField);
    if (m.options.hw.empty())
        return SimFail(SimErrNoString);
    return SimOk(m.options.hw.substr(0, kMaxPayload));
}

SimReply SimGetInfo(const SimMachine &m, const std::string &payload)
{
    if (payload.size() != 1 || payload[0] != kFirmwareRegion)
        return SimFail(SimErrRegion);
    std::string info = SimInstalledInfo(m.flash);
    if (info.empty())
        return SimFail(SimErrNoString);
    return SimOk(info.substr(0, kMaxPayload));
}
