// The USB adapter pulled and plugged back. Pulled: the pty master closes, so
// the host's descriptor hangs up, and the link is removed; the unit, powered
// by the fixture, runs on and talks into the void. Plugged back: a new pty
// under the same link, raw at 115200, and the unit as it is by then.
#include <unistd.h>

#include "tools/zsim/sim_impl.h"

namespace {

constexpr int kRetryOpenMs = 10;  // a refused new pty is tried again this soon

}  // namespace

void SimDevice::Impl::PullAdapter(int backAfterMs)
{
    const std::string &link = mach.options.linkPath;
    if (unplugged || link.empty()) {
        Log("adapter not pulled: %s", unplugged ? "already out" : "no link to bring it back under");
        return;
    }
    SimClosePty(pty);
    if (linkMade)
        unlink(link.c_str());
    linkMade = false;
    adapter.Clear();
    hostWasOpen = false;
    unplugged = true;
    if (backAfterMs >= 0)
        replugAt = SimClock::now() + std::chrono::milliseconds(backAfterMs);
    else
        replugAt.reset();
    fixture.CountUnplug();
    Log("adapter pulled");
    Emit(SimFixtureEvent::Unplugged, -1);
}

bool SimDevice::Impl::PlugAdapter()
{
    SimPty fresh;
    if (!SimOpenPty(fresh) || !SimMakeLink(mach.options.linkPath, fresh.slavePath)) {
        SimClosePty(fresh);
        replugAt = SimClock::now() + std::chrono::milliseconds(kRetryOpenMs);
        Log("adapter not back yet: no new pseudo-terminal or link");
        return false;
    }
    pty = fresh;
    linkMade = true;
    unplugged = false;
    replugAt.reset();
    Log("adapter plugged back: %s", pty.slavePath.c_str());
    Emit(SimFixtureEvent::Replugged, -1);
    return true;
}

// Carries out a pull or plug-back that another thread asked for or that is
// due. `mayReplug` false in the middle of a reply: a reply is not continued
// on a new port.
void SimDevice::Impl::ServicePort(bool mayReplug)
{
    bool changed = false;
    {
        std::lock_guard<std::mutex> lk(m);
        if (portRequest == PortRequest::Unplug) {
            PullAdapter(portBackMs);
            portRequest = PortRequest::None;
            changed = true;
        }
        const bool due = replugAt && SimClock::now() >= *replugAt;
        if (unplugged && mayReplug && (portRequest == PortRequest::Replug || due)) {
            if (PlugAdapter() && portRequest == PortRequest::Replug)
                portRequest = PortRequest::None;
            changed = true;
        }
        if (!unplugged && portRequest == PortRequest::Replug)
            portRequest = PortRequest::None;  // back already
    }
    if (!changed)
        return;
    portChanged.notify_all();
    FlushEvents();
}

bool SimDevice::UnplugAdapter(int backAfterMs)
{
    std::unique_lock<std::mutex> lk(impl->m);
    if (!impl->thread.joinable() || impl->stopping || impl->unplugged || impl->mach.options.linkPath.empty())
        return false;
    impl->portRequest = Impl::PortRequest::Unplug;
    impl->portBackMs = backAfterMs;
    impl->portChanged.wait(lk, [this] { return impl->portRequest == Impl::PortRequest::None; });
    return impl->unplugged || backAfterMs >= 0;
}

bool SimDevice::PlugAdapterBack()
{
    std::unique_lock<std::mutex> lk(impl->m);
    if (!impl->thread.joinable() || impl->stopping || !impl->unplugged)
        return false;
    impl->portRequest = Impl::PortRequest::Replug;
    impl->portChanged.wait(lk, [this] { return impl->portRequest == Impl::PortRequest::None; });
    return !impl->unplugged;
}

bool SimDevice::AdapterPlugged() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return !impl->unplugged;
}
