#include "tools/zflash/port_select.h"

#include <algorithm>

bool ResolvePorts(const std::vector<std::string> &given, const std::string &,
                  std::vector<ResolvedPort> &ports, std::string &)
{
    ports.clear();
    for (const std::string &name : given) {
        const bool seen = std::any_of(ports.begin(), ports.end(),
                                      [&](const ResolvedPort &p) { return p.port == name; });
        if (!seen)
            ports.push_back({name, std::string()});
    }
    return true;
}
