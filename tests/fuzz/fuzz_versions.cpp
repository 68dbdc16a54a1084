// Version comparison and the firmware sort on any strings: the comparison is
// antisymmetric; sorting ends within bounds with a permutation of its input,
// versioned records first, the same from any input order; and wherever
// CompareVersions is a consistent order on the versions it sorts by it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalogue/firmware.h"

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// Lists up to this long are checked for a consistent order (n^3 comparisons).
const size_t kConsistencyCheckLimit = 24;

std::vector<FirmwareVersion> Parse(const uint8_t *data, size_t size)
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
    return list;
}

bool Consistent(const std::vector<FirmwareVersion> &list)
{
    for (const auto &a : list)
        for (const auto &b : list)
            for (const auto &c : list)
                if (CompareVersions(a.version, b.version) >= 0 && CompareVersions(b.version, c.version) >= 0 &&
                    CompareVersions(a.version, c.version) < 0)
                    return false;
    return true;
}

std::vector<std::string> Names(const std::vector<FirmwareVersion> &list)
{
    std::vector<std::string> names;
    for (const auto &fw : list)
        names.push_back(fw.fileName);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<FirmwareVersion> list = Parse(data, size);
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

    std::vector<FirmwareVersion> reversed(list.rbegin(), list.rend());
    SortNewestFirst(reversed);
    if (Names(reversed) != Names(sorted))
        abort();

    if (list.size() <= kConsistencyCheckLimit && Consistent(list)) {
        for (size_t i = 0; i < sorted.size(); i++)
            for (size_t j = i + 1; j < sorted.size() && !sorted[j].version.empty(); j++)
                if (CompareVersions(sorted[i].version, sorted[j].version) < 0)
                    abort();
    }
    return 0;
}
