// Inside SimDevice: the fixture's bookkeeping apart from the line. The units
// in line, the units taken out (with their flash, on a shelf by name), one
// record per unit, the counters, and the operator's timing. No I/O and no
// waiting; the device (sim_fixture_device.cpp) installs the unit that comes
// in into its machine and hands back the one that goes out.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/zsim/simfixture.h"

// What a unit carries out of the fixture and back in.
struct SimUnitState {
    SimUnit unit;                   // named; hw and verifyMismatchBlock as last in force
    bool named = false;             // its name was given, not made up
    std::string flash;
    std::vector<int> faultSeen;     // one counter per fault of the unit
    int weakPassesLeft = 0;
    int record = -1;                // index of its record
};

// What the operator does next, and when.
struct SimOperatorPlan {
    enum Step { Wait, TakeOut, PlugNext } step = Wait;
    std::optional<std::chrono::steady_clock::time_point> at;  // none: nothing scheduled
};

class SimFixture {
public:
    using Clock = std::chrono::steady_clock;

    SimFixture();
    // The operator's settings; the first call seeds its pauses.
    void SetOperator(const SimOperator &op);
    void Queue(const std::vector<SimUnit> &units);
    bool UnitWaiting() const { return !line.empty(); }
    SimUnit NextInLine();           // the caller checked UnitWaiting
    // A unit comes in: its state from the shelf when a unit of its name has
    // been in before, else as made (a new record, `record` its first counts).
    SimUnitState Arrive(SimUnit unit, SimUnitRecord &record);
    // The unit last taken out, back from the shelf; none when there is none.
    std::optional<SimUnitState> Recall();
    // The unit in goes out with its state and record (its counts while in).
    void Leave(SimUnitState state, const SimUnitRecord &record);
    int Current() const { return current; }
    const SimUnitRecord &RecordOf(int index) const { return records[size_t(index)]; }
    void CountReseat() { counts.reseated++; }
    void CountUnplug() { counts.unplugs++; }
    void CountBytesWhileEmpty(size_t n) { counts.bytesWhileEmpty += n; }

    // The operator. A take-out schedules the next plug-in: after `pauseMs`,
    // after a drawn pause when the operator is on and none is given (< 0),
    // else not at all. A plug-in clears the schedule.
    void ScheduleNext(Clock::time_point now, int pauseMs);
    void ClearSchedule() { plugAt.reset(); }
    // `captured`: the unit in has been captured since it powered up;
    // `quietSince`: the host's last byte or the device's last reply.
    SimOperatorPlan Plan(bool captured, Clock::time_point quietSince) const;
    int DrawPause();                // from [plugMinMs, plugMaxMs]

    // The counters, with `inside` as the record of the unit in the fixture.
    SimFixtureStats Stats(const SimUnitRecord &inside) const;

private:
    SimOperator op;
    bool seeded = false;
    std::mt19937 pauses;
    std::deque<SimUnit> line;
    std::map<std::string, SimUnitState> shelf;
    std::string lastOut;
    std::vector<SimUnitRecord> records;
    int current = -1;
    std::optional<Clock::time_point> plugAt;
    SimFixtureStats counts;         // the counters only; units and current filled by Stats
};
