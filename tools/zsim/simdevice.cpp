// SimDevice: lifetime of the simulated device (pty, link, thread) and the
// accessors that tests and zsim use while it runs.
#include "tools/zsim/simdevice.h"

#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "tools/zsim/sim_impl.h"

void SimDevice::Impl::ResetReceive()
{
    zQueueInit(queueStore, kRxStorage, &rxReader, &rxWriter, kRxCapacity);
    packetizer = zBinInitPacketizer(packetStore, kRxStorage, rxReader, kRxCapacity);
    inputStart.reset();
    answered.reset();
}

void SimDevice::Impl::PowerUp()
{
    SimPowerUp(mach);
    mach.record.powerUps++;
    power++;
    ResetReceive();
    nextAnnounce = SimClock::now();
    Log("power up: boot loader at %u baud", mach.baud);
}

// One write a line, so that the device's and the control's lines never mix.
void SimDevice::Impl::Log(const char *fmt, ...)
{
    if (!mach.options.log)
        return;
    char line[512];
    int n = 0;
    if (mach.options.logTime) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        n = std::snprintf(line, sizeof line, "%lld.%06ld ", (long long)now.tv_sec, now.tv_nsec / 1000);
    }
    n += std::snprintf(line + n, sizeof line - size_t(n), "zsim: ");
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line + n, sizeof line - size_t(n) - 1, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "%s\n", line);
}

namespace {

// The one unit of a device made without a stream of units.
SimUnit UnitOf(const SimOptions &o)
{
    SimUnit u;
    u.hw = o.hw;
    u.installedInfo = o.installedInfo;
    u.verifyMismatchBlock = o.verifyMismatchBlock;
    return u;
}

}  // namespace

SimDevice::SimDevice(SimOptions options) : impl(new Impl)
{
    std::vector<SimUnit> units = std::move(options.units);
    options.units.clear();
    if (units.empty())
        units.push_back(UnitOf(options));
    impl->fixture.SetOperator(options.swapper);
    impl->mach.options = std::move(options);
    impl->fixture.Queue(std::vector<SimUnit>(units.begin() + 1, units.end()));
    SimUnitRecord record;
    SimUnitState first = impl->fixture.Arrive(units.front(), record);
    const int index = first.record;
    impl->InstallUnit(std::move(first), record);
    impl->Emit(SimFixtureEvent::PluggedIn, index);  // told at the start
    SimPowerUp(impl->mach);
    impl->ResetReceive();
}

SimDevice::~SimDevice()
{
    Stop();
}

bool SimDevice::Start()
{
    if (impl->thread.joinable())
        return false;
    if (!SimOpenPty(impl->pty))
        return false;
    const std::string &link = impl->mach.options.linkPath;
    if (!link.empty()) {
        if (!SimMakeLink(link, impl->pty.slavePath)) {
            SimClosePty(impl->pty);
            return false;
        }
        impl->linkMade = true;
    }
    impl->portPath = link.empty() ? impl->pty.slavePath : link;
    {
        std::lock_guard<std::mutex> lk(impl->m);
        if (impl->mach.mode != SimMode::Off)  // else the fixture was emptied before the start
            impl->PowerUp();
        impl->unplugged = false;
    }
    impl->stopping = false;
    impl->hostWasOpen = false;
    impl->thread = std::thread([this] { impl->Run(); });
    impl->FlushEvents();
    return true;
}

void SimDevice::Stop()
{
    impl->stopping = true;
    if (impl->thread.joinable())
        impl->thread.join();
    {
        std::lock_guard<std::mutex> lk(impl->m);
        impl->portRequest = Impl::PortRequest::None;
    }
    impl->portChanged.notify_all();  // a caller waiting for the adapter gives up
    SimClosePty(impl->pty);
    if (impl->linkMade)
        unlink(impl->mach.options.linkPath.c_str());
    impl->linkMade = false;
}

const std::string &SimDevice::PortPath() const
{
    return impl->portPath;
}

void SimDevice::PowerCycle()
{
    std::lock_guard<std::mutex> lk(impl->m);
    if (impl->mach.mode != SimMode::Off)  // an empty fixture powers nothing
        impl->PowerUp();
}

bool SimDevice::Captured() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->mach.mode == SimMode::BootLoader || impl->mach.mode == SimMode::FlashLoader;
}

bool SimDevice::HostOpen() const
{
    return impl->hostWasOpen;
}

bool SimDevice::LoaderRunning() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->mach.mode == SimMode::FlashLoader;
}

unsigned SimDevice::CurrentBaud() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->mach.baud;
}

std::string SimDevice::FlashContents() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->mach.flash;
}

std::string SimDevice::InstalledInfo() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return SimInstalledInfo(impl->mach.flash);
}

SimStats SimDevice::Stats() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->stats;
}

void SimDevice::ResetStats()
{
    std::lock_guard<std::mutex> lk(impl->m);
    impl->stats = SimStats();
}

void SimDevice::SetOptions(const SimOptions &options)
{
    std::lock_guard<std::mutex> lk(impl->m);
    SimOptions &now = impl->mach.options;
    if (options.installedInfo != now.installedInfo)
        impl->mach.flash = SimFactoryFlash(options.installedInfo);
    std::string link = now.linkPath;  // the link is made once, by Start
    now = options;
    now.linkPath = link;
    impl->fixture.SetOperator(options.swapper);
    impl->faultSeen.clear();
    impl->requests = 0;
    impl->dead = false;
}

void SimDevice::AddFault(const SimFault &fault)
{
    std::lock_guard<std::mutex> lk(impl->m);
    std::vector<SimFault> &faults = impl->mach.options.faults;
    impl->faultSeen.resize(faults.size(), 0);  // the count of the new one starts at 0
    faults.push_back(fault);
}
