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

int RunPorts(const GlobalOptions &, const std::string &sysfsRoot, PortsResult &result)
{
    result.ports = ListSerialPorts(sysfsRoot);
    for (const SerialPortInfo &p : result.ports)
        PrintResult(Describe(p));
    if (result.ports.empty())
        PrintNotice("No serial ports found.");
    return ExitOk;
}
