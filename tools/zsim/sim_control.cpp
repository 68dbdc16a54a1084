// The fixture's commands, event lines and counters as text.
#include "tools/zsim/sim_control.h"

#include <sstream>

#include "catalogue/firmware.h"
#include "tools/zsim/simfaults.h"

namespace {

// The number after a command, or `otherwise` when there is none; false when
// what follows is not a number of milliseconds.
bool Milliseconds(std::istringstream &in, int otherwise, int &ms)
{
    std::string word;
    long v = otherwise;
    if (in >> word && !SimParseInt(word, 0, 3600000, v))
        return false;
    ms = int(v);
    return true;
}

// The fault after a command; false when there is none or it does not parse.
bool FaultAfter(std::istringstream &in, SimFault &fault)
{
    std::string text;
    return in >> text && ParseSimFault(text, fault);
}

// What to print when a command could not be carried out.
void Refused(bool done, const char *why, std::string &reply)
{
    if (!done)
        reply = why;
}

std::string Version(const std::string &info)
{
    if (info.empty())
        return "blank";
    const std::string vn = GetInfoToken(info, "VN:");
    return vn.empty() ? "?" : vn;
}

}  // namespace

SimControlResult SimControl(SimDevice &device, const std::string &line, std::string &reply)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    int ms = 0;
    SimFault fault;
    if (command == "out")
        device.TakeOutUnit();
    else if (command == "in")
        Refused(device.PlugInNext(), "zsim: no unit in line to plug in\n", reply);
    else if (command == "swap" && Milliseconds(in, 0, ms))
        device.SwapUnit(ms);
    else if (command == "reseat")
        Refused(device.Reseat(), "zsim: no unit to re-seat\n", reply);
    else if (command == "unplug" && Milliseconds(in, -1, ms))
        Refused(device.UnplugAdapter(ms), "zsim: adapter not pulled (no --link, or out already)\n", reply);
    else if (command == "replug")
        Refused(device.PlugAdapterBack(), "zsim: adapter not out\n", reply);
    else if (command == "fault" && FaultAfter(in, fault))
        device.AddFault(fault);
    else if (command == "stats")
        reply = SimFixtureReport(device.Fixture());
    else if (command == "quit")
        return SimControlResult::Quit;
    else if (!command.empty()) {
        reply = "zsim: bad command \"" + line + "\"\n";
        return SimControlResult::Bad;
    }
    return SimControlResult::Done;
}

const char *const kSimControlSyntax =
    "Control (--control FIFO): one command a line\n"
    "  out          take the unit out: the line goes silent (with --auto-swap the\n"
    "               operator plugs the next one in after a drawn pause)\n"
    "  in           plug in the next unit in line: it powers up and announces\n"
    "  swap [MS]    take the unit out and plug in the next one MS ms later (default 0)\n"
    "  reseat       the unit (or the one taken out last) powers up again, flash as left\n"
    "  unplug [MS]  pull the USB adapter: the port goes away (the host's descriptor\n"
    "               hangs up, the --link is removed); back under the same link after\n"
    "               MS ms, or on 'replug'. The unit runs on. Needs --link\n"
    "  replug       plug the adapter back\n"
    "  fault FAULT  one more fault of the device (syntax above), counted from the\n"
    "               next request: e.g. 'fault late:190:5:1:500' makes the reply to the\n"
    "               sixth program block from now 500 ms late\n"
    "  stats        print the counters\n"
    "  quit         end zsim, as SIGTERM does\n"
    "  e.g. echo 'swap 500' > FIFO\n";

std::string SimFixtureEventText(const SimFixtureEvent &e)
{
    switch (e.kind) {
    case SimFixtureEvent::PluggedIn: return "zsim: unit " + e.name + " plugged in";
    case SimFixtureEvent::Reseated: return "zsim: unit " + e.name + " re-seated";
    case SimFixtureEvent::TakenOut: return "zsim: unit " + e.name + " taken out";
    case SimFixtureEvent::StreamEnded: return "zsim: the line of units has ended";
    case SimFixtureEvent::Unplugged: return "zsim: adapter unplugged";
    case SimFixtureEvent::Replugged: return "zsim: adapter plugged back";
    }
    return "zsim: ?";
}

std::string SimFixtureReport(const SimFixtureStats &s)
{
    std::ostringstream out;
    out << "zsim: fixture plugged=" << s.plugged << " reseated=" << s.reseated << " taken-out=" << s.takenOut
        << " units-programmed=" << s.UnitsProgrammed() << " program-passes=" << s.ProgramPasses()
        << " verify-passes=" << s.VerifyPasses() << " unplugs=" << s.unplugs
        << " in=" << (s.current >= 0 ? s.units[size_t(s.current)].name : "-") << " waiting=" << s.waiting
        << " bytes-while-empty=" << s.bytesWhileEmpty << "\n";
    for (const SimUnitRecord &u : s.units)
        out << "zsim: unit " << u.name << " hw=" << (u.hw.empty() ? "-" : u.hw) << " power-ups=" << u.powerUps
            << " captures=" << u.captures << " program-passes=" << u.programPasses
            << " verify-passes=" << u.verifyPasses << " verify-failures=" << u.verifyFailures
            << " served-ms=" << u.servedMs << " version=" << Version(u.installedInfo) << "\n";
    return out.str();
}
