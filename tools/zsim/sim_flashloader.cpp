// The flash loader: blank check, erase, program and verify of the firmware
// region, and the information text of what the region holds.
#include <algorithm>
#include <cstdint>

#include "targetlib/checksum.h"
#include "targetlib/transact.h"
#include "tools/zsim/sim_machine.h"

namespace {

const char kErased = '\xFF';

bool IsErased(const std::string &flash, size_t from, size_t to)
{
    to = std::min(to, flash.size());
    for (size_t a = from; a < to; ++a)
        if (flash[a] != kErased)
            return false;
    return true;
}

bool Holds(const std::string &flash, size_t at, const std::string &data)
{
    for (size_t i = 0; i < data.size(); ++i) {
        char have = at + i < flash.size() ? flash[at + i] : kErased;
        if (have != data[i])
            return false;
    }
    return true;
}

bool IsRegion(const std::string &payload)
{
    return payload.size() == 1 && payload[0] == kFirmwareRegion;
}

// A line "XX:..." with two upper-case letters before the colon.
bool IsTokenLine(const std::string &line)
{
    auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
    return line.size() >= 3 && upper(line[0]) && upper(line[1]) && line[2] == ':';
}

SimReply BlankCheck(const SimMachine &m, const std::string &payload)
{
    if (payload.size() == 8) {
        const unsigned char *p = reinterpret_cast<const unsigned char *>(payload.data());
        uint64_t start = ReadULong(&p);
        uint64_t count = ReadULong(&p);
        if (start + count > m.options.flashSize)
            return SimFail(SimErrRegion);
        return IsErased(m.flash, size_t(start), size_t(start + count)) ? SimOk()
                                                                        : SimFail(SimErrNotBlank);
    }
    if (!IsRegion(payload))
        return SimFail(SimErrRegion);
    return IsErased(m.flash, 0, m.flash.size()) ? SimOk() : SimFail(SimErrNotBlank);
}

SimReply Erase(SimMachine &m, const std::string &payload)
{
    if (!IsRegion(payload))
        return SimFail(SimErrRegion);
    m.flash.clear();
    m.programCursor = 0;
    m.programBlock = 0;
    SimReply r = SimOk();
    r.busyMs = m.options.eraseMs;
    return r;
}

SimReply Program(SimMachine &m, const std::string &data)
{
    size_t at = m.programCursor, end = at + data.size();
    if (end > m.options.flashSize)
        return SimFail(SimErrBadLength);
    if (!IsErased(m.flash, at, end))
        return SimFail(SimErrWrite);
    if (m.flash.size() < end)
        // cppcheck-suppress invalidFunctionArg ; fills with char 0xFF, negative where char is signed
        m.flash.resize(end, kErased);
    m.flash.replace(at, data.size(), data);
    if (m.programBlock++ == m.weakBlock && m.weakPassesLeft > 0 && end > at) {
        m.weakPassesLeft--;
        m.flash[end - 1] = char(~data.back());  // a weak cell: the last byte did not take
    }
    if (at == 0)
        m.record.programPasses++;
    m.programCursor = end;
    return SimOk();
}

SimReply Verify(SimMachine &m, const std::string &data)
{
    if (m.lastCommand != CmdVerify && m.lastCommand != CmdVerifyAlt) {
        m.verifyCursor = 0;
        m.verifyBlock = 0;
    }
    int block = m.verifyBlock++;
    size_t at = m.verifyCursor, end = at + data.size();
    if (end > m.options.flashSize)
        return SimFail(SimErrBadLength);
    if (block == 0)
        m.record.verifyPasses++;
    if (block == m.options.verifyMismatchBlock || !Holds(m.flash, at, data)) {
        m.record.verifyFailures++;
        return SimFail(SimErrVerify);
    }
    m.verifyCursor = end;
    return SimOk();
}

SimReply Dispatch(SimMachine &m, unsigned char command, const std::string &payload)
{
    switch (command) {
    case CmdQuery: return SimQuery(m, payload);
    case CmdGetInfo: return SimGetInfo(m, payload);
    case CmdBlankCheck: return BlankCheck(m, payload);
    case CmdErase: return Erase(m, payload);
    case CmdProgram:
    case CmdProgramAlt: return Program(m, payload);
    case CmdVerify:
    case CmdVerifyAlt: return Verify(m, payload);
    default: return SimFail(SimErrUnknownCommand);
    }
}

}  // namespace

std::string SimFactoryFlash(const std::string &info)
{
    return info.empty() ? std::string() : info + '\0';
}

std::string SimInstalledInfo(const std::string &flash)
{
    std::string text = flash.substr(0, flash.find_first_of(std::string("\0\xFF", 2)));
    size_t from = 0;
    while (from < text.size()) {
        size_t lf = text.find('\n', from);
        std::string line = text.substr(from, lf == std::string::npos ? std::string::npos : lf - from);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsTokenLine(line))
            return text;
        if (lf == std::string::npos)
            break;
        from = lf + 1;
    }
    return std::string();
}

void SimStartLoader(SimMachine &m, unsigned baud)
{
    m.mode = SimMode::FlashLoader;
    m.baud = baud;
    m.programCursor = 0;
    m.programBlock = 0;
    m.verifyCursor = 0;
    m.verifyBlock = 0;
    m.lastCommand = -1;
}

SimReply SimFlashLoader(SimMachine &m, unsigned char command, const std::string &payload)
{
    SimReply r = Dispatch(m, command, payload);
    m.lastCommand = command;
    return r;
}
