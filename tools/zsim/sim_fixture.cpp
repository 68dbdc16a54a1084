// The fixture's bookkeeping: line, shelf, records, counters, operator timing.
#include "tools/zsim/sim_fixture.h"

#include <algorithm>

#include "tools/zsim/sim_machine.h"

unsigned SimFixtureStats::UnitsProgrammed() const
{
    return unsigned(std::count_if(units.begin(), units.end(),
                                  [](const SimUnitRecord &r) { return r.programPasses > 0; }));
}

unsigned SimFixtureStats::ProgramPasses() const
{
    unsigned n = 0;
    for (const SimUnitRecord &r : units)
        n += r.programPasses;
    return n;
}

unsigned SimFixtureStats::VerifyPasses() const
{
    unsigned n = 0;
    for (const SimUnitRecord &r : units)
        n += r.verifyPasses;
    return n;
}

SimFixture::SimFixture() = default;

void SimFixture::SetOperator(const SimOperator &o)
{
    op = o;
    if (!seeded)
        pauses.seed(o.seed);
    seeded = true;
}

void SimFixture::Queue(const std::vector<SimUnit> &units)
{
    line.insert(line.end(), units.begin(), units.end());
}

SimUnit SimFixture::NextInLine()
{
    SimUnit u = line.front();
    line.pop_front();
    return u;
}

SimUnitState SimFixture::Arrive(SimUnit unit, SimUnitRecord &record)
{
    counts.plugged++;
    const bool named = !unit.name.empty();
    if (!named)
        unit.name = "#" + std::to_string(records.size() + 1);
    auto known = shelf.find(unit.name);
    SimUnitState state;
    if (known != shelf.end()) {
        state = std::move(known->second);
        shelf.erase(known);
    } else {
        state.flash = unit.flash ? *unit.flash : SimFactoryFlash(unit.installedInfo);
        state.named = named;
        state.weakPassesLeft = unit.weakBlock >= 0 ? unit.weakPasses : 0;
        state.record = int(records.size());
        SimUnitRecord fresh;
        fresh.name = unit.name;
        records.push_back(fresh);
        state.unit = std::move(unit);
    }
    current = state.record;
    record = records[size_t(current)];
    return state;
}

std::optional<SimUnitState> SimFixture::Recall()
{
    auto known = shelf.find(lastOut);
    if (known == shelf.end())
        return std::nullopt;
    SimUnitState state = std::move(known->second);
    shelf.erase(known);
    current = state.record;
    return state;
}

void SimFixture::Leave(SimUnitState state, const SimUnitRecord &record)
{
    counts.takenOut++;
    records[size_t(state.record)] = record;
    auto last = shelf.find(lastOut);
    if (last != shelf.end() && !last->second.named)
        shelf.erase(last);  // it can no longer come back: its flash goes
    lastOut = state.unit.name;
    shelf[lastOut] = std::move(state);
    current = -1;
}

void SimFixture::ScheduleNext(Clock::time_point now, int pauseMs)
{
    if (pauseMs < 0 && op.enabled)
        pauseMs = DrawPause();
    if (pauseMs < 0)
        plugAt.reset();
    else
        plugAt = now + std::chrono::milliseconds(pauseMs);
}

SimOperatorPlan SimFixture::Plan(bool captured, Clock::time_point quietSince) const
{
    SimOperatorPlan plan;
    if (current >= 0 && op.enabled && captured) {
        plan.step = SimOperatorPlan::TakeOut;
        plan.at = quietSince + std::chrono::milliseconds(op.quietMs);
    } else if (current < 0 && plugAt && !line.empty()) {
        plan.step = SimOperatorPlan::PlugNext;
        plan.at = plugAt;
    }
    return plan;
}

// A draw of the Mersenne twister, whose sequence the standard fixes, reduced
// to the range: the same seed gives the same pauses on every platform.
int SimFixture::DrawPause()
{
    const int lo = std::max(0, op.plugMinMs), hi = std::max(lo, op.plugMaxMs);
    return lo + int(pauses() % uint32_t(hi - lo + 1));
}

SimFixtureStats SimFixture::Stats(const SimUnitRecord &inside) const
{
    SimFixtureStats s = counts;
    s.units = records;
    s.current = current;
    if (current >= 0)
        s.units[size_t(current)] = inside;
    s.waiting = line.size();
    return s;
}
