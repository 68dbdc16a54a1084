// A simulated Zelvo device on a Linux pseudo-terminal: the boot loader
// (announcement, capture, query, information, RAM download and start, reset)
// and the flash loader it starts (information, blank check, erase, program,
// verify), with wire-time emulation and fault injection. Runs on its own
// thread; tests use it in-process, `zsim` runs it as a program.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct SimFault {
    enum Kind {
        DropReply,     // receive the request, send nothing
        CorruptReply,  // send the reply with a wrong second checksum byte
        ErrorCode,     // reply status 1 with error code `value`
        OddStatus,     // reply with status byte `value` (not 0 or 1)
        Noise,         // send `value` bytes of noise before the reply (0: 16)
        CloseLine,     // stop answering for good: the cable is pulled
        SlowReply,     // reply after `value` * 100 ms (erase near its time-out)
    };
    Kind kind = DropReply;
    int command = -1;  // request code it applies to; -1 any
    int skip = 0;      // matching requests let through before the fault applies
    int count = 1;     // matching requests it applies to after that; -1 for ever
    unsigned value = 0;
};

struct SimOptions {
    std::string hw = "VKT3K";   // answer to Query("HW"); empty: error 10
    // Information text of the installed firmware (region 2). Empty: the
    // region is blank and GetInfo(2) answers error 10 ("No string data").
    std::string installedInfo = "VN:1.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-01-15 10:00\r\n";
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
    std::string linkPath;           // if set, a symlink to the pty slave is made here
    // A USB serial adapter between the device and the host (sim_adapter.h):
    // bytes toward the host wait until 62 have gathered or its latency timer
    // runs out. The timer is read from latencyTimerFile (empty: 16 ms).
    bool adapter = false;
    std::string latencyTimerFile;
    bool log = false;               // one line per request, reply and event on stderr
};

struct SimStats {
    uint64_t bytesIn = 0, bytesOut = 0;
    uint64_t framesIn = 0, framesOut = 0;
    double wireSecondsIn = 0, wireSecondsOut = 0;  // 10 bits a byte at the baud then in force
    unsigned captures = 0;
    uint64_t bytesUnheard = 0;      // arrived while the starting flash loader was deaf
    std::vector<int> commands;  // request codes in order of arrival
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

    void PowerCycle();                // back to the boot loader, announcing
    bool Captured() const;
    bool LoaderRunning() const;       // the flash loader has been started
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

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
