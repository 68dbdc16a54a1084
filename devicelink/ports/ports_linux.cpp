// Serial ports from sysfs: class/tty entries named ttyUSB*, ttyACM*, ttyS*,
// ttyAMA* or ttymxc* whose device has a driver bound, described from the USB
// device above them, with their /dev/serial/by-id names and their adapters'
// latency timers.
#include "devicelink/ports/ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "devicelink/ports/adapter_timer.h"
#include "devicelink/ports/sysfs_tty.h"

namespace fs = std::filesystem;

namespace {

bool IsCandidate(const std::string &name)
{
    for (const char *prefix : {"ttyUSB", "ttyACM", "ttyS", "ttyAMA", "ttymxc"}) {
        std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            std::all_of(name.begin() + p.size(), name.end(),
                        [](unsigned char c) { return std::isdigit(c); }))
            return true;
    }
    return false;
}

std::string ReadAttribute(const fs::path &file)
{
    return ReadSysfsAttribute(file.string());
}

// Legacy 8250 ports exist whether or not a UART answers; "type" 0 means none.
bool IsPhantomUart(const std::string &name, const fs::path &entry)
{
    return name.compare(0, 4, "ttyS") == 0 && ReadAttribute(entry / "type") == "0";
}

std::string Describe(const std::string &manufacturer, const std::string &product)
{
    if (product.empty())
        return manufacturer;
    if (manufacturer.empty() || product.compare(0, manufacturer.size(), manufacturer) == 0)
        return product;
    return manufacturer + " " + product;
}

// The USB device that the port's device belongs to: the nearest folder
// above it with an idVendor attribute, not leaving the sysfs root.
void DescribeUsb(const fs::path &device, const fs::path &root, SerialPortInfo &info)
{
    std::error_code ec;
    fs::path at = fs::canonical(device, ec);
    if (ec)
        return;
    for (; !at.empty() && at != root && at != at.root_path(); at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", ec))
            continue;
        info.description = Describe(ReadAttribute(at / "manufacturer"), ReadAttribute(at / "product"));
        info.usbId = ReadAttribute(at / "idVendor") + ":" + ReadAttribute(at / "idProduct");
        info.serial = ReadAttribute(at / "serial");
        return;
    }
}

// The links in <dev>/serial/by-id, by the tty they lead to (udev makes them
// relative: ../../ttyUSB0); the first in name order for each.
std::map<std::string, std::string> ByIdNames(const PortRoots &roots)
{
    std::map<std::string, std::string> names;
    std::error_code ec;
    std::vector<fs::path> links;
    for (fs::directory_iterator it(fs::path(roots.dev) / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec))
        links.push_back(it->path());
    std::sort(links.begin(), links.end());
    for (const fs::path &link : links) {
        const std::string tty = SysfsTtyName(link.string(), roots.sysfs);
        if (!tty.empty())
            names.emplace(tty, link.string());
    }
    return names;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const PortRoots &roots)
{
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    fs::path root = fs::canonical(roots.sysfs.empty() ? "/sys" : roots.sysfs, ec);
    if (ec)
        return ports;
    const std::map<std::string, std::string> byId = ByIdNames(roots);
    for (fs::directory_iterator it(root / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        fs::path driver = it->path() / "device" / "driver";
        std::error_code linkError;
        if (!IsCandidate(name) || !fs::exists(driver, linkError) || IsPhantomUart(name, it->path()))
            continue;
        SerialPortInfo info;
        info.port = (fs::path(roots.dev) / name).string();
        info.driver = fs::canonical(driver, linkError).filename().string();
        DescribeUsb(it->path() / "device", root, info);
        const auto link = byId.find(name);
        if (link != byId.end())
            info.byId = link->second;
        info.latencyTimerMs = FindAdapterTimer(name, root.string()).ms;
        ports.push_back(info);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return NaturalLess(a.port, b.port); });
    return ports;
}

std::string PortIdentity(const std::string &port, const PortRoots &roots)
{
    return SysfsTtyName(port, roots.sysfs);
}
