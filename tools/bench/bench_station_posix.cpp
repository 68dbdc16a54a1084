// A station all shift: N ports, each a simulated fixture (zsim with wire time,
// a firmware region of --region bytes) serving a stream of units, swapped a
// short random pause after the host is done with each; one `zflash station`
// takes --units units a port. Prints per port count the units per hour of a
// port against one port's, the host's time per unit beyond the wire time of
// its session, the CPU per port, and every zflash process's memory after its
// first unit and at the end. With --terminal COLUMNS the station's live
// display goes to a pseudo-terminal of that width (24 rows), and it prints
// the bytes a second written to it, on average and in the busiest second,
// and the block's moves (redraws and lines printed above it) a second.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <utility>

#include "station/child.h"
#include "tools/bench/bench.h"
#include "tools/bench/bench_root.h"

namespace fs = std::filesystem;

namespace {

struct Run {
    bool ok = false;
    double seconds = 0, cpu = 0;
    double servedSeconds = 0, wireSeconds = 0;  // summed over the units
    double deviceSeconds = 0;                   // the devices' own time (erases, answers), summed
    int units = 0;
    long rssStartKiB = 0, rssEndKiB = 0;        // all zflash processes together
    long largestStartKiB = 0, largestEndKiB = 0;
    double terminalBytesPerSecond = 0, terminalPeakBytes = 0, movesPerSecond = 0;
};

// The far end of the station's terminal: what it was sent, and when.
class TerminalReader {
public:
    // A pseudo-terminal `columns` wide; Slave() is for the station's standard error.
    explicit TerminalReader(int columns)
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        struct winsize size {};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = 24;
        ioctl(master, TIOCSWINSZ, &size);
        slave = open(ptsname(master), O_RDWR | O_NOCTTY);
        reader = std::thread([this] {
            char buffer[4096];
            // Ends with EIO once every process holding the slave has ended.
            for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
                chunks.emplace_back(WallSeconds(), std::string(buffer, size_t(n)));
            }
        });
    }
    ~TerminalReader()
    {
        CloseSlave();
        if (reader.joinable())
            reader.join();
        if (master >= 0)
            close(master);
    }
    int Slave() const { return slave; }
    void CloseSlave()  // the station has its own
    {
        if (slave >= 0)
            close(slave);
        slave = -1;
    }
    // After the station's end: bytes a second on average and in the busiest
    // second, and the cursor's moves up (a redraw, a line above the block) a second.
    void Figures(Run &run)
    {
        if (reader.joinable())
            reader.join();
        if (chunks.empty())
            return;
        const double span = std::max(chunks.back().first - chunks.front().first, 1.0);
        size_t bytes = 0, moves = 0, windowBytes = 0, from = 0;
        for (size_t i = 0; i < chunks.size(); ++i) {
            bytes += chunks[i].second.size();
            for (size_t at = chunks[i].second.find("\x1b["); at != std::string::npos;
                 at = chunks[i].second.find("\x1b[", at + 1)) {
                const size_t end = chunks[i].second.find_first_not_of("0123456789", at + 2);
                moves += end != std::string::npos && end > at + 2 && chunks[i].second[end] == 'A';
            }
            windowBytes += chunks[i].second.size();
            while (chunks[i].first - chunks[from].first >= 1.0)
                windowBytes -= chunks[from++].second.size();
            run.terminalPeakBytes = std::max(run.terminalPeakBytes, double(windowBytes));
        }
        run.terminalBytesPerSecond = bytes / span;
        run.movesPerSecond = moves / span;
    }

private:
    int master = -1, slave = -1;
    std::thread reader;
    std::vector<std::pair<double, std::string>> chunks;
};

long RssKiB(long pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// The supervisor and its workers (its children).
std::vector<long> Station(long supervisor)
{
    std::vector<long> pids = {supervisor};
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state;
        long parent = -1;
        stat >> pid >> comm >> state >> parent;
        if (parent == supervisor)
            pids.push_back(std::stol(name));
    }
    return pids;
}

// The station's resident memory: all its processes', the largest's; how many.
size_t Sample(long supervisor, long &total, long &largest)
{
    total = largest = 0;
    const std::vector<long> processes = Station(supervisor);
    for (long pid : processes) {
        const long rss = RssKiB(pid);
        total += rss;
        largest = std::max(largest, rss);
    }
    return processes.size();
}

// Units recorded: the sessions' ends (a session that reached the flash also
// has a start).
int Lines(const std::string &file)
{
    std::ifstream in(file);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        n += line.find("\"event\":\"start\"") == std::string::npos ? 1 : 0;
    return n;
}

// What a fixture reported at its end: the units' served time, the wire time
// and the device's own time before its replies.
void ReadFixture(const std::string &out, const std::string &err, Run &run)
{
    std::ifstream units(out);
    const std::regex served("served-ms=([0-9]+)");
    std::smatch m;
    for (std::string line; std::getline(units, line);)
        if (line.rfind("zsim: unit ", 0) == 0 && std::regex_search(line, m, served))
            run.servedSeconds += std::stod(m[1]) / 1000;
    std::ifstream stats(err);
    const std::regex wire("([0-9.]+) s on the wire");
    const std::regex own("([0-9.]+) s the device's own");
    for (std::string line; std::getline(stats, line);) {
        for (std::sregex_iterator it(line.begin(), line.end(), wire), end; it != end; ++it)
            run.wireSeconds += std::stod((*it)[1]);
        if (std::regex_search(line, m, own))
            run.deviceSeconds += std::stod(m[1]);
    }
}

// How the fixtures behave: their operator's quiet time before a swap, the
// pause before the next unit, whether the wire's time is kept.
struct FixturePace {
    std::string swapMs = "400";
    std::string pauses = "200-600";
    bool wireTime = true;
};

Run RunStation(const std::string &zflash, const std::string &zsim, const fs::path &root, int ports, int units,
               size_t region, const FixturePace &pace, int columns)
{
    std::vector<std::unique_ptr<Child>> fixtures;
    std::vector<std::string> args = {"--root", root.string(), "--log", (root / "records.jsonl").string(),
                                     "--progress", columns ? "bar" : "none", "station", "--count",
                                     std::to_string(ports * units)};
    fs::remove(root / "records.jsonl");
    for (int i = 0; i < ports; ++i) {
        const std::string link = (root / ("fixture" + std::to_string(i))).string();
        ChildOptions quiet;
        quiet.program = zsim;
        quiet.outFile = link + ".out";
        quiet.err = ChildOptions::Pipe;
        std::ofstream(quiet.outFile).close();
        fixtures.push_back(std::make_unique<Child>());
        std::string error;
        std::vector<std::string> fixture = {"--flash-size", std::to_string(region), "--link", link, "--unit",
                                            std::to_string(units + 1) + "*fw=old", "--auto-swap", pace.swapMs,
                                            "--plug-pause-ms", pace.pauses, "--seed", std::to_string(i + 1)};
        if (pace.wireTime)
            fixture.insert(fixture.begin(), "--wire-time");
        fixtures.back()->Start(fixture, error, quiet);
        args.insert(args.end(), {"--port", link});
        while (!fs::exists(link))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Run run;
    ChildOptions quiet;
    quiet.program = zflash;
    quiet.out = quiet.err = ChildOptions::Null;
    std::unique_ptr<TerminalReader> terminal;
    if (columns) {
        terminal.reset(new TerminalReader(columns));
        quiet.errFd = terminal->Slave();
    }
    Child station;
    std::string error;
    const double t0 = WallSeconds();
    station.Start(args, error, quiet);
    if (terminal)
        terminal->CloseSlave();
    // A unit takes well under two minutes; a station that takes longer than
    // that for each of its units has lost its fixtures.
    const double bound = 120.0 * units + 60;
    size_t sampled = 0;  // processes at the first sample
    while (!station.Ended()) {
        if (WallSeconds() - t0 > bound) {
            station.Signal(SIGKILL);
            break;
        }
        const int done = Lines((root / "records.jsonl").string());
        long total = 0, largest = 0;
        const size_t processes = Sample(station.Pid(), total, largest);
        if (done >= 1 && run.rssStartKiB == 0) {
            run.rssStartKiB = total;
            run.largestStartKiB = largest;
            sampled = processes;
        }
        if (total > 0 && processes == sampled) {  // the same processes: none has ended yet
            run.rssEndKiB = total;
            run.largestEndKiB = largest;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    run.seconds = WallSeconds() - t0;
    run.ok = station.Wait() == 0;
    run.cpu = station.CpuSeconds();
    run.units = Lines((root / "records.jsonl").string());
    if (terminal)
        terminal->Figures(run);
    for (size_t i = 0; i < fixtures.size(); ++i) {
        fixtures[i]->Signal(SIGTERM);
        std::string stderrText;
        char buffer[4096];
        for (long n; (n = read(fixtures[i]->ErrorFd(), buffer, sizeof buffer)) > 0;)
            stderrText.append(buffer, size_t(n));
        fixtures[i]->Wait();
        const std::string link = (root / ("fixture" + std::to_string(i))).string();
        std::ofstream(link + ".err") << stderrText;
        ReadFixture(link + ".out", link + ".err", run);
    }
    return run;
}

}  // namespace

int BenchStation(const std::vector<std::string> &args)
{
    const std::string zflash = Option(args, "--zflash", "");
    const std::string zsim = Option(args, "--zsim", "");
    const size_t region = std::stoul(Option(args, "--region", "1048576"));
    const int units = std::stoi(Option(args, "--units", "4"));
    FixturePace pace;
    pace.pauses = Option(args, "--plug-pause-ms", pace.pauses);
    pace.swapMs = Option(args, "--swap-ms", pace.swapMs);
    pace.wireTime = Option(args, "--wire-time", "1") != "0";
    const int columns = std::stoi(Option(args, "--terminal", "0"));
    std::vector<int> counts;
    std::stringstream list(Option(args, "--ports", "1,2,4,8"));
    for (std::string n; std::getline(list, n, ',');)
        counts.push_back(std::stoi(n));
    if (zflash.empty() || zsim.empty() || counts.empty()) {
        std::fprintf(stderr, "zbench station: --zflash PATH --zsim PATH [--ports 1,2,4,8] [--units 4] "
                             "[--region BYTES] [--plug-pause-ms 200-600] [--swap-ms 400] [--wire-time 1|0] "
                             "[--terminal COLUMNS]\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("zbench-station-" + std::to_string(getpid()));
    if (!MakeBenchRoot(root, region)) {
        std::fprintf(stderr, "zbench station: cannot write the images under %s\n", root.c_str());
        return 1;
    }
    double onePort = 0;
    bool allOk = true;
    for (int n : counts) {
        const Run run = RunStation(zflash, zsim, root, n, units, region, pace, columns);
        const double perPort = run.seconds > 0 ? run.units * 3600.0 / run.seconds / n : 0;
        if (n == counts.front())
            onePort = perPort;
        allOk = allOk && run.ok && run.units == n * units;
        PrintResult("station", {{"ok", run.ok && run.units == n * units ? "1" : "0"},
                                {"ports", std::to_string(n)},
                                {"units", std::to_string(run.units)},
                                {"region", std::to_string(region)},
                                {"elapsed", Fixed(run.seconds, 1)},
                                {"unitsPerHourPerPort", Fixed(perPort, 1)},
                                {"ofOnePort", Fixed(onePort > 0 ? perPort / onePort : 0, 3)},
                                {"overheadPerUnit", Fixed(run.units ? (run.servedSeconds - run.wireSeconds - run.deviceSeconds) / run.units : 0, 3)},
                                {"cpuPerPortPct", Fixed(100 * run.cpu / run.seconds / n, 2)},
                                {"rssStartKiB", std::to_string(run.rssStartKiB)},
                                {"rssEndKiB", std::to_string(run.rssEndKiB)},
                                {"largestStartKiB", std::to_string(run.largestStartKiB)},
                                {"largestEndKiB", std::to_string(run.largestEndKiB)},
                                {"largestGrowthBytesPerUnit",
                                 Fixed(run.units > 1 ? 1024.0 * double(run.largestEndKiB - run.largestStartKiB) /
                                                           (double(run.units) / n - 1)
                                                     : 0,
                                       1)},
                                {"terminalColumns", std::to_string(columns)},
                                {"terminalBytesPerSecond", Fixed(run.terminalBytesPerSecond, 0)},
                                {"terminalPeakBytesPerSecond", Fixed(run.terminalPeakBytes, 0)},
                                {"terminalMovesPerSecond", Fixed(run.movesPerSecond, 1)}});
    }
    if (allOk)
        fs::remove_all(root);
    else
        std::fprintf(stderr, "zbench station: a run failed; its records and fixtures' output are kept in %s\n",
                     root.c_str());
    return allOk ? 0 : 1;
}
