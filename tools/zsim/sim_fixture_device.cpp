// The device in its fixture: a unit comes in (its hardware id, flash and
// faults installed in the machine, then a power-up) and goes out (its state
// handed back to the fixture, the machine without power); the operator's
// automatic swaps on the device thread; the public fixture calls.
#include "tools/zsim/sim_impl.h"

void SimDevice::Impl::InstallUnit(SimUnitState state, const SimUnitRecord &record)
{
    mach.options.hw = state.unit.hw;
    mach.options.verifyMismatchBlock = state.unit.verifyMismatchBlock;
    mach.flash = std::move(state.flash);
    mach.weakBlock = state.unit.weakBlock;
    mach.weakPassesLeft = state.weakPassesLeft;
    mach.record = record;
    inside = std::move(state);
    Arrived();
}

// A unit is in, fresh from a plug-in or re-seat.
void SimDevice::Impl::Arrived()
{
    dead = false;  // a unit that went deaf is gone, or was powered off and on
    requests = 0;
    capturedSincePlugIn = false;
    pluggedAt = SimClock::now();
    fixture.ClearSchedule();
}

SimUnitRecord SimDevice::Impl::InsideRecord() const
{
    SimUnitRecord r = mach.record;
    r.hw = mach.options.hw;
    r.installedInfo = SimInstalledInfo(mach.flash);
    if (quietSince > pluggedAt)
        r.servedMs = unsigned(std::chrono::duration_cast<std::chrono::milliseconds>(quietSince - pluggedAt).count());
    return r;
}

void SimDevice::Impl::TakeOut()
{
    if (!inside)
        return;
    SimUnitState state = std::move(*inside);
    inside.reset();
    state.unit.hw = mach.options.hw;
    state.unit.verifyMismatchBlock = mach.options.verifyMismatchBlock;
    state.weakPassesLeft = mach.weakPassesLeft;
    const SimUnitRecord record = InsideRecord();
    state.flash = std::move(mach.flash);
    mach.flash.clear();
    const int index = state.record;
    fixture.Leave(std::move(state), record);
    SimPowerOff(mach);
    power++;
    ResetReceive();
    Log("unit %s taken out", record.name.c_str());
    Emit(SimFixtureEvent::TakenOut, index);
    if (!fixture.UnitWaiting())
        Emit(SimFixtureEvent::StreamEnded, index);
}

void SimDevice::Impl::PlugIn(const SimUnit &unit)
{
    TakeOut();
    SimUnitRecord record;
    SimUnitState state = fixture.Arrive(unit, record);
    const int index = state.record;
    InstallUnit(std::move(state), record);
    Log("unit %s plugged in", record.name.c_str());
    PowerUp();
    Emit(SimFixtureEvent::PluggedIn, index);
}

bool SimDevice::Impl::Reseat()
{
    if (!inside) {
        std::optional<SimUnitState> back = fixture.Recall();
        if (!back)
            return false;
        const int index = back->record;
        InstallUnit(std::move(*back), fixture.RecordOf(index));
    } else {
        Arrived();
    }
    fixture.CountReseat();
    Log("unit %s re-seated", mach.record.name.c_str());
    PowerUp();
    Emit(SimFixtureEvent::Reseated, inside->record);
    return true;
}

void SimDevice::Impl::Emit(SimFixtureEvent::Kind kind, int unit)
{
    SimFixtureEvent e;
    e.kind = kind;
    e.unit = unit;
    if (unit >= 0)
        e.name = fixture.RecordOf(unit).name;
    events.push_back(e);
}

void SimDevice::Impl::FlushEvents()
{
    std::lock_guard<std::mutex> order(sinkOrder);
    std::vector<SimFixtureEvent> due;
    std::function<void(const SimFixtureEvent &)> sink;
    {
        std::lock_guard<std::mutex> lk(m);
        due.swap(events);
        sink = eventSink;
    }
    if (sink)
        for (const SimFixtureEvent &e : due)
            sink(e);
}

void SimDevice::Impl::OperateFixture()
{
    {
        std::lock_guard<std::mutex> lk(m);
        const SimClock::time_point now = SimClock::now();
        const SimOperatorPlan plan = fixture.Plan(capturedSincePlugIn, quietSince);
        if (!plan.at || *plan.at > now)
            return;
        if (plan.step == SimOperatorPlan::TakeOut) {
            TakeOut();
            fixture.ScheduleNext(now, -1);
        } else if (plan.step == SimOperatorPlan::PlugNext) {
            PlugIn(fixture.NextInLine());
        }
    }
    FlushEvents();
}

void SimDevice::TakeOutUnit()
{
    {
        std::lock_guard<std::mutex> lk(impl->m);
        if (impl->inside) {
            impl->TakeOut();
            impl->fixture.ScheduleNext(SimClock::now(), -1);
        }
    }
    impl->FlushEvents();
}

void SimDevice::SwapUnit(int pauseMs)
{
    {
        std::lock_guard<std::mutex> lk(impl->m);
        impl->TakeOut();
        if (pauseMs <= 0 && impl->fixture.UnitWaiting())
            impl->PlugIn(impl->fixture.NextInLine());
        else
            impl->fixture.ScheduleNext(SimClock::now(), std::max(0, pauseMs));
    }
    impl->FlushEvents();
}

void SimDevice::PlugIn(const SimUnit &unit)
{
    {
        std::lock_guard<std::mutex> lk(impl->m);
        impl->PlugIn(unit);
    }
    impl->FlushEvents();
}

bool SimDevice::PlugInNext()
{
    bool plugged = false;
    {
        std::lock_guard<std::mutex> lk(impl->m);
        if (impl->fixture.UnitWaiting()) {
            impl->PlugIn(impl->fixture.NextInLine());
            plugged = true;
        }
    }
    impl->FlushEvents();
    return plugged;
}

bool SimDevice::Reseat()
{
    bool done;
    {
        std::lock_guard<std::mutex> lk(impl->m);
        done = impl->Reseat();
    }
    impl->FlushEvents();
    return done;
}

void SimDevice::QueueUnits(const std::vector<SimUnit> &units)
{
    std::lock_guard<std::mutex> lk(impl->m);
    impl->fixture.Queue(units);
}

SimFixtureStats SimDevice::Fixture() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    SimFixtureStats s = impl->fixture.Stats(impl->InsideRecord());
    s.adapterPlugged = !impl->unplugged;
    return s;
}

void SimDevice::OnFixtureEvent(std::function<void(const SimFixtureEvent &)> sink)
{
    std::lock_guard<std::mutex> lk(impl->m);
    impl->eventSink = std::move(sink);
}
