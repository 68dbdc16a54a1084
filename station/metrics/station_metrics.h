// A station's live figures for Prometheus, per port: the units by result,
// the attempts, the units' times, whether the port's adapter is there and
// whether a unit is under way. Fed by the supervisor (its observer); read by
// the metrics server's thread.
#pragma once

#include <string>
#include <vector>

#include "station/metrics/metric_registry.h"
#include "station/supervisor.h"

// The results a record can have, in the record's words.
extern const char *const kRecordResults[];  // null-terminated

class StationMetrics : public SupervisorObserver {
public:
    StationMetrics(const std::vector<std::string> &ports, const std::string &version);

    void Recorded(size_t index, const PortState &port, const nlohmann::json &record) override;
    void PortsNow(const std::vector<PortState> &ports) override;

    std::string Exposition() const { return registry.Exposition(); }

private:
    MetricRegistry registry;
    std::vector<std::string> ports;
    size_t units, firstPass, attempts, unitSeconds, up, busy, buildInfo;
};
