#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "catalogue/firmware.h"

namespace {

int Sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// Sign of CompareVersions(a, b), checked to be the opposite of (b, a).
int Order(const std::string &a, const std::string &b)
{
    int ab = Sign(CompareVersions(a, b));
    EXPECT_EQ(ab, -Sign(CompareVersions(b, a))) << '"' << a << "\" vs \"" << b << '"';
    return ab;
}

FirmwareVersion Record(const std::string &version, const std::string &fileName)
{
    FirmwareVersion fw;
    fw.version = version;
    fw.fileName = fileName;
    fw.path = "fw/" + fileName;
    return fw;
}

std::vector<std::string> Versions(const std::vector<FirmwareVersion> &list)
{
    std::vector<std::string> out;
    for (const FirmwareVersion &fw : list)
        out.push_back(fw.version);
    return out;
}

std::vector<std::string> FileNames(const std::vector<FirmwareVersion> &list)
{
    std::vector<std::string> out;
    for (const FirmwareVersion &fw : list)
        out.push_back(fw.fileName);
    return out;
}

}  // namespace

TEST(CompareVersions, NumericPartsCompareAsNumbers)
{
    EXPECT_EQ(Order("1.10", "1.9"), 1);
    EXPECT_EQ(Order("1.0.4", "1.0.10"), -1);
    EXPECT_EQ(Order("2", "10"), -1);
}

TEST(CompareVersions, LeadingZerosDoNotCount)
{
    EXPECT_EQ(Order("01.2", "1.2"), 0);
    EXPECT_EQ(Order("1.002", "1.2"), 0);
}

TEST(CompareVersions, MissingPartsCountAsZero)
{
    EXPECT_EQ(Order("1.2", "1.2.0"), 0);
    EXPECT_EQ(Order("1.2", "1.2."), 0);
    EXPECT_EQ(Order("1.2.0", "1.2."), 0);
    EXPECT_EQ(Order("1.2", "1.2.0.1"), -1);
}

TEST(CompareVersions, TextPartsCompareByteWise)
{
    EXPECT_EQ(Order("1.2a", "1.2"), 1);
    EXPECT_EQ(Order("1.10", "1.9a"), -1);
    EXPECT_EQ(Order("1.2a", "1.2b"), -1);
    EXPECT_EQ(Order("1.rc1", "1.rc10"), -1);
}

TEST(CompareVersions, BytesCompareUnsigned)
{
    EXPECT_EQ(Order("1.\xE9", "1.z"), 1);
    EXPECT_EQ(Order("1.\x80", "1.\x7F"), 1);
}

TEST(CompareVersions, EmptyVersionIsZero)
{
    EXPECT_EQ(Order("", "0"), 0);
    EXPECT_EQ(Order("", "0.0"), 0);
    EXPECT_EQ(Order("", "1"), -1);
    EXPECT_EQ(Order("", ""), 0);
}

TEST(CompareVersions, EmptyPartIsSmallerThanZero)
{
    EXPECT_EQ(Order("1..2", "1.0.2"), -1);
    EXPECT_EQ(Order(".1", "0.1"), -1);
    EXPECT_EQ(Order(".", ""), -1);
}

TEST(CompareVersions, LeadingSpaceOrMinusMakesAPartText)
{
    EXPECT_EQ(Order("1. 5", "1.0"), -1);   // ' ' < '0'
    EXPECT_EQ(Order("1.-1", "1.0"), -1);   // '-' < '0'
    EXPECT_EQ(Order("1.-1", "1.-2"), -1);  // text, not numbers
    EXPECT_EQ(Order("1. 10", "1. 9"), -1);
    EXPECT_EQ(Order("1.+3", "1.+3"), 0);
}

TEST(CompareVersions, NumbersSaturateAt2147483647)
{
    EXPECT_EQ(Order("2147483648", "99999999999999999999"), 0);
    EXPECT_EQ(Order("1.2147483647", "1.2147483648"), 0);
    EXPECT_EQ(Order("2147483646", "2147483648"), -1);
}

TEST(CompareVersions, IsNotTransitiveWhenNumbersAndTextsMix)
{
    EXPECT_EQ(Order("1a", "9"), -1);
    EXPECT_EQ(Order("9", "10"), -1);
    EXPECT_EQ(Order("10", "1a"), -1);
}

TEST(SortNewestFirst, ListsNewestVersionFirst)
{
    std::vector<FirmwareVersion> list = {Record("1.0.4", "a.bin"), Record("0.9", "b.bin"),
                                         Record("1.0.10", "c.bin")};
    SortNewestFirst(list);
    EXPECT_EQ(Versions(list), (std::vector<std::string>{"1.0.10", "1.0.4", "0.9"}));
}

TEST(SortNewestFirst, RecordsWithoutVersionComeLast)
{
    std::vector<FirmwareVersion> list = {Record("", "a.bin"), Record("0.0", "z.bin"),
                                         Record(".", "y.bin")};
    SortNewestFirst(list);
    EXPECT_EQ(FileNames(list), (std::vector<std::string>{"z.bin", "y.bin", "a.bin"}));
}

TEST(SortNewestFirst, EqualVersionsAreOrderedByFileName)
{
    std::vector<FirmwareVersion> list = {Record("", "c.bin"), Record("1.2", "b.bin"),
                                         Record("", "a.bin"), Record("01.2.0", "a.bin")};
    SortNewestFirst(list);
    EXPECT_EQ(FileNames(list), (std::vector<std::string>{"a.bin", "b.bin", "a.bin", "c.bin"}));
    EXPECT_EQ(list[0].version, "01.2.0");
}

TEST(SortNewestFirst, NonTransitiveVersionsGetOneFixedOrder)
{
    const std::vector<std::string> want = {"1.10", "1.9", "1.1a"};
    std::vector<FirmwareVersion> list = {Record("1.1a", "x"), Record("1.9", "y"),
                                         Record("1.10", "z")};
    std::sort(list.begin(), list.end(),
              [](const FirmwareVersion &a, const FirmwareVersion &b) { return a.fileName < b.fileName; });
    do {
        std::vector<FirmwareVersion> copy = list;
        SortNewestFirst(copy);
        EXPECT_EQ(Versions(copy), want);
    } while (std::next_permutation(
        list.begin(), list.end(),
        [](const FirmwareVersion &a, const FirmwareVersion &b) { return a.fileName < b.fileName; }));
}

TEST(SortNewestFirst, SuffixedPartsRankAfterTheirNumber)
{
    std::vector<FirmwareVersion> list = {Record("1.2", "a"),   Record("1.10a", "b"),
                                         Record("1.1b", "c"),  Record("1.10", "d"),
                                         Record("1.9a", "e"),  Record("1.2a", "f"),
                                         Record("1.rc1", "g"), Record("1.-1", "h")};
    SortNewestFirst(list);
    EXPECT_EQ(Versions(list), (std::vector<std::string>{"1.rc1", "1.10a", "1.10", "1.9a", "1.2a",
                                                        "1.2", "1.1b", "1.-1"}));
}

namespace {

// Parts of every kind: numbers (leading zeros, beyond 32 bits), texts led by
// digits, texts led by other bytes, and empty parts.
const char *const kParts[] = {"0",  "1",   "2",  "9",   "10",  "01",  "010", "2147483648",
                              "99999999999", "1a", "9a", "10a", "1b",  "2a",  "01a", "",
                              " 1", "-1",  "a",  "rc1", "rc10", "\xE9", "0a",  "100"};

std::string RandomVersion(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> count(0, 4);
    std::uniform_int_distribution<size_t> pick(0, std::size(kParts) - 1);
    std::string v;
    int n = count(rng);
    for (int i = 0; i < n; ++i)
        v += (i ? "." : "") + std::string(kParts[pick(rng)]);
    if (n && rng() % 5 == 0)
        v += '.';
    return v;
}

// A version whose parts are all numbers or texts that do not start with a
// digit: CompareVersions is transitive on such versions.
bool IsPlain(const std::string &v)
{
    size_t start = 0;
    while (start <= v.size()) {
        size_t dot = v.find('.', start);
        std::string part = v.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        bool numeric = !part.empty() && part.find_first_not_of("0123456789") == std::string::npos;
        if (!numeric && !part.empty() && part[0] >= '0' && part[0] <= '9')
            return false;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return true;
}

}  // namespace

TEST(SortNewestFirst, HandlesThousandsOfMixedVersions)
{
    std::mt19937 rng(20240517);
    std::vector<FirmwareVersion> list;
    for (int i = 0; i < 5000; ++i)
        list.push_back(Record(RandomVersion(rng), "f" + std::to_string(i) + ".bin"));

    std::vector<FirmwareVersion> sorted = list;
    SortNewestFirst(sorted);

    // A permutation of the input.
    std::vector<std::string> in = FileNames(list), out = FileNames(sorted);
    std::sort(in.begin(), in.end());
    std::sort(out.begin(), out.end());
    EXPECT_EQ(in, out);

    // Versioned records first, and the same result from any input order.
    auto firstEmpty = std::find_if(sorted.begin(), sorted.end(),
                                   [](const FirmwareVersion &fw) { return fw.version.empty(); });
    EXPECT_TRUE(std::all_of(firstEmpty, sorted.end(),
                            [](const FirmwareVersion &fw) { return fw.version.empty(); }));
    std::shuffle(list.begin(), list.end(), rng);
    SortNewestFirst(list);
    EXPECT_EQ(FileNames(list), FileNames(sorted));

    // Where CompareVersions is transitive it decides the order.
    const FirmwareVersion *previous = nullptr;
    int plainPairs = 0;
    for (auto it = sorted.begin(); it != firstEmpty; ++it) {
        if (!IsPlain(it->version))
            continue;
        if (previous) {
            EXPECT_GE(CompareVersions(previous->version, it->version), 0)
                << '"' << previous->version << "\" listed before \"" << it->version << '"';
            ++plainPairs;
        }
        previous = &*it;
    }
    EXPECT_GT(plainPairs, 500);
}
