// A simulated Zelvo device on a Linux pseudo-terminal: the boot loader
// (announcement, capture, query, information, RAM download and start, reset)
// and the flash loader it starts (information, blank check, erase, program,
// verify), with wire-time emulation and fault injection. It stands in a
// production fixture (simfixture.h) that holds one unit at a time: units are
// taken out, plugged in and re-seated, and the USB adapter between host and
// fixture can be pulled. Runs on its own thread; tests use it in-process,
// `zsim` runs it as a program (docs/zsim.md).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "tools/zsim/simfault.h"
#include "tools/zsim/simfixture.h"

// What the device does with a repeated request: the same request frame as
// the one before it, reaching the device before it began its reply to that
// one (the host sent it again while the device was still at work: the reply
// came after the host's time-out).
enum class SimRepeats {
    Once,   // not carried out again: the same reply goes out once more (as the host assumes)
    Twice,  // carried out again, as any request: a device that cannot tell
};

struct SimOptions {
    std::string hw = "VKT3K";   // answer to Query("HW"); empty: error 10
    // Information text of the installed firmware (region 2). Empty: the
    // region is blank and GetInfo(2) answers error 10 ("No string data").
    std::string installedInfo = kSimDefaultInfo;
    unsigned flashSize = 4u << 20;  // bytes of the firmware region
    int eraseMs = 20;               // time an erase takes
    bool wireTime = false;          // emulate 10 bits per byte at the current baud, both ways
    bool announce = true;           // send "Zelvo Boot Loader" while waiting for capture
    int announceGapMs = 50;         // pause between announcements
    // While waiting for capture, print a boot log without pause (a board
    // talking on the line, announcing or not).
    bool chatter = false;
    enum Ack { AckGood, AckNone, AckWrong } ack = AckGood;
    // Baud of the flash loader after the start command; 0: from the "BR:" token
    // of the information text at the start of the RAM image's data.
    unsigned loaderBaud = 0;
    // The flash loader hears nothing for this long after it starts (it is
    // still starting and re-clocking its line): bytes arriving then are lost.
    int loaderDeafMs = 0;
    // Bytes sent at a baud other than the host's arrive garbled, as on a real line.
    bool enforceBaud = true;
    int verifyMismatchBlock = -1;   // verify reports error 4 at this block (0-based)
    int closeAfterRequests = -1;    // the line goes dead after this many requests
    // A host closing the port power-cycles the device (it announces again).
    bool powerCycleOnClose = true;
    std::vector<SimFault> faults;
    SimRepeats repeats = SimRepeats::Once;
    std::string linkPath;           // if set, a symlink to the pty slave is made here
    // A USB serial adapter between the device and the host (sim_adapter.h):
    // bytes toward the host wait until 62 have gathered or its latency timer
    // runs out. The timer is read from latencyTimerFile (empty: 16 ms).
    bool adapter = false;
    std::string latencyTimerFile;
    bool log = false;               // one line per request, reply and event on stderr
    bool logTime = false;           // each such line begins with the time (CLOCK_MONOTONIC, seconds)
    // The fixture's stream of units (simfixture.h), read at construction.
    // Empty: the fixture holds one unit made of hw, installedInfo and
    // verifyMismatchBlock. Else units[0] is in the fixture from the start
    // and the others wait in line.
    std::vector<SimUnit> units;
    SimOperator swapper;            // automatic swaps; off by default
};

struct SimStats {
    uint64_t bytesIn = 0, bytesOut = 0;
    uint64_t framesIn = 0, framesOut = 0;
    double wireSecondsIn = 0, wireSecondsOut = 0;  // 10 bits a byte at the baud then in force
    double deviceSeconds = 0;  // from each request's end on the wire to its reply's start
    unsigned captures = 0;
    uint64_t bytesUnheard = 0;      // arrived while the starting flash loader was deaf
    std::vector<int> commands;  // request codes in order of arrival
    // Repeated requests answered again without being carried out (SimRepeats::Once).
    unsigned repeatsAnswered = 0;
    // With an adapter: each reply's request code and the adapter's latency
    // timer (ms) while it held the reply.
    std::vector<std::pair<int, int>> adapterTimers;
};

class SimDevice {
public:
    explicit SimDevice(SimOptions options = {});
    ~SimDevice();  // stops the thread, closes the pty, removes the link
    SimDevice(const SimDevice &) = delete;
    SimDevice &operator=(const SimDevice &) = delete;

    bool Start();                     // creates the pty and starts the device thread
    void Stop();
    const std::string &PortPath() const;  // the slave's path, or linkPath when given

    void PowerCycle();                // back to the boot loader, announcing (an empty fixture: nothing)
    bool Captured() const;
    bool LoaderRunning() const;       // the flash loader has been started
    // The host has the port open, as far as the device has noticed: a test
    // that runs a host after another waits for the device to see the first
    // one go (and power-cycle) before it starts the next.
    bool HostOpen() const;
    unsigned CurrentBaud() const;     // the device side's baud
    // Bytes of the firmware region up to the highest one written (beyond:
    // erased); a device made with installedInfo holds that text, zero-ended.
    std::string FlashContents() const;
    std::string InstalledInfo() const;      // what GetInfo(2) would answer now
    SimStats Stats() const;
    void ResetStats();
    // Takes effect for the next request; fault counters start afresh and a
    // dead line comes back. A new installedInfo reloads the region.
    void SetOptions(const SimOptions &options);
    // One more device fault, counted from the next request; the others keep
    // their counts.
    void AddFault(const SimFault &fault);

    // The fixture (simfixture.h). Each change is in force when the call
    // returns: a unit taken out stops even in the middle of a reply and
    // hears nothing more; a unit plugged in powers up in its boot loader at
    // 115200 and announces. Hardware id, flash and verify mismatch block of
    // the unit in the fixture are those SetOptions changes.
    void TakeOutUnit();                     // nothing when the fixture is empty
    // The unit taken out at once, the next unit in line plugged in after
    // `pauseMs` (0: at once).
    void SwapUnit(int pauseMs);
    void PlugIn(const SimUnit &unit);       // a unit in the fixture is taken out first
    bool PlugInNext();                      // false when no unit waits in line
    // The unit in the fixture, or else the one taken out last, powers up
    // again with its flash as it was. False when no unit has been in.
    bool Reseat();
    void QueueUnits(const std::vector<SimUnit> &units);  // appended to the line
    SimFixtureStats Fixture() const;
    // Called for every fixture event, in order, on the device thread or on
    // the thread whose call caused it. It may read the device (Fixture,
    // Stats) but not change its fixture or adapter. Set before Start.
    void OnFixtureEvent(std::function<void(const SimFixtureEvent &)> sink);

    // The USB adapter (needs linkPath). Pulled: the pty master closes (the
    // host's descriptor hangs up) and the link is removed; the unit keeps
    // running, powered by the fixture. Plugged back: a new pty under the same
    // link. Returns once the port is gone; false when not running, without a
    // link or already pulled. `backAfterMs` < 0: until PlugAdapterBack.
    bool UnplugAdapter(int backAfterMs);
    bool PlugAdapterBack();                 // false when not pulled; returns once the link is back
    bool AdapterPlugged() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
