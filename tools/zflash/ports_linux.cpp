// Serial ports from sysfs: class/tty entries named ttyUSB*, ttyACM* or ttyS*
// whose device has a driver bound, described from the USB device above them.
#include "tools/zflash/ports.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

bool IsCandidate(const std::string &name)
{
    for (const char *prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
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
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
        line.pop_back();
    return line;
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

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string &sysfsRoot)
{
    std::vector<SerialPortInfo> ports;
    std::error_code ec;
    fs::path root = fs::canonical(sysfsRoot.empty() ? "/sys" : sysfsRoot, ec);
    if (ec)
        return ports;
    for (fs::directory_iterator it(root / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string name = it->path().filename().string();
        fs::path driver = it->path() / "device" / "driver";
        std::error_code linkError;
        if (!IsCandidate(name) || !fs::exists(driver, linkError) || IsPhantomUart(name, it->path()))
            continue;
        SerialPortInfo info;
        info.port = "/dev/" + name;
        info.driver = fs::canonical(driver, linkError).filename().string();
        DescribeUsb(it->path() / "device", root, info);
        ports.push_back(info);
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo &a, const SerialPortInfo &b) { return NaturalLess(a.port, b.port); });
    return ports;
}
