// Firmware discovery against plainly reading the same files: a folder of
// `count` images of `size` bytes each, the page cache warmed by one plain
// read of every file first; the best of `rounds` runs of each counts.
#include <filesystem>
#include <fstream>
#include <random>

#include "catalogue/firmware.h"
#include "tools/bench/bench.h"
#include "tools/imagewriter/imagewriter.h"

namespace fs = std::filesystem;

namespace {

std::string FileName(int i)
{
    return "fw_" + std::to_string(10000 + i).substr(1) + ".bin";
}

// Writes the images that are missing, each about `size` bytes; false on failure.
bool MakeFolder(const fs::path &dir, int count, size_t size)
{
    fs::create_directories(dir);
    std::mt19937 random(3);
    for (int i = 0; i < count; ++i) {
        fs::path p = dir / FileName(i);
        if (fs::exists(p))
            continue;
        std::string info = "VN:1.0." + std::to_string(i) + "\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
        std::string data(size - 64 - size / 1024 * 3, '\0');
        for (char &c : data)
            c = char(random() & 0xFF);
        std::string bytes = BuildImage(info, 0x08010000, SplitIntoBlocks(data, 1024));
        std::ofstream out(p, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (!out)
            return false;
    }
    return true;
}

// Reads every .bin file of the folder whole; the bytes read.
double ReadPlainly(const fs::path &dir)
{
    double total = 0;
    static char chunk[1 << 16];
    for (const auto &e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            total += double(in.gcount());
    }
    return total;
}

}  // namespace

int BenchDiscovery(const std::vector<std::string> &args)
{
    const fs::path dir = fs::u8path(Option(args, "--dir", "zbench-discovery"));
    const int count = std::stoi(Option(args, "--count", "1000"));
    const size_t size = std::stoul(Option(args, "--size", "262144"));
    const int rounds = std::stoi(Option(args, "--rounds", "3"));
    if (!MakeFolder(dir, count, size)) {
        std::fprintf(stderr, "zbench discovery: cannot write the images in %s\n", dir.u8string().c_str());
        return 1;
    }
    double bytes = ReadPlainly(dir);  // warms the page cache
    double plain = 1e30, discover = 1e30;
    size_t listed = 0;
    for (int r = 0; r < rounds; ++r) {
        double t0 = WallSeconds();
        ReadPlainly(dir);
        plain = std::min(plain, WallSeconds() - t0);
        t0 = WallSeconds();
        listed = DiscoverFirmware(dir.u8string()).size();
        discover = std::min(discover, WallSeconds() - t0);
    }
    PrintResult("discovery", {{"files", std::to_string(listed)}, {"mib", Fixed(bytes / 1048576, 1)},
                              {"plain", Fixed(plain, 3)}, {"discover", Fixed(discover, 3)},
                              {"ratio", Fixed(discover / plain, 2)}});
    return listed == size_t(count) ? 0 : 1;
}
