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

// The order used for sorting. CompareVersions compares two numeric parts as
// numbers and everything else byte-wise, which is not transitive once numbers
// and texts meet at the same position (1a < 9 < 10 < 1a), and no sort is well
// defined over such a relation. This order is total and transitive and
// differs from CompareVersions only where digits of different lengths meet:
//   - an empty part, or one starting below '0' (" 1", "-1"), comes before
//     every part starting with a digit, and one starting above '9' ("rc1",
//     "beta") after them; these compare among themselves byte-wise;
//   - a part starting with a digit ranks by the value of its leading digits,
//     then by the rest of the part byte-wise (a number has no rest, so "2"
//     comes before "2a"), then by all its bytes ("01a" before "1a"); numbers
//     of equal value are equal ("01" and "1").
// So 1.2 < 1.2a < 1.3 and 1.10 < 1.10a as CompareVersions has them, while
// 1.9a < 1.10 and 1.9a < 1.10a, where CompareVersions compares the parts
// byte-wise. Texts cannot keep the byte order throughout: "10a" < "1b"
// byte-wise, yet 1.1b must stay older than 1.2 and 1.10a newer than 1.10.
int Rank(std::string_view part)
{
    if (part.empty() || (unsigned char)part[0] < '0')
        return 0;
    return (unsigned char)part[0] > '9' ? 2 : 1;
}

int SortPart(std::string_view a, std::string_view b)
{
    int ra = Rank(a), rb = Rank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra != 1)
        return CompareBytes(a, b);
    size_t da = DigitRun(a), db = DigitRun(b);
    if (int c = Sign(int64_t(Saturated(a.substr(0, da))) - Saturated(b.substr(0, db))))
        return c;
    if (int c = CompareBytes(a.substr(da), b.substr(db)))
        return c;
    if (da == a.size())  // both numbers of equal value
        return 0;
    return CompareBytes(a, b);
}

// Newest first; records without a version last; then by file name and path
// so that equal versions come out in the same order on every run.
bool ListedBefore(const FirmwareVersion &a, const FirmwareVersion &b)
{
    if (a.version.empty() != b.version.empty())
        return b.version.empty();
    if (int c = WalkParts(a.version, b.version, SortPart))
        return c > 0;
    if (int c = CompareBytes(a.fileName, b.fileName))
        return c < 0;
    return CompareBytes(a.path, b.path) < 0;
}

}  // namespace

int CompareVersions(const std::string &a, const std::string &b)
{
    return WalkParts(a, b, ComparePart);
}

void SortNewestFirst(std::vector<FirmwareVersion> &list)
{
    std::sort(list.begin(), list.end(), ListedBefore);
}
