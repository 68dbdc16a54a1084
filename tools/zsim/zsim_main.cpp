// zsim: the simulated Zelvo device as a program. It plays the device on a
// pseudo-terminal until SIGINT or SIGTERM; the host opens the slave (or the
// --link symlink to it) as its serial port, e.g. mapped as a Wine COM port.
// In a production fixture it plays a stream of units, swapped by a simulated
// operator or by commands on a control FIFO.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "tools/zsim/sim_control.h"
#include "tools/zsim/sim_unit_text.h"
#include "tools/zsim/simdevice.h"
#include "tools/zsim/simfaults.h"
#include "tools/zsim/zsim_control.h"

namespace {

struct Args {
    SimOptions o;
    std::string info, infoFile, ack = "good", repeats = "once";
    std::vector<std::string> faults;
    bool blank = false, noAnnounce = false, noEnforce = false, noPowerCycle = false;
    // The fixture.
    std::vector<std::string> units;
    std::string currentInfo, currentInfoFile, currentImage, plugPause, control;
    int autoSwapMs = -1;

    bool Fixture() const { return !units.empty() || autoSwapMs >= 0 || !control.empty(); }
};

void AddFixtureOptions(CLI::App &app, Args &a)
{
    app.add_option("--unit", a.units, "Units that come to the fixture, in order (repeatable; syntax below)")
        ->allow_extra_args(false)
        ->type_name("UNIT");
    app.add_option("--current-image", a.currentImage,
                   "The station's image: a unit with fw=current holds its blocks, as programming leaves them")
        ->type_name("FILE");
    app.add_option("--current-info", a.currentInfo,
                   "Information text a unit with fw=current holds (\\n, \\r escapes)");
    app.add_option("--current-info-file", a.currentInfoFile, "Read that text from a file")->type_name("FILE");
    app.add_option("--auto-swap", a.autoSwapMs,
                   "An operator swaps units: a unit is taken out once captured and the host has been quiet "
                   "QUIET_MS (no byte from the host, no reply); the next is plugged in after --plug-pause-ms")
        ->type_name("QUIET_MS");
    app.add_option("--plug-pause-ms", a.plugPause,
                   "The pause before the next unit, drawn from MIN..MAX (default 300-1000)")
        ->type_name("MIN[-MAX]");
    app.add_option("--seed", a.o.swapper.seed, "Seed of the drawn pauses")->capture_default_str();
    app.add_option("--control", a.control,
                   "Read commands from this FIFO (made if missing, removed at exit if made); syntax below")
        ->type_name("FIFO");
}

void AddOptions(CLI::App &app, Args &a)
{
    app.add_option("--hw", a.o.hw, "Answer to Query(\"HW\"); empty: error 10")->capture_default_str();
    app.add_option("--info", a.info,
                   "Information text of the installed firmware (\\n, \\r escapes); default: a VKT-3 1.0.0");
    app.add_option("--info-file", a.infoFile, "Read the installed information text from a file");
    app.add_flag("--blank", a.blank, "The firmware region is blank");
    app.add_option("--flash-size", a.o.flashSize, "Bytes of the firmware region")->capture_default_str();
    app.add_option("--erase-ms", a.o.eraseMs, "Time an erase takes")->capture_default_str();
    app.add_flag("--wire-time", a.o.wireTime, "Pace bytes at 10 bits a byte at the device's baud");
    app.add_flag("--no-announce", a.noAnnounce, "The boot loader does not announce itself");
    app.add_option("--announce-gap-ms", a.o.announceGapMs, "Pause between announcements")
        ->capture_default_str();
    app.add_option("--ack", a.ack, "Capture acknowledgement")
        ->check(CLI::IsMember({"good", "none", "wrong"}))
        ->capture_default_str();
    app.add_option("--loader-baud", a.o.loaderBaud,
                   "Flash loader baud; 0: from the BR: token of the loader's information text")
        ->capture_default_str();
    app.add_option("--loader-deaf-ms", a.o.loaderDeafMs,
                   "The flash loader hears nothing for this long after it starts (bytes then are lost)")
        ->capture_default_str();
    app.add_flag("--chatter", a.o.chatter,
                 "While waiting for capture, print a boot log without pause");
    app.add_flag("--no-enforce-baud", a.noEnforce, "Bytes pass whatever rate the host runs at");
    app.add_option("--verify-mismatch-block", a.o.verifyMismatchBlock,
                   "Verify answers error 4 at this block (0-based); -1: never")
        ->capture_default_str();
    app.add_option("--close-after-requests", a.o.closeAfterRequests,
                   "The line goes dead after this many requests; -1: never")
        ->capture_default_str();
    app.add_flag("--no-power-cycle-on-close", a.noPowerCycle,
                 "The device keeps its state when the host closes the port");
    app.add_option("--fault", a.faults, "Inject a fault (repeatable; syntax below)")
        ->allow_extra_args(false);
    app.add_option("--repeats", a.repeats,
                   "A request sent again before the device began its reply to it (the reply was late): "
                   "answered again without being carried out again (once), or carried out again (twice)")
        ->check(CLI::IsMember({"once", "twice"}))
        ->capture_default_str();
    app.add_option("--link", a.o.linkPath, "Make a symlink to the pty slave here");
    app.add_flag("--adapter", a.o.adapter,
                 "A USB serial adapter between device and host: bytes toward the host wait until 62 "
                 "have gathered or its latency timer (16 ms) runs out");
    app.add_option("--latency-timer", a.o.latencyTimerFile,
                   "The adapter's latency timer in ms, read from FILE (as the driver exposes it: "
                   "latency_timer) each time its buffer starts to fill; implies --adapter")
        ->type_name("FILE");
    app.add_flag("--log", a.o.log, "One line per request, reply and event on stderr");
    app.add_flag("--log-time", a.o.logTime,
                 "Begin each --log line with the time it was written (CLOCK_MONOTONIC, in seconds)");
    AddFixtureOptions(app, a);
    app.footer(std::string(kSimFaultSyntax) + "\n" + kSimUnitSyntax + "\n" + kSimControlSyntax +
               "\nWith --unit, --auto-swap or --control, each fixture event is a line on standard output\n"
               "(\"zsim: unit NAME plugged in\", \"... taken out\", \"... re-seated\", \"zsim: the line of units has ended\",\n"
               "\"zsim: adapter unplugged\", \"zsim: adapter plugged back\"), and the counters are printed at\n"
               "the end (\"zsim: fixture KEY=VALUE...\", one \"zsim: unit NAME KEY=VALUE...\" a unit).\n");
}

bool Fail(const std::string &why)
{
    std::fprintf(stderr, "zsim: %s\n", why.c_str());
    return false;
}

// Folds the fixture's options into o.units and o.swapper.
bool FinishFixture(Args &a)
{
    if (!a.currentInfoFile.empty() && !SimReadTextFile(a.currentInfoFile, a.currentInfo))
        return Fail("cannot read " + a.currentInfoFile);
    if (a.currentInfoFile.empty())
        a.currentInfo = SimUnescape(a.currentInfo);
    std::string currentFlash, error;
    if (!a.currentImage.empty() && !SimImageFlash(a.currentImage, currentFlash, a.currentInfo, error))
        return Fail(error);
    const SimUnitWords words{a.o.hw, a.o.verifyMismatchBlock, a.o.installedInfo, a.currentInfo,
                             a.currentImage.empty() ? nullptr
                                                    : std::make_shared<const std::string>(std::move(currentFlash))};
    for (const std::string &text : a.units)
        if (!ParseSimUnits(text, words, a.o.units, error))
            return Fail("bad unit \"" + text + "\": " + error + "\n" + kSimUnitSyntax);
    SimOperator &op = a.o.swapper;
    op.enabled = a.autoSwapMs >= 0;
    op.quietMs = std::max(0, a.autoSwapMs);
    if (!a.plugPause.empty()) {
        const size_t dash = a.plugPause.find('-');
        long lo = 0, hi = 0;
        if (!SimParseInt(a.plugPause.substr(0, dash), 0, 3600000, lo) ||
            !SimParseInt(dash == std::string::npos ? a.plugPause : a.plugPause.substr(dash + 1), lo, 3600000, hi))
            return Fail("bad --plug-pause-ms \"" + a.plugPause + "\": MIN or MIN-MAX, in ms");
        op.plugMinMs = int(lo);
        op.plugMaxMs = int(hi);
    }
    return true;
}

// Folds the flags into the options; false with a message when one is wrong.
bool Finish(Args &a)
{
    if (!a.infoFile.empty()) {
        if (!SimReadTextFile(a.infoFile, a.o.installedInfo))
            return Fail("cannot read " + a.infoFile);
    } else if (!a.info.empty()) {
        a.o.installedInfo = SimUnescape(a.info);
    }
    if (a.blank)
        a.o.installedInfo.clear();
    a.o.announce = !a.noAnnounce;
    a.o.enforceBaud = !a.noEnforce;
    a.o.powerCycleOnClose = !a.noPowerCycle;
    a.o.adapter = a.o.adapter || !a.o.latencyTimerFile.empty();
    a.o.ack = a.ack == "none" ? SimOptions::AckNone
            : a.ack == "wrong" ? SimOptions::AckWrong : SimOptions::AckGood;
    a.o.repeats = a.repeats == "twice" ? SimRepeats::Twice : SimRepeats::Once;
    for (const std::string &text : a.faults) {
        SimFault f;
        if (!ParseSimFault(text, f)) {
            std::fprintf(stderr, "zsim: bad fault \"%s\"\n%s", text.c_str(), kSimFaultSyntax);
            return false;
        }
        a.o.faults.push_back(f);
    }
    return FinishFixture(a);
}

}  // namespace

// Only bad_alloc or a failed thread start can escape: ending then is right.
// NOLINTNEXTLINE(bugprone-exception-escape)
int main(int argc, char **argv)
{
    CLI::App app{"Simulated Zelvo device on a pseudo-terminal", "zsim"};
    Args args;
    AddOptions(app, args);
    CLI11_PARSE(app, argc, argv);
    if (!Finish(args))
        return 2;

    // The device thread inherits the blocked set; the main thread waits here.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    ControlFifo control;
    if (!args.control.empty() && !control.Open(args.control)) {
        std::fprintf(stderr, "zsim: cannot make or open the control FIFO %s\n", args.control.c_str());
        return 1;
    }
    SimDevice device(args.o);
    if (args.Fixture())
        device.OnFixtureEvent([](const SimFixtureEvent &e) {
            std::printf("%s\n", SimFixtureEventText(e).c_str());
            std::fflush(stdout);
        });
    if (!device.Start()) {
        std::fprintf(stderr, "zsim: cannot create the pseudo-terminal%s\n",
                     args.o.linkPath.empty() ? "" : " or its link");
        return 1;
    }
    std::printf("zsim: device on %s\n", device.PortPath().c_str());
    std::fflush(stdout);
    if (!args.control.empty()) {
        control.Serve(device, stop);
    } else {
        int sig = 0;
        sigwait(&stop, &sig);
    }
    device.Stop();
    if (args.Fixture()) {
        std::printf("%s", SimFixtureReport(device.Fixture()).c_str());
        std::fflush(stdout);
    }
    if (args.o.log || args.Fixture()) {
        SimStats s = device.Stats();
        std::fprintf(stderr, "zsim: %u captures, %zu requests (%u repeats answered again); in %llu bytes "
                     "(%.3f s on the wire), out %llu bytes (%.3f s on the wire); %.3f s the device's own\n",
                     s.captures, s.commands.size(), s.repeatsAnswered, (unsigned long long)s.bytesIn,
                     s.wireSecondsIn, (unsigned long long)s.bytesOut, s.wireSecondsOut, s.deviceSeconds);
    }
    return 0;
}
