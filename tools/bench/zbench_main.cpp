// zbench: the benchmarks of the device link and the catalogue. Figures go to
// standard error as RESULT lines (scripts/bench collects them); the target
// library's trace goes to standard output.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/bench/bench.h"

namespace {

const char kUsage[] =
    "Usage: zbench COMMAND [OPTIONS]\n"
    "  program   --port P [--baud 921600] [--size 65536] [--block 1143]\n"
    "            [--low-latency [--sysfs-root /sys]]\n"
    "            capture, start a flash loader at the rate, erase, time program + verify;\n"
    "            --low-latency: set the port's USB adapter's latency timer to 1 ms for the run\n"
    "  rxrate    --port P [--bytes 65536]   receive rate of GetChar from `zbench peer`\n"
    "  discovery [--dir D] [--count 1000] [--size 262144] [--rounds 3]\n"
    "            DiscoverFirmware against plainly reading the same files\n"
#ifndef _WIN32
    "  capture   [--trials 50]   announcement end to \"Target Captured\" (in-process pty)\n"
    "  peer      --link PATH     the far end for rxrate, on a pty linked at PATH\n"
    "  gang      --zflash PATH --zsim PATH [--counts 1,2,4,8] [--region 1048576]\n"
    "            N devices programmed and verified at once, against one\n"
    "  station   --zflash PATH --zsim PATH [--ports 1,2,4,8] [--units 4] [--region 1048576]\n"
    "            [--plug-pause-ms 200-600] [--terminal COLUMNS]   N fixtures each serving a stream\n"
    "            of units to one zflash station: units per hour, host time per unit beyond the\n"
    "            wire, CPU, memory; --terminal: its live display on a pseudo-terminal that wide,\n"
    "            and the bytes a second written to it\n"
    "  scrape    --zflash PATH --zsim PATH [--ports 8] [--seconds 10]\n"
    "            the CPU a metrics scrape costs a running zflash station --metrics\n"
#endif
    ;

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? "" : args[0];
    try {
        if (command == "program")
            return BenchProgram(args);
        if (command == "rxrate")
            return BenchRxRate(args);
        if (command == "discovery")
            return BenchDiscovery(args);
#ifndef _WIN32
        if (command == "capture")
            return BenchCapture(args);
        if (command == "peer")
            return BenchPeer(args);
        if (command == "gang")
            return BenchGang(args);
        if (command == "station")
            return BenchStation(args);
        if (command == "scrape")
            return BenchScrape(args);
#endif
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zbench %s: %s\n", command.c_str(), e.what());
        return 2;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
