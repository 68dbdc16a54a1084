// --metrics ADDRESS:PORT: a station's (or several ports') live figures served
// for Prometheus while the supervisor runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "station/metrics/metrics_server.h"
#include "station/metrics/station_metrics.h"

struct LiveMetrics {
    LiveMetrics(const std::vector<std::string> &ports, const std::string &version) : figures(ports, version) {}
    StationMetrics figures;  // the supervisor's observer
    MetricsServer server;
};

// Binds `address` (as --metrics gives it) and serves the ports' metrics
// until the result is destroyed; says where on standard error. Null with
// the reason when it cannot bind.
std::unique_ptr<LiveMetrics> ServeMetrics(const std::string &address, const std::vector<std::string> &ports,
                                          std::string &error);
