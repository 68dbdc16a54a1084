// Version comparison and the firmware sort on any strings: the comparison is
// antisymmetric, and sorting ends within bounds with a permutation of its
// input, versioned records first.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/firmware.h"

namespace {
int Sign(int v) { return (v > 0) - (v < 0); }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<FirmwareVersion> list;
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    while (at <= text.size() && list.size() < 64) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            nl = text.size();
        FirmwareVersion fw;
        fw.version = text.substr(at, nl - at);
        fw.fileName = std::to_string(list.size());
        list.push_back(fw);
        at = nl + 1;
    }
    for (const auto &a : list) {
        if (CompareVersions(a.version, a.version) != 0)
            abort();
        for (const auto &b : list)
            if (Sign(CompareVersions(a.version, b.version)) != -Sign(CompareVersions(b.version, a.version)))
                abort();
    }

    std::vector<FirmwareVersion> sorted = list;
    SortNewestFirst(sorted);
    auto byName = [](const FirmwareVersion &x, const FirmwareVersion &y) { return x.fileName < y.fileName; };
    std::vector<FirmwareVersion> a = list, b = sorted;
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    for (size_t i = 0; i < a.size(); i++)
        if (a[i].fileName != b[i].fileName || a[i].version != b[i].version)
            abort();
    bool seenEmpty = false;
    for (const auto &fw : sorted) {
        if (fw.version.empty())
            seenEmpty = true;
        else if (seenEmpty)
            abort();
    }
    return 0;
}
