// A station of simulated fixtures serving its metrics to a real Prometheus:
// what PromQL says of its units is what its records say; promtool accepts
// its scrape and the line's alert rules (and their tests); the dashboard's
// queries are ones Prometheus answers; the station's records, loaded twice
// into PostgreSQL, are each one session.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <map>
#include <regex>

#include <httplib.h>

#include "station/record_reading.h"
#include "tests/line/line_servers.h"
#include "tests/support/eventually.h"
#include "tests/zflash/station_fixture.h"
#include "zf_version.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kSource = ZF_SOURCE_DIR;

class StationLineTest : public zftest::ZflashStationTest {
protected:
    // {label value: sample value} of an instant vector.
    static std::map<std::string, double> ByLabel(const json &data, const std::string &label)
    {
        std::map<std::string, double> values;
        if (data.is_object() && data.contains("result"))
            for (const json &r : data["result"])
                values[r["metric"].value(label, "")] = std::stod(r["value"][1].get<std::string>());
        return values;
    }

};

TEST_F(StationLineTest, PrometheusScrapesARunningStationWhoseRecordsLoadOnceIntoPostgres)
{
    SimUnit bad = Unit("bad");
    bad.verifyMismatchBlock = 2;
    SimUnit weak = Unit("weak");
    weak.weakBlock = 3;  // programmed twice: not a first pass
    SimUnit other = Unit("other", "");
    other.hw = "VKTQ1";
    SimDevice &a = AddFixture({Unit("a1"), bad, Unit("a3")});
    SimDevice &b = AddFixture({other, weak, Unit("b3")});
    ZflashProcess station(WithRoot({"--log", log, "--progress", "plain", "--station", "line-7", "--work-order",
                                    "WO-4711", "station", "--image", image, "--metrics",
                                    "127.0.0.1:0", "--port", a.PortPath(), "--port", b.PortPath()}));
    ASSERT_TRUE(station.WaitForText("/metrics\n", 30000));
    const std::smatch where = [&] {
        std::smatch m;
        std::regex_search(station.ErrSoFar(), m, std::regex("serving metrics at http://(127\\.0\\.0\\.1:([0-9]+))/metrics"));
        return m;
    }();
    ASSERT_EQ(where.size(), 3u) << station.ErrSoFar();
    const std::string target = where[1];
    PrometheusServer prometheus;
    std::string error;
    ASSERT_TRUE(prometheus.Start(target, "1s", error)) << error;
    ASSERT_TRUE(Eventually([&] { return Records(log).size() == 6; }, std::chrono::seconds(120)));

    std::map<std::string, double> byResult;
    double firstPass = 0;
    for (const json &r : Records(log)) {
        byResult[r["result"]] += 1;
        firstPass += FirstPass(ReadRecord(r));
    }
    ASSERT_EQ(byResult.size(), 3u);  // ok, failed, bad-input
    // Prometheus has what the records say once it scraped the last of them.
    std::map<std::string, double> seen;
    EXPECT_TRUE(Within(std::chrono::seconds(60), [&] {
        seen = ByLabel(prometheus.Query("sum by (result) (zflash_units_total)"), "result");
        for (const auto &[result, n] : seen)
            if (n != (byResult.count(result) ? byResult[result] : 0))
                return false;
        return seen.size() == 8;  // every result, those without units at 0
    })) << json(seen).dump() << " against " << json(byResult).dump();
    EXPECT_EQ(ByLabel(prometheus.Query("sum(zflash_first_pass_units_total)"), "")[""], firstPass);
    EXPECT_EQ(ByLabel(prometheus.Query("sum(zflash_port_up)"), "")[""], 2);
    EXPECT_EQ(ByLabel(prometheus.Query("zflash_build_info"), "version")[ZF_VERSION], 1);
    EXPECT_EQ(ByLabel(prometheus.Query("sum by (station) (zflash_unit_seconds_count)"), "station")["test-station"], 6);

    // promtool accepts what the station serves.
    httplib::Client client(target.substr(0, target.find(':')), std::stoi(target.substr(target.find(':') + 1)));
    const httplib::Result scrape = client.Get("/metrics");
    ASSERT_TRUE(scrape && scrape->status == 200);
    std::ofstream(root / "scrape.txt") << scrape->body;
    std::string out;
    EXPECT_EQ(Shell("promtool check metrics < " + (root / "scrape.txt").string(), &out), 0) << out;

    // Every query of the dashboard is one Prometheus takes.
    std::ifstream dashboardFile(kSource + "/docs/line/grafana-dashboard.json");
    const json dashboard = json::parse(dashboardFile);
    size_t queries = 0;
    for (const json &panel : dashboard["panels"])
        for (const json &t : panel["targets"]) {
            std::string expr = std::regex_replace(t["expr"].get<std::string>(), std::regex("\\$__rate_interval"), "1m");
            expr = std::regex_replace(expr, std::regex("\\$instance"), ".*");
            EXPECT_TRUE(prometheus.Query(expr).is_object()) << panel["title"] << ": " << expr;
            ++queries;
        }
    EXPECT_GE(queries, 10u);

    station.Signal(SIGINT);
    EXPECT_EQ(station.Finish().exitCode, 1);  // a unit failed

    // The records into PostgreSQL, twice: each session once, its start and
    // its end in one row.
    PostgresServer &postgres = SharedPostgres();
    const std::string url = postgres.NewDatabase("station_records");
    const std::string starts = std::to_string(Starts(log).size());
    const std::string lines = std::to_string(Starts(log).size() + 6);
    for (int load = 0; load < 2; ++load) {
        if (load > 0)
            postgres.Query(url, "DELETE FROM zflash.file_positions");
        const ZflashRun run = RunZflash({"records", "ingest", "--db", url, log});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(run.out.find(load == 0 ? ": " + lines + " lines read, 6 sessions added, " + starts + " updated, 0 "
                                         : ": " + lines + " lines read, 0 sessions added, 0 updated, " + lines + " "),
                  std::string::npos)
            << run.out;
    }
    EXPECT_EQ(postgres.Query(url, "SELECT count(*), count(DISTINCT port), sum(attempts), count(start_entry), "
                                  "count(*) FILTER (WHERE station = 'line-7' AND work_order = 'WO-4711') "
                                  "FROM zflash.sessions"),
              (Rows{{"6", "2", "7", starts, "6"}}));
    EXPECT_EQ(postgres.Query(url, "SELECT count(*) FROM zflash.open_sessions"), (Rows{{"0"}}));
}

TEST(LineAlertRules, PromtoolChecksAndTestsThem)
{
    std::string out;
    EXPECT_EQ(Shell("promtool check rules " + kSource + "/docs/line/zflash-alerts.yml", &out), 0) << out;
    EXPECT_EQ(Shell("cd " + kSource + "/docs/line && promtool test rules zflash-alerts-test.yml", &out), 0) << out;
}

}  // namespace
