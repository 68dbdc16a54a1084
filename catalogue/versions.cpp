// Version strings: the comparison of two versions, and the newest-first order
// of a firmware list.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "catalogue/firmware.h"

namespace {

// Reads the "."-separated parts of a version as a line reader would with "."
// as its delimiter: "" has no parts, a trailing "." adds none, ".." gives an
// empty part.
class PartReader {
public:
    explicit PartReader(std::string_view text) : text_(text) {}

    // The next part, or "0" once the parts have run out.
    std::string_view Next()
    {
        if (pos_ >= text_.size())
            return "0";
        size_t dot = text_.find('.', pos_);
        size_t end = dot == std::string_view::npos ? text_.size() : dot;
        std::string_view part = text_.substr(pos_, end - pos_);
        pos_ = dot == std::string_view::npos ? text_.size() : dot + 1;
        return part;
    }

    bool Done() const { return pos_ >= text_.size(); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

size_t DigitRun(std::string_view part)
{
    size_t n = 0;
    while (n < part.size() && part[n] >= '0' && part[n] <= '9')
        ++n;
    return n;
}

bool IsNumeric(std::string_view part)
{
    return !part.empty() && DigitRun(part) == part.size();
}

// Decimal value of a run of digits, saturating at 2147483647.
int32_t Saturated(std::string_view digits)
{
    int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT32_MAX)
            return INT32_MAX;
    }
    return int32_t(value);
}

int Sign(int64_t v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// Byte-wise, bytes unsigned (char_traits<char> compares as unsigned char);
// a prefix is smaller.
int CompareBytes(std::string_view a, std::string_view b)
{
    return Sign(a.compare(b));
}

// Walks both versions part by part, missing parts counting as "0", and
// returns the first non-zero result of `comparePart`.
template <typename PartCompare>
int WalkParts(std::string_view a, std::string_view b, PartCompare comparePart)
{
    PartReader ra(a), rb(b);
    while (!ra.Done() || !rb.Done()) {
        int c = comparePart(ra.Next(), rb.Next());
        if (c != 0)
            return c;
    }
    return 0;
}

int ComparePart(std::string_view a, std::string_view b)
{
    if (IsNumeric(a) && IsNumeric(b))
        return Sign(int64_t(Saturated(a)) - Saturated(b));
    return CompareBytes(a, b);
}

// Newest first by CompareVersions, records without a version last; equal
// versions by file name and path, so that a folder lists the same way on
// every run.
bool ListedBefore(const FirmwareVersion &a, const FirmwareVersion &b)
{
    if (a.version.empty() != b.version.empty())
        return b.version.empty();
    if (int c = WalkParts(a.version, b.version, ComparePart))
        return c > 0;
    if (int c = CompareBytes(a.fileName, b.fileName))
        return c < 0;
    return CompareBytes(a.path, b.path) < 0;
}

// A total order on the records' bytes alone: the sort starts from it, so
// that the result depends only on the set of records, never on the order the
// platform listed them in.
bool CanonicalBefore(const FirmwareVersion &a, const FirmwareVersion &b)
{
    if (int c = CompareBytes(a.version, b.version))
        return c < 0;
    if (int c = CompareBytes(a.fileName, b.fileName))
        return c < 0;
    return CompareBytes(a.path, b.path) < 0;
}

// Merges the sorted runs from[lo, mid) and from[mid, hi) into to[lo, hi);
// on a tie the left run's record goes first.
void MergeRuns(std::vector<FirmwareVersion> &from, std::vector<FirmwareVersion> &to, size_t lo,
               size_t mid, size_t hi)
{
    size_t i = lo, j = mid, k = lo;
    while (i < mid && j < hi)
        to[k++] = std::move(ListedBefore(from[j], from[i]) ? from[j++] : from[i++]);
    while (i < mid)
        to[k++] = std::move(from[i++]);
    while (j < hi)
        to[k++] = std::move(from[j++]);
}

// Bottom-up merge sort by ListedBefore. It only ever asks ListedBefore, so
// it stays within the list and ends whatever the answers are; where they form
// a consistent order (CompareVersions is one on most sets of versions, but
// not where numbers and texts meet at the same part: 1a < 9 < 10 < 1a) the
// result is sorted by it.
void MergeSort(std::vector<FirmwareVersion> &list)
{
    const size_t n = list.size();
    std::vector<FirmwareVersion> other(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(mid + width, n);
            MergeRuns(list, other, lo, mid, hi);
        }
        list.swap(other);
    }
}

}  // namespace

int CompareVersions(const std::string &a, const std::string &b)
{
    return WalkParts(a, b, ComparePart);
}

void SortNewestFirst(std::vector<FirmwareVersion> &list)
{
    std::sort(list.begin(), list.end(), CanonicalBefore);
    MergeSort(list);
}
