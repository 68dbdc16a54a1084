#include "tools/zflash/live_metrics.h"

#include "tools/zflash/output.h"
#include "zf_version.h"

std::unique_ptr<LiveMetrics> ServeMetrics(const std::string &text, const std::vector<std::string> &ports,
                                          std::string &error)
{
    ListenAddress address;
    std::unique_ptr<LiveMetrics> live(new LiveMetrics(ports, ZF_VERSION));
    if (!ParseListenAddress(text, address, error) || !live->server.Bind(address, error))
        return nullptr;
    StationMetrics &figures = live->figures;
    live->server.Start([&figures] { return figures.Exposition(); });
    PrintNotice("zflash: serving metrics at http://" + ListenAddressText(address) + "/metrics");
    return live;
}
