// A station's live metrics: the registry's text format, the station's
// figures from its records and ports, and where they are served.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "station/events.h"
#include "station/metrics/listen_address.h"
#include "station/metrics/metric_registry.h"
#include "station/metrics/station_metrics.h"

using nlohmann::json;

namespace {

bool Has(const std::string &text, const std::string &line)
{
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        if (l == line)
            return true;
    return false;
}

TEST(MetricRegistry, WritesEachKindInTheTextFormat)
{
    MetricRegistry r;
    const size_t units = r.Add("t_units_total", MetricType::Counter, "Units\\n \"done\".\nSecond line", {"port", "result"});
    const size_t up = r.Add("t_up", MetricType::Gauge, "Up.", {});
    const size_t secs = r.Add("t_seconds", MetricType::Histogram, "Times.", {"port"}, {1, 2.5});
    r.Touch(units, {"COM3", "failed"});
    r.Increment(units, {"COM3", "ok"}, 2);
    r.Increment(units, {"/dev/a\"b\\c\nd", "ok"});
    r.Set(up, {}, 1);
    for (double v : {0.5, 1.0, 2.0, 7.25})
        r.Observe(secs, {"COM3"}, v);
    const std::string text = r.Exposition();
    const char *const expected[] = {
        "# HELP t_units_total Units\\\\n \"done\".\\nSecond line",
        "# TYPE t_units_total counter",
        "t_units_total{port=\"COM3\",result=\"failed\"} 0",
        "t_units_total{port=\"COM3\",result=\"ok\"} 2",
        "t_units_total{port=\"/dev/a\\\"b\\\\c\\nd\",result=\"ok\"} 1",
        "# TYPE t_up gauge",
        "t_up 1",
        "# TYPE t_seconds histogram",
        "t_seconds_bucket{port=\"COM3\",le=\"1\"} 2",  // le is inclusive: 1.0 is in it
        "t_seconds_bucket{port=\"COM3\",le=\"2.5\"} 3",
        "t_seconds_bucket{port=\"COM3\",le=\"+Inf\"} 4",
        "t_seconds_sum{port=\"COM3\"} 10.75",
        "t_seconds_count{port=\"COM3\"} 4",
    };
    for (const char *line : expected)
        EXPECT_TRUE(Has(text, line)) << line << "\n--- in:\n" << text;
    // Each family's HELP and TYPE come before its samples, once.
    EXPECT_LT(text.find("# TYPE t_up gauge"), text.find("\nt_up 1"));
    EXPECT_EQ(text.find("# TYPE t_up"), text.rfind("# TYPE t_up"));
    EXPECT_EQ('\n', text.back());
}

TEST(MetricRegistry, ValuesRoundTripAndSpellTheSpecialOnes)
{
    const struct {
        double value;
        const char *text;
    } cases[] = {{0, "0"},
                 {3, "3"},
                 {0.1, "0.1"},
                 {12.94, "12.94"},
                 {1e21, "1e+21"},
                 {-2.5, "-2.5"},
                 {std::numeric_limits<double>::infinity(), "+Inf"},
                 {-std::numeric_limits<double>::infinity(), "-Inf"},
                 {std::nan(""), "NaN"}};
    for (const auto &c : cases)
        EXPECT_EQ(c.text, MetricValue(c.value)) << c.text;
    EXPECT_EQ(1.0 / 3, std::stod(MetricValue(1.0 / 3)));
}

json Record(const std::string &result, int attempts, double seconds)
{
    return {{"result", result}, {"attempts", attempts}, {"seconds", {{"total", seconds}}}};
}

TEST(StationMetrics, CountsAgreeWithTheRecordsAndPortsShowTheirState)
{
    StationMetrics m({"COM3", "COM4"}, "1.1.0");
    const std::string before = m.Exposition();
    // Every port's series are there from the start, at zero.
    for (const char *const *result = kRecordResults; *result; ++result)
        EXPECT_TRUE(Has(before, std::string("zflash_units_total{port=\"COM4\",result=\"") + *result + "\"} 0"))
            << *result;
    EXPECT_TRUE(Has(before, "zflash_build_info{version=\"1.1.0\"} 1"));
    EXPECT_TRUE(Has(before, "zflash_port_up{port=\"COM3\"} 1"));
    EXPECT_TRUE(Has(before, "zflash_unit_seconds_count{port=\"COM3\"} 0"));

    const struct {
        size_t port;
        json record;
    } records[] = {{0, Record("ok", 1, 12)},     {0, Record("ok", 2, 25)},       {0, Record("current", 0, 6)},
                   {1, Record("failed", 2, 31)}, {1, Record("bad-input", 0, 2)}, {1, Record("no-device", 0, 600)}};
    for (const auto &r : records) {
        PortState p;
        p.result = r.record["result"];
        p.unitSeconds = r.record["seconds"]["total"];
        m.Recorded(r.port, p, r.record);
    }
    std::vector<PortState> ports(2);
    ports[0].busy = true;
    ports[1].adapterGone = true;
    m.PortsNow(ports);
    const std::string text = m.Exposition();
    const char *const expected[] = {
        "zflash_units_total{port=\"COM3\",result=\"ok\"} 2",
        "zflash_units_total{port=\"COM3\",result=\"current\"} 1",
        "zflash_units_total{port=\"COM4\",result=\"failed\"} 1",
        "zflash_units_total{port=\"COM4\",result=\"bad-input\"} 1",
        "zflash_units_total{port=\"COM4\",result=\"no-device\"} 1",
        "zflash_first_pass_units_total{port=\"COM3\"} 2",  // ok at once, and current
        "zflash_first_pass_units_total{port=\"COM4\"} 0",
        "zflash_attempts_total{port=\"COM3\"} 3",
        "zflash_attempts_total{port=\"COM4\"} 2",
        "zflash_unit_seconds_count{port=\"COM3\"} 3",
        "zflash_unit_seconds_sum{port=\"COM3\"} 43",
        "zflash_unit_seconds_bucket{port=\"COM3\",le=\"10\"} 1",
        "zflash_unit_seconds_count{port=\"COM4\"} 2",  // no-device is no unit: its wait is not timed
        "zflash_port_busy{port=\"COM3\"} 1",
        "zflash_port_busy{port=\"COM4\"} 0",
        "zflash_port_up{port=\"COM3\"} 1",
        "zflash_port_up{port=\"COM4\"} 0",
    };
    for (const char *line : expected)
        EXPECT_TRUE(Has(text, line)) << line << "\n--- in:\n" << text;
}

TEST(ListenAddress, ReadsWhatMetricsTakes)
{
    const struct {
        const char *text;
        bool ok;
        const char *host;
        int port;
    } cases[] = {
        {"9400", true, "127.0.0.1", 9400},
        {":9400", true, "127.0.0.1", 9400},
        {"0.0.0.0:9400", true, "0.0.0.0", 9400},
        {"station-4.local:80", true, "station-4.local", 80},
        {"[::1]:9400", true, "::1", 9400},
        {"127.0.0.1:0", true, "127.0.0.1", 0},
        {"::1:9400", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:", false, "", 0},
        {"host:94x0", false, "", 0},
        {"", false, "", 0},
        {"127.0.0.1:123456", false, "", 0},
    };
    for (const auto &c : cases) {
        ListenAddress a;
        std::string error;
        EXPECT_EQ(c.ok, ParseListenAddress(c.text, a, error)) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(c.host, a.host) << c.text;
        EXPECT_EQ(c.port, a.port) << c.text;
    }
    EXPECT_EQ("[::1]:9400", ListenAddressText({"::1", 9400}));
    EXPECT_EQ("127.0.0.1:80", ListenAddressText({"127.0.0.1", 80}));
}

}  // namespace
