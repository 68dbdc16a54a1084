#include "devicelink/ports/adapter_timer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "devicelink/ports/sysfs_tty.h"

namespace fs = std::filesystem;

namespace {

int ParseMs(const std::string &text)
{
    char *end = nullptr;
    const long ms = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && ms >= 1 && ms <= 255 ? int(ms) : 0;
}

}  // namespace

AdapterTimer FindAdapterTimer(const std::string &port, const std::string &sysfsRoot)
{
    AdapterTimer timer;
    timer.port = port;
    timer.tty = SysfsTtyName(port, sysfsRoot);
    if (timer.tty.empty())
        return timer;
    const fs::path device = fs::path(sysfsRoot.empty() ? "/sys" : sysfsRoot) / "class" / "tty" / timer.tty / "device";
    std::error_code ec;
    if (!fs::exists(device / "latency_timer", ec))
        return timer;
    timer.location = (device / "latency_timer").string();
    timer.driver = fs::read_symlink(device / "driver", ec).filename().string();
    timer.ms = ReadAdapterTimer(timer);
    return timer;
}

int ReadAdapterTimer(const AdapterTimer &timer)
{
    return timer.location.empty() ? 0 : ParseMs(ReadSysfsAttribute(timer.location));
}

bool WriteAdapterTimer(const AdapterTimer &timer, int ms, std::string &error)
{
    const std::string text = std::to_string(ms) + "\n";
    const int fd = open(timer.location.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
    const int err = errno;
    const bool closed = fd >= 0 && close(fd) == 0;
    if (written && closed)
        return true;
    error = std::strerror(fd < 0 || !written ? err : errno);
    return false;
}

std::string AdapterTimerAdvice(const AdapterTimer &timer)
{
    const std::string driver = timer.driver.empty() ? "ftdi_sio" : timer.driver;
    return "To set it to 1 ms until the adapter is unplugged: echo 1 | sudo tee " + timer.location +
           ". For good, a udev rule (e.g. in /etc/udev/rules.d/99-usb-serial-low-latency.rules): "
           "ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" + driver +
           "\", ATTR{latency_timer}=\"1\"";
}
