// What a Prometheus scrape costs a running station: N fixtures (zsim with
// wire time) serve a stream of units to one `zflash station --metrics`; the
// supervisor's own CPU time (it serves the metrics; its workers do not) is
// measured over a stretch without scrapes, one with scrapes as fast as a
// scraper can make them (a new connection each, as Prometheus makes them at
// its usual intervals), and another without. Prints the CPU a scrape costs,
// the bytes it carries, and what that is at one scrape every 15 s.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>
#include <thread>

#include <httplib.h>

#include "station/child.h"
#include "tools/bench/bench.h"
#include "tools/bench/bench_root.h"

namespace fs = std::filesystem;

namespace {

// User + system seconds of one process (not its children).
double ProcessCpu(long pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stod(field);
        if (i == 15) {
            stime = std::stod(field);
            break;
        }
    }
    return (utime + stime) / double(sysconf(_SC_CLK_TCK));
}

int FreePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

struct Stretch {
    double cpu = 0, seconds = 0;
    long scrapes = 0, bytes = 0, failed = 0;
};

// `seconds` of the station's life, scraped back to back or not at all.
Stretch Measure(long supervisor, int port, double seconds, bool scrape)
{
    Stretch s;
    const double cpu0 = ProcessCpu(supervisor), t0 = WallSeconds();
    while (WallSeconds() - t0 < seconds) {
        if (!scrape) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        httplib::Client client("127.0.0.1", port);
        const httplib::Result r = client.Get("/metrics");
        if (r && r->status == 200) {
            ++s.scrapes;
            s.bytes += long(r->body.size());
        } else {
            ++s.failed;
        }
    }
    s.seconds = WallSeconds() - t0;
    s.cpu = ProcessCpu(supervisor) - cpu0;
    return s;
}

}  // namespace

int BenchScrape(const std::vector<std::string> &args)
{
    const std::string zflash = Option(args, "--zflash", "");
    const std::string zsim = Option(args, "--zsim", "");
    const int ports = std::stoi(Option(args, "--ports", "8"));
    const double seconds = std::stod(Option(args, "--seconds", "10"));
    if (zflash.empty() || zsim.empty()) {
        std::fprintf(stderr, "zbench scrape: --zflash PATH --zsim PATH [--ports 8] [--seconds 10]\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("zbench-scrape-" + std::to_string(getpid()));
    const size_t region = 1 << 20;
    if (!MakeBenchRoot(root, region)) {
        std::fprintf(stderr, "zbench scrape: cannot write the images under %s\n", root.c_str());
        return 1;
    }
    const int port = FreePort();
    std::vector<std::string> stationArgs = {"--root", root.string(), "--log", (root / "records.jsonl").string(),
                                            "--progress", "none", "station", "--metrics",
                                            "127.0.0.1:" + std::to_string(port)};
    std::vector<std::unique_ptr<Child>> fixtures;
    for (int i = 0; i < ports; ++i) {
        const std::string link = (root / ("fixture" + std::to_string(i))).string();
        ChildOptions quiet;
        quiet.program = zsim;
        quiet.out = quiet.err = ChildOptions::Null;
        fixtures.push_back(std::make_unique<Child>());
        std::string error;
        fixtures.back()->Start({"--wire-time", "--flash-size", std::to_string(region), "--link", link, "--unit",
                                "1000*fw=old", "--auto-swap", "400", "--plug-pause-ms", "200-600", "--seed",
                                std::to_string(i + 1)},
                               error, quiet);
        stationArgs.insert(stationArgs.end(), {"--port", link});
        while (!fs::exists(link))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ChildOptions quiet;
    quiet.program = zflash;
    quiet.out = quiet.err = ChildOptions::Null;
    Child station;
    std::string error;
    station.Start(stationArgs, error, quiet);
    // Running: its units under way on every port.
    Measure(station.Pid(), port, 5, false);
    const Stretch before = Measure(station.Pid(), port, seconds, false);
    const Stretch scraped = Measure(station.Pid(), port, seconds, true);
    const Stretch after = Measure(station.Pid(), port, seconds, false);
    station.Signal(SIGTERM);
    station.Wait();
    for (std::unique_ptr<Child> &f : fixtures) {
        f->Signal(SIGTERM);
        f->Wait();
    }
    fs::remove_all(root);
    const double idlePerSecond = (before.cpu + after.cpu) / (before.seconds + after.seconds);
    const double perScrape = scraped.scrapes > 0 ? (scraped.cpu - idlePerSecond * scraped.seconds) / scraped.scrapes : 0;
    PrintResult("scrape", {{"ok", scraped.scrapes > 0 && scraped.failed == 0 ? "1" : "0"},
                           {"ports", std::to_string(ports)},
                           {"scrapes", std::to_string(scraped.scrapes)},
                           {"bytesPerScrape", std::to_string(scraped.scrapes ? scraped.bytes / scraped.scrapes : 0)},
                           {"supervisorCpuPct", Fixed(100 * idlePerSecond, 2)},
                           {"cpuPerScrapeMs", Fixed(1000 * perScrape, 3)},
                           {"at15sPct", Fixed(100 * perScrape / 15, 4)}});
    return scraped.failed == 0 ? 0 : 1;
}
