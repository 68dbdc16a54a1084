#include "station/metrics/station_metrics.h"

#include "station/record_reading.h"

const char *const kRecordResults[] = {"ok",          "current",  "failed",   "cancelled",
                                      "interrupted", "reseated", "no-device", "bad-input", nullptr};

namespace {

// A unit takes seconds to minutes: programming 1 to 4 MiB at the line's
// speed, a retry doubling it.
const std::vector<double> kUnitBuckets = {5, 10, 15, 20, 30, 45, 60, 90, 120, 180, 300, 600};

}  // namespace

StationMetrics::StationMetrics(const std::vector<std::string> &portNames, const std::string &version)
    : ports(portNames)
{
    units = registry.Add("zflash_units_total", MetricType::Counter, "Device sessions recorded, by port and result.",
                         {"port", "result"});
    firstPass = registry.Add("zflash_first_pass_units_total", MetricType::Counter,
                             "Units that passed at the first attempt (ok with one attempt, or current), by port.",
                             {"port"});
    attempts = registry.Add("zflash_attempts_total", MetricType::Counter,
                            "Times an image was erased, programmed and verified, by port.", {"port"});
    unitSeconds = registry.Add("zflash_unit_seconds", MetricType::Histogram,
                               "Time of a unit from its port's opening to its record, by port.", {"port"},
                               kUnitBuckets);
    up = registry.Add("zflash_port_up", MetricType::Gauge, "1 while the port's adapter is present.", {"port"});
    busy = registry.Add("zflash_port_busy", MetricType::Gauge,
                        "1 while a unit is under way on the port (identified, not yet recorded).", {"port"});
    buildInfo = registry.Add("zflash_build_info", MetricType::Gauge, "zflash's version; always 1.", {"version"});
    registry.Set(buildInfo, {version}, 1);
    for (const std::string &port : ports) {
        for (const char *const *result = kRecordResults; *result; ++result)
            registry.Touch(units, {port, *result});
        registry.Touch(firstPass, {port});
        registry.Touch(attempts, {port});
        registry.Touch(unitSeconds, {port});
        registry.Set(up, {port}, 1);
        registry.Touch(busy, {port});
    }
}

void StationMetrics::Recorded(size_t index, const PortState &, const nlohmann::json &record)
{
    if (index >= ports.size())
        return;
    const std::string &name = ports[index];
    const RecordReading r = ReadRecord(record);
    const std::string result = r.result.empty() ? "failed" : r.result;
    registry.Increment(units, {name, result});
    if (FirstPass(r))
        registry.Increment(firstPass, {name});
    if (r.attempts > 0)
        registry.Increment(attempts, {name}, r.attempts);
    if (ResultIsUnit(result))
        registry.Observe(unitSeconds, {name}, r.seconds);
    registry.Set(busy, {name}, 0);
}

void StationMetrics::PortsNow(const std::vector<PortState> &states)
{
    for (size_t i = 0; i < states.size() && i < ports.size(); ++i) {
        registry.Set(up, {ports[i]}, states[i].adapterGone ? 0 : 1);
        registry.Set(busy, {ports[i]}, states[i].busy ? 1 : 0);
    }
}
