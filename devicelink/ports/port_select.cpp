#include "devicelink/ports/port_select.h"

#include <algorithm>
#include <optional>

#include "devicelink/ports/port_ids.h"
#include "devicelink/ports/ports.h"

namespace {

class Resolver {
public:
    explicit Resolver(const PortRoots &roots) : roots(roots) {}

    bool Add(const std::string &name, std::string &error)
    {
        if (!IsUsbSelector(name)) {
            const std::string identity = PortIdentity(name, roots);
            AddPort(name, identity, SerialOf(identity));
            return true;
        }
        UsbSelector selector;
        if (!ParseUsbSelector(name, selector, error))
            return false;
        bool matched = false;
        for (const SerialPortInfo &p : Listed()) {
            if (p.usbId.empty() || !SelectorMatches(selector, p.usbId, p.serial))
                continue;
            matched = true;
            AddPort(p.port, PortIdentity(p.port, roots), p.serial);
        }
        if (!matched)
            error = "no USB serial adapter matches " + name + ". Run \"zflash ports\" to list the adapters.";
        return matched;
    }

    std::vector<ResolvedPort> ports;

private:
    const std::vector<SerialPortInfo> &Listed()
    {
        if (!listed)
            listed = ListSerialPorts(roots);
        return *listed;
    }

    std::string SerialOf(const std::string &identity)
    {
        if (identity.empty())
            return std::string();
        for (const SerialPortInfo &p : Listed())
            if (PortIdentity(p.port, roots) == identity)
                return p.serial;
        return std::string();
    }

    // A port already named (by this name or another of its names) is not added again.
    void AddPort(const std::string &port, const std::string &identity, const std::string &serial)
    {
        const std::string key = identity.empty() ? port : identity;
        if (std::find(keys.begin(), keys.end(), key) != keys.end())
            return;
        keys.push_back(key);
        ports.push_back({port, serial});
    }

    PortRoots roots;
    std::optional<std::vector<SerialPortInfo>> listed;
    std::vector<std::string> keys;
};

}  // namespace

bool ResolvePorts(const std::vector<std::string> &given, const PortRoots &roots,
                  std::vector<ResolvedPort> &ports, std::string &error)
{
    Resolver resolver(roots);
    for (const std::string &name : given)
        if (!resolver.Add(name, error))
            return false;
    ports = resolver.ports;
    return true;
}
