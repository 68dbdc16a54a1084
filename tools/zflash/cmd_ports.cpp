// "zflash ports": the serial ports that --port can name.
#include "tools/zflash/output.h"
#include "devicelink/ports/ports.h"
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
    if (p.latencyTimerMs > 0)
        text += "  latency timer " + std::to_string(p.latencyTimerMs) + " ms";
    return text;
}

}  // namespace

int RunPorts(const GlobalOptions &, const PortRoots &roots, PortsResult &result)
{
    result.ports = ListSerialPorts(roots);
    for (const SerialPortInfo &p : result.ports) {
        PrintResult(Describe(p));
        if (!p.byId.empty())
            PrintResult("    " + p.byId);
    }
    if (result.ports.empty())
        PrintNotice("No serial ports found.");
    return ExitOk;
}
