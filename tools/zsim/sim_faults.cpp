// Fault matching and the command-line form of a fault.
#include <cstdlib>
#include <sstream>

#include "tools/zsim/simfaults.h"

const SimFault *SimMatchFault(const std::vector<SimFault> &faults, std::vector<int> &seen,
                              int command)
{
    if (seen.size() < faults.size())
        seen.resize(faults.size(), 0);
    const SimFault *hit = nullptr;
    for (size_t i = 0; i < faults.size(); ++i) {
        const SimFault &f = faults[i];
        if (f.command != -1 && f.command != command)
            continue;
        int n = ++seen[i];
        bool applies = n > f.skip && (f.count < 0 || n <= f.skip + f.count);
        if (applies && !hit)
            hit = &f;
    }
    return hit;
}

namespace {

const struct {
    const char *name;
    SimFault::Kind kind;
} kKinds[] = {
    {"drop", SimFault::DropReply}, {"corrupt", SimFault::CorruptReply},
    {"error", SimFault::ErrorCode}, {"odd", SimFault::OddStatus},
    {"noise", SimFault::Noise},     {"close", SimFault::CloseLine},
    {"slow", SimFault::SlowReply},  {"unplug", SimFault::Unplug},
    {"reseat", SimFault::Reseat},   {"late", SimFault::LateReply},
};

}  // namespace

const char *SimFaultName(SimFault::Kind kind)
{
    for (const auto &k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "?";
}

bool SimParseInt(const std::string &s, long lo, long hi, long &out)
{
    if (s.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseSimFault(const std::string &text, SimFault &fault)
{
    std::vector<std::string> f;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ':');)
        f.push_back(part);
    if (f.size() < 2 || f.size() > 5)
        return false;
    SimFault r;
    bool known = false;
    for (const auto &k : kKinds)
        if (f[0] == k.name) {
            r.kind = k.kind;
            known = true;
        }
    long v = 0;
    if (!known)
        return false;
    if (f[1] == "any")
        r.command = -1;
    else if (SimParseInt(f[1], 0, 255, v))
        r.command = int(v);
    else
        return false;
    if (f.size() > 2) {
        if (!SimParseInt(f[2], 0, 1000000, v))
            return false;
        r.skip = int(v);
    }
    if (f.size() > 3) {
        if (f[3] == "all")
            r.count = -1;
        else if (SimParseInt(f[3], -1, 1000000, v))
            r.count = int(v);
        else
            return false;
    }
    if (f.size() > 4) {
        if (!SimParseInt(f[4], 0, 1000000, v))
            return false;
        r.value = unsigned(v);
    }
    fault = r;
    return true;
}

const char *const kSimFaultSyntax =
    "Fault: KIND:COMMAND[:SKIP[:COUNT[:VALUE]]]\n"
    "  COMMAND  request code 0..255, or 'any'\n"
    "  SKIP     matching requests let through first (default 0)\n"
    "  COUNT    matching requests it then applies to (default 1; 'all' or -1: for ever)\n"
    "  KIND     drop     the request is lost: not carried out, no reply\n"
    "           corrupt  carried out; the reply's second checksum byte is wrong\n"
    "           error    not carried out; status 1 with error code VALUE\n"
    "           odd      not carried out; status byte VALUE\n"
    "           noise    carried out; VALUE bytes of noise before the reply (0: 16)\n"
    "           close    the line goes dead for good (a fixture's unit: until it is\n"
    "                    plugged in or re-seated); VALUE 1 also hangs up the line\n"
    "           slow     carried out; the reply comes VALUE * 100 ms late\n"
    "           late     carried out; the reply comes VALUE ms late (past the host's\n"
    "                    time-out the host sends the request again: see --repeats;\n"
    "                    a repeat answered without being carried out is not late)\n"
    "           unplug   lost: the USB adapter is pulled and back VALUE ms later\n"
    "                    (needs --link; the port is gone meanwhile, the unit runs on)\n"
    "  e.g. drop:92:0:2 (the first two erase requests are lost),\n"
    "       error:93:0:1:7 (the first blank check answers \"Flash not blank\"),\n"
    "       unplug:190:5:1:300 (the adapter is out for 300 ms from the sixth program block),\n"
    "       late:190:5:1:500 (the reply to the sixth program block comes 500 ms late)\n";
