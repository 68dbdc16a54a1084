// SimDevice: lifetime of the simulated device (pty, link, thread) and the
// accessors that tests and zsim use while it runs.
#include "tools/zsim/simdevice.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "tools/zsim/sim_impl.h"

void SimDevice::Impl::ResetReceive()
{
    zQueueInit(queueStore, kRxStorage, &rxReader, &rxWriter, kRxCapacity);
    packetizer = zBinInitPacketizer(packetStore, kRxStorage, rxReader, kRxCapacity);
    inputStart.reset();
}

void SimDevice::Impl::PowerUp()
{
    SimPowerUp(mach);
    ResetReceive();
    nextAnnounce = SimClock::now();
    Log("power up: boot loader at %u baud", mach.baud);
}

void SimDevice::Impl::Log(const char *fmt, ...)
{
    if (!mach.options.log)
        return;
    va_list ap;
    va_start(ap, fmt);
    std::fputs("zsim: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
}

SimDevice::SimDevice(SimOptions options) : impl(new Impl)
{
    impl->mach.options = std::move(options);
    impl->mach.flash = SimFactoryFlash(impl->mach.options.installedInfo);
    SimPowerUp(impl->mach);
    impl->ResetReceive();
}

SimDevice::~SimDevice()
{
    Stop();
}

namespace {

// A symlink at `path` to `target`, replacing an earlier symlink (never
// anything else).
bool MakeLink(const std::string &path, const std::string &target)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode) || unlink(path.c_str()) != 0)
            return false;
    }
    return symlink(target.c_str(), path.c_str()) == 0;
}

}  // namespace

bool SimDevice::Start()
{
    if (impl->thread.joinable())
        return false;
    if (!SimOpenPty(impl->pty))
        return false;
    const std::string &link = impl->mach.options.linkPath;
    if (!link.empty()) {
        if (!MakeLink(link, impl->pty.slavePath)) {
            SimClosePty(impl->pty);
            return false;
        }
        impl->linkMade = true;
    }
    impl->portPath = link.empty() ? impl->pty.slavePath : link;
    {
        std::lock_guard<std::mutex> lk(impl->m);
        impl->PowerUp();
    }
    impl->stopping = false;
    impl->hostWasOpen = false;
    impl->thread = std::thread([this] { impl->Run(); });
    return true;
}

void SimDevice::Stop()
{
    impl->stopping = true;
    if (impl->thread.joinable())
        impl->thread.join();
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
    impl->PowerUp();
}

bool SimDevice::Captured() const
{
    std::lock_guard<std::mutex> lk(impl->m);
    return impl->mach.mode != SimMode::Announcing;
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
    impl->faultSeen.clear();
    impl->requests = 0;
    impl->dead = false;
}
