// The production fixture the simulated device stands for: it holds one unit
// at a time and powers it; an operator takes a unit out and plugs the next
// in. What a unit is, how the operator times the swaps, and what the fixture
// has seen happen to each unit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/zsim/simfault.h"

// The firmware a device holds unless told otherwise: VKT-3 1.0.0.
inline constexpr const char *kSimDefaultInfo = "VN:1.0.0\r\nMD:VKT-3\r\nHW:VKT3K\r\nTS:2026-01-15 10:00\r\n";

struct SimUnit {
    // Units of one name are one unit: plugged in again it holds its flash,
    // fault counters and counts as it left them. Empty: a name of its own,
    // "#N" for the N-th unit the fixture sees; such a unit can come back
    // only by a re-seat right after it was taken out (the fixture keeps the
    // flash of named units and of the last one taken out, not of every unit
    // of a long shift).
    std::string name;
    std::string hw = "VKT3K";       // answer to Query("HW"); empty: error 10
    // Information text of its installed firmware; empty: a blank region.
    std::string installedInfo = kSimDefaultInfo;
    // When set: the region's bytes from address 0 instead, e.g. an image's
    // blocks in order, as programming it leaves them (shared by the units
    // that hold the same image).
    std::shared_ptr<const std::string> flash;
    int verifyMismatchBlock = -1;   // verify answers error 4 at this block (0-based), for good
    // Block `weakBlock` (0-based) takes its data wrongly on the first
    // `weakPasses` programming passes: verify finds the mismatch there until
    // the region is erased and programmed again.
    int weakBlock = -1;
    int weakPasses = 1;
    std::vector<SimFault> faults;   // counted over the unit's whole life, besides the device's own
};

// The operator's automatic swaps. A unit is taken out once the host is done
// with it: it has been captured since it was plugged in (or re-seated), and
// the host has been quiet for `quietMs` (no byte from the host, no reply
// from the device; a device busy with an erase is not quiet). The next unit in line is plugged
// in a pause after every take-out, drawn from [plugMinMs, plugMaxMs] by a
// generator seeded with `seed` (the same seed, the same pauses).
struct SimOperator {
    bool enabled = false;
    int quietMs = 500;
    int plugMinMs = 300;
    int plugMaxMs = 1000;
    uint32_t seed = 1;
};

// One unit as the fixture has seen it, counted over all its power-ups.
struct SimUnitRecord {
    std::string name;
    std::string hw;                 // as it answers now
    unsigned powerUps = 0;          // plugged in, re-seated, reset or power-cycled
    unsigned captures = 0;
    // Programming passes: program requests accepted at the start of the
    // region (the first block after the flash loader started or the region
    // was erased). More than one: the unit was programmed again.
    unsigned programPasses = 0;
    unsigned verifyPasses = 0;      // verify requests at the start of the region
    unsigned verifyFailures = 0;    // verify requests answered with a mismatch
    // From its last plug-in or re-seat to the host's last byte or the
    // device's last reply while it was in: the station's time for it.
    unsigned servedMs = 0;
    std::string installedInfo;      // what GetInfo(2) would answer now
};

struct SimFixtureStats {
    unsigned plugged = 0;           // units plugged in (a unit plugged in again counts again)
    unsigned reseated = 0;          // re-seats of a unit (not counted in `plugged`)
    unsigned takenOut = 0;
    unsigned unplugs = 0;           // times the USB adapter was pulled
    uint64_t bytesWhileEmpty = 0;   // bytes the host sent while no unit was powered
    int current = -1;               // the unit in the fixture (index in `units`), -1: empty
    size_t waiting = 0;             // units in line
    bool adapterPlugged = true;
    std::vector<SimUnitRecord> units;  // in the order of their first plug-in

    unsigned UnitsProgrammed() const;  // units with at least one programming pass
    unsigned ProgramPasses() const;    // over all units
    unsigned VerifyPasses() const;
};

// What happened, as it happens (SimDevice::OnFixtureEvent).
struct SimFixtureEvent {
    enum Kind {
        PluggedIn,    // `unit` powered up in the fixture
        Reseated,     // `unit` taken out and put back: powered up again
        TakenOut,     // `unit` taken out; the line is silent
        StreamEnded,  // taken out with no unit in line: the stream is over
        Unplugged,    // the adapter was pulled: the port is gone
        Replugged,    // the adapter is back under the same name
    };
    Kind kind = PluggedIn;
    int unit = -1;                  // index in SimFixtureStats::units; -1 for the adapter
    std::string name;               // the unit's name; empty for the adapter
};
