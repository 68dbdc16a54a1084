// Several devices at once: N simulated devices (zsim processes with wire
// time, a firmware region of --region bytes) each programmed and verified
// with a region-filling image by one `zflash program` with N ports. Prints
// the whole run's time against one device's, the host CPU per device and
// the largest worker's memory.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "station/child.h"
#include "tools/bench/bench.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

// `program` with its output thrown away.
std::unique_ptr<Child> Spawn(const std::string &program, const std::vector<std::string> &args)
{
    ChildOptions quiet;
    quiet.program = program;
    quiet.out = quiet.err = ChildOptions::Null;
    auto child = std::make_unique<Child>();
    std::string error;
    if (!child->Start(args, error, quiet))
        std::fprintf(stderr, "zbench gang: cannot start %s: %s\n", program.c_str(), error.c_str());
    return child;
}

// A root with the VKT3K flash loader and one firmware image filling `region`.
bool MakeRoot(const fs::path &root, size_t region)
{
    const fs::path loader = root / "flashloader" / "VKT3" / "VKT3K" / "vkt3_flash_v1_0_4.img";
    const fs::path image = root / "firmware" / "VKT3" / "VKT3K" / "fw_9_9_9.bin";
    fs::create_directories(loader.parent_path());
    fs::create_directories(image.parent_path());
    const std::string loaderInfo = "VN:1.0.4\r\nBR:921600\r\n";
    const std::string info = "VN:9.9.9\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    std::string data = info + '\0';
    for (size_t i = 0; data.size() < region; ++i)
        data += char((i * 131 + 7) & 0xFF);
    return WriteImageFile(loader.string(), loaderInfo, 0x20000000,
                          SplitIntoBlocks(loaderInfo + '\0' + std::string(2000, '\xA5'), 256)) &&
           WriteImageFile(image.string(), info, 0x08010000, SplitIntoBlocks(data, 1143, 1));
}

struct Run {
    bool ok = false;
    double seconds = 0, cpu = 0;
    long maxRssKiB = 0;
};

Run RunGang(const std::string &zflash, const std::string &zsim, const fs::path &root, int n, size_t region)
{
    std::vector<std::unique_ptr<Child>> devices;
    std::vector<std::string> args = {"--root", root.string(), "--progress", "none", "program"};
    for (int i = 0; i < n; ++i) {
        const std::string link = (root / ("device" + std::to_string(i))).string();
        devices.push_back(Spawn(zsim, {"--wire-time", "--flash-size", std::to_string(region), "--link", link}));
        args.insert(args.end(), {"--port", link});
        while (!fs::exists(link))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Run run;
    const double t0 = WallSeconds();
    const std::unique_ptr<Child> gang = Spawn(zflash, args);
    run.ok = gang->Wait() == 0;
    run.seconds = WallSeconds() - t0;
    run.cpu = gang->CpuSeconds();
    run.maxRssKiB = gang->MaxRssKiB();
    for (const auto &d : devices)
        d->Signal(SIGTERM);
    return run;
}

}  // namespace

int BenchGang(const std::vector<std::string> &args)
{
    const std::string zflash = Option(args, "--zflash", "");
    const std::string zsim = Option(args, "--zsim", "");
    const size_t region = std::stoul(Option(args, "--region", "1048576"));
    std::vector<int> counts;
    std::stringstream list(Option(args, "--counts", "1,2,4,8"));
    for (std::string n; std::getline(list, n, ',');)
        counts.push_back(std::stoi(n));
    if (zflash.empty() || zsim.empty() || counts.empty()) {
        std::fprintf(stderr, "zbench gang: --zflash PATH --zsim PATH [--counts 1,2,4,8] [--region BYTES]\n");
        return 2;
    }
    const fs::path root = fs::temp_directory_path() / ("zbench-gang-" + std::to_string(getpid()));
    if (!MakeRoot(root, region)) {
        std::fprintf(stderr, "zbench gang: cannot write the images under %s\n", root.c_str());
        return 1;
    }
    double single = 0;
    bool allOk = true;
    for (int n : counts) {
        const Run run = RunGang(zflash, zsim, root, n, region);
        if (n == counts.front())
            single = run.seconds;
        allOk = allOk && run.ok;
        PrintResult("gang", {{"ok", run.ok ? "1" : "0"}, {"devices", std::to_string(n)},
                             {"region", std::to_string(region)}, {"elapsed", Fixed(run.seconds, 2)},
                             {"ratio", Fixed(single > 0 ? run.seconds / single : 0, 3)},
                             {"cpuPerDevicePct", Fixed(100 * run.cpu / run.seconds / n, 2)},
                             {"maxRssKiB", std::to_string(run.maxRssKiB)}});
    }
    fs::remove_all(root);
    return allOk ? 0 : 1;
}
