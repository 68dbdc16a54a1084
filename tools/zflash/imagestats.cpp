#include "tools/zflash/imagestats.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include "targetlib/capture.h"
#include "tools/zflash/libtrace.h"

namespace {

// "  ERR:  The Zelvo Image File appears to be corrupt." -> the sentence.
std::string ReasonFromTrace(const std::string &trace)
{
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        size_t at = line.find("ERR:");
        if (at == std::string::npos)
            continue;
        size_t start = line.find_first_not_of(' ', at + 4);
        size_t end = line.find_last_not_of(" \r");
        if (start != std::string::npos && end >= start)
            return line.substr(start, end - start + 1);
    }
    return "not a valid image file";
}

void Measure(const IMG &image, ImageStats &stats)
{
    stats = ImageStats();
    stats.address = image.address;
    stats.info = image.info;
    stats.blocks = image.blocks.size();
    for (size_t i = 0; i < image.blocks.size(); ++i) {
        size_t n = image.blocks[i].data.size();
        stats.minBlock = i == 0 ? n : std::min(stats.minBlock, n);
        stats.maxBlock = std::max(stats.maxBlock, n);
        stats.totalBytes += n;
    }
}

}  // namespace

bool ReadImageStats(const std::string &path, ImageStats &stats, std::string *reason)
{
    std::unique_ptr<IMG> image;
    auto load = [&] { image.reset(ReadImage(path.c_str())); };
    if (reason) {
        std::string trace = CollectLibraryTrace(load);
        if (!image)
            *reason = ReasonFromTrace(trace);
    } else {
        load();
    }
    if (!image)
        return false;
    Measure(*image, stats);
    return true;
}
