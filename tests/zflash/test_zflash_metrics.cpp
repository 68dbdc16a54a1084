// zflash station --metrics against simulated fixtures: a scrape while the
// station runs agrees with its records, and an address that cannot be served
// is refused before any device is touched.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <sstream>

#include <httplib.h>

#include "tests/support/eventually.h"
#include "tests/zflash/station_fixture.h"

using nlohmann::json;

namespace {

// Every sample of a scrape: "name{labels}" -> value.
std::map<std::string, double> Samples(const std::string &text)
{
    std::map<std::string, double> samples;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.rfind(' ');
        if (!line.empty() && line[0] != '#' && space != std::string::npos)
            samples[line.substr(0, space)] = std::stod(line.substr(space + 1));
    }
    return samples;
}

using ZflashMetricsTest = zftest::ZflashStationTest;

TEST_F(ZflashMetricsTest, AScrapeWhileTheStationRunsAgreesWithItsRecords)
{
    SimUnit bad = Unit("bad");
    bad.verifyMismatchBlock = 2;
    SimUnit other = Unit("other", "");
    other.hw = "VKTQ1";
    SimDevice &a = AddFixture({Unit("a1"), bad});
    SimDevice &b = AddFixture({other, Unit("b1")});
    ZflashProcess zflash(WithRoot({"--log", log, "--progress", "plain", "station", "--image", image, "--metrics",
                                   "127.0.0.1:0", "--port", a.PortPath(), "--port", b.PortPath()}));
    ASSERT_TRUE(zflash.WaitForText("/metrics\n", 30000));
    ASSERT_TRUE(Eventually([&] { return Records(log).size() == 4; }, std::chrono::seconds(90)));
    const std::string err = zflash.ErrSoFar();
    const size_t at = err.find("serving metrics at http://127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << err;
    const int port = std::stoi(err.substr(at + 36));

    httplib::Client client("127.0.0.1", port);
    std::map<std::string, double> s;
    // The ports' gauges follow within a tick of the last record.
    ASSERT_TRUE(Eventually([&] {
        const httplib::Result r = client.Get("/metrics");
        if (!r || r->status != 200)
            return false;
        EXPECT_EQ(r->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
        s = Samples(r->body);
        return s["zflash_port_busy{port=\"" + a.PortPath() + "\"}"] == 0 &&
               s["zflash_port_busy{port=\"" + b.PortPath() + "\"}"] == 0;
    }));
    std::map<std::string, double> units, attempts;
    for (const json &r : Records(log)) {
        units["zflash_units_total{port=\"" + r["port"].get<std::string>() + "\",result=\"" +
              r["result"].get<std::string>() + "\"}"] += 1;
        attempts["zflash_attempts_total{port=\"" + r["port"].get<std::string>() + "\"}"] += r["attempts"].get<int>();
    }
    EXPECT_EQ(units.size(), 4u);  // ok and failed on a, bad-input and ok on b
    for (const auto &[sample, n] : units)
        EXPECT_EQ(s[sample], n) << sample;
    for (const auto &[sample, n] : attempts)
        EXPECT_EQ(s[sample], n) << sample;
    double total = 0;
    for (const auto &[sample, n] : s)
        total += sample.rfind("zflash_units_total{", 0) == 0 ? n : 0;
    EXPECT_EQ(total, 4);
    for (const SimDevice *d : {&a, &b}) {
        EXPECT_EQ(s["zflash_port_up{port=\"" + d->PortPath() + "\"}"], 1);
        EXPECT_EQ(s["zflash_unit_seconds_count{port=\"" + d->PortPath() + "\"}"], 2);
        EXPECT_EQ(s["zflash_first_pass_units_total{port=\"" + d->PortPath() + "\"}"], 1);
    }
    EXPECT_EQ(client.Get("/")->status, 404);

    zflash.Signal(SIGINT);
    EXPECT_EQ(zflash.Finish().exitCode, 1);  // a unit failed
}

TEST_F(ZflashMetricsTest, AnAddressThatCannotBeServedIsRefusedBeforeAnyDeviceIsTouched)
{
    ASSERT_TRUE(StartSim());
    // A port that another program listens on.
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(taken, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr *>(&address), &size), 0);
    const std::string busy = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    const struct {
        std::vector<std::string> args;
        std::string error;
    } cases[] = {
        {{"station", "--metrics", busy, "--port", Port()},
         "zflash: cannot serve metrics on " + busy +
             ": the port is taken, or the address is not one of this computer's. No device was touched.\n"},
        {{"program", "--metrics", "127.0.0.1:0", "--port", Port()},
         "zflash: --metrics serves a station or several ports; a single device's session ends before it is worth "
         "a scrape (zflash station --count 1 takes one unit).\n"},
        {{"station", "--metrics", "::1:9400", "--port", Port()}, "an IPv6 address goes in brackets"},
        {{"station", "--metrics", "localhost:99999", "--port", Port()}, "a port from 0 to 65535"},
    };
    for (const auto &c : cases) {
        const ZflashRun run = Zflash(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args[2];
        EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    }
    close(taken);
    EXPECT_EQ(sim->Stats().captures, 0u);
}

}  // namespace
