// "zflash ports": the serial ports that --port can name.
#include "tools/zflash/output.h"
#include "tools/zflash/ports.h"
#include "tools/zflash/zflash.h"

namespace {

std::string Describe(const SerialPortInfo &p)
{
    std::string text = p.port;
    if (!p.driver.empty())
        text += "  " + p.driver;
    if (!p.description.empty())
        text += "  " + p.description;
    if (!p.usbId.empty())
        text += "  [" + p.usbId + "]";
    if (!p.serial.empty())
        text += "  serial " + p.serial;
    return text;
}

}  // namespace

int RunPorts(const GlobalOptions &, const std::string &sysfsRoot)
{
    std::vector<SerialPortInfo> ports = ListSerialPorts(sysfsRoot);
    nlohmann::json list = nlohmann::json::array();
    for (const SerialPortInfo &p : ports) {
        PrintResult(Describe(p));
        list.push_back({{"port", p.port},
                        {"driver", p.driver},
                        {"description", p.description},
                        {"usbId", p.usbId},
                        {"serial", p.serial}});
    }
    if (ports.empty())
        PrintNotice("No serial ports found.");
    Report()["ports"] = list;
    return ExitOk;
}
