#include "tools/zflash/worker_args.h"

#include "app/workflows.h"
#include "station/parent_watch.h"
#include "tools/zflash/interrupt.h"

std::vector<std::string> WorkerArgs(const std::string &command, const GlobalOptions &g, const DeviceOptions &d,
                                    const std::string &port, const std::string &imageSha256)
{
    std::vector<std::string> args = {"--events", "--supervisor", std::to_string(OwnProcessId()), "--root",
                                     AppRootDir()};
    // The records are the workers' to make: who and what for travel with them.
    for (const auto &named : {std::make_pair("--station", &g.station), std::make_pair("--operator", &g.operatorName),
                              std::make_pair("--work-order", &g.workOrder)})
        if (!named.second->empty())
            args.insert(args.end(), {named.first, *named.second});
    if (g.verbose)
        args.push_back("--verbose");
    if (g.timeout > 0 && command != "station")  // a station waits for each unit as long as it takes
        args.insert(args.end(), {"--timeout", std::to_string(g.timeout)});
    if (g.deadline > 0)
        args.insert(args.end(), {"--deadline", std::to_string(g.deadline)});
    args.insert(args.end(), {command, "--port", port});
    if (d.retries > 0 || command == "station")  // a station's own default is 1: 0 must be said
        args.insert(args.end(), {"--retries", std::to_string(d.retries)});
    if (!d.image.empty())
        args.insert(args.end(), {"--image", d.image});
    if (!imageSha256.empty())  // every device gets the image that was checked here
        args.insert(args.end(), {"--expect-sha256", imageSha256});
    if (!d.version.empty())
        args.insert(args.end(), {"--version", d.version});
    if (d.yes)
        args.push_back("--yes");
    if (d.skipIfCurrent)
        args.push_back("--skip-if-current");
    if (d.count > 0)  // the worker asks before it takes a unit
        args.insert(args.end(), {"--count", std::to_string(d.count)});
    return args;
}

SupervisorSettings SupervisorSettingsOf(const GlobalOptions &g, const std::string &sysfsRoot)
{
    SupervisorSettings settings;
    settings.logPath = g.log;
    settings.sysfsRoot = sysfsRoot;
    settings.takeInterrupts = TakeInterrupts;
    settings.terminated = Terminated;
    settings.endingNow = EndingNow;
    return settings;
}
