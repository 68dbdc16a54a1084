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

TEST(SortNewestFirst, TextPartsMeetingNumbersFollowCompareVersions)
{
    // 9a against 10 compares as text, so 1.0.9a is the newer of the two.
    ASSERT_GT(CompareVersions("1.0.9a", "1.0.10"), 0);
    std::vector<FirmwareVersion> list = {Record("1.0.10", "a.bin"), Record("1.0.9a", "b.bin")};
    SortNewestFirst(list);
    EXPECT_EQ(Versions(list), (std::vector<std::string>{"1.0.9a", "1.0.10"}));
}

TEST(SortNewestFirst, SuffixedAndTextPartsFollowCompareVersions)
{
    std::vector<FirmwareVersion> list = {Record("1.2", "a"),  Record("1.3.1", "b"), Record("1.2b", "c"),
                                         Record("1.-1", "d"), Record("1.rc1", "e"), Record("1.3", "f"),
                                         Record("1.2a", "g")};
    SortNewestFirst(list);
    EXPECT_EQ(Versions(list),
              (std::vector<std::string>{"1.rc1", "1.3.1", "1.3", "1.2b", "1.2a", "1.2", "1.-1"}));
}

TEST(SortNewestFirst, NonTransitiveVersionsGetOneFixedOrder)
{
    // 1.10 > 1.9 (numbers), 1.9 > 1.1a and 1.1a > 1.10 (texts): no order fits.
    std::vector<FirmwareVersion> list = {Record("1.1a", "x"), Record("1.9", "y"), Record("1.10", "z")};
    std::vector<FirmwareVersion> first = list;
    SortNewestFirst(first);
    std::vector<std::string> names = FileNames(first);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y", "z"}));
    auto byName = [](const FirmwareVersion &a, const FirmwareVersion &b) { return a.fileName < b.fileName; };
    std::sort(list.begin(), list.end(), byName);
    do {
        std::vector<FirmwareVersion> copy = list;
        SortNewestFirst(copy);
        EXPECT_EQ(FileNames(copy), FileNames(first));
    } while (std::next_permutation(list.begin(), list.end(), byName));
}

namespace {

// Parts of every kind: numbers (leading zeros, beyond 32 bits), texts led by
// digits, texts led by other bytes, and empty parts.
const char *const kParts[] = {"0",  "1",   "2",  "9",   "10",  "01",  "010", "2147483648",
                              "99999999999", "1a", "9a", "10a", "1b",  "2a",  "01a", "",
                              " 1", "-1",  "a",  "rc1", "rc10", "\xE9", "0a",  "100"};
// Only numbers and texts that do not start with a digit: CompareVersions is
// a consistent order on any set of versions made of these.
const char *const kPlainParts[] = {"0", "1", "2", "9", "10", "01", "010", "2147483648", "99999999999",
                                   "100", "", " 1", "-1", "a", "rc1", "rc10", "\xE9", "beta"};

template <size_t N>
std::string RandomVersion(std::mt19937 &rng, const char *const (&parts)[N])
{
    std::uniform_int_distribution<int> count(0, 4);
    std::uniform_int_distribution<size_t> pick(0, N - 1);
    std::string v;
    int n = count(rng);
    for (int i = 0; i < n; ++i)
        v += (i ? "." : "") + std::string(parts[pick(rng)]);
    if (n && rng() % 5 == 0)
        v += '.';
    return v;
}

std::vector<FirmwareVersion> RandomList(std::mt19937 &rng, size_t count, bool plain)
{
    std::vector<FirmwareVersion> list;
    for (size_t i = 0; i < count; ++i) {
        std::string v = plain ? RandomVersion(rng, kPlainParts) : RandomVersion(rng, kParts);
        list.push_back(Record(v, "f" + std::to_string(i) + ".bin"));
    }
    return list;
}

// True when CompareVersions orders the list's versions consistently: "at
// least as new" is transitive on them.
bool ConsistentOn(const std::vector<FirmwareVersion> &list)
{
    for (const FirmwareVersion &a : list)
        for (const FirmwareVersion &b : list)
            for (const FirmwareVersion &c : list)
                if (CompareVersions(a.version, b.version) >= 0 && CompareVersions(b.version, c.version) >= 0 &&
                    CompareVersions(a.version, c.version) < 0)
                    return false;
    return true;
}

// `sorted` is a permutation of `list` with the versioned records first.
void ExpectPermutationVersionedFirst(const std::vector<FirmwareVersion> &list,
                                     const std::vector<FirmwareVersion> &sorted)
{
    std::vector<std::string> in = FileNames(list), out = FileNames(sorted);
    std::sort(in.begin(), in.end());
    std::sort(out.begin(), out.end());
    EXPECT_EQ(in, out);
    auto firstEmpty = std::find_if(sorted.begin(), sorted.end(),
                                   [](const FirmwareVersion &fw) { return fw.version.empty(); });
    EXPECT_TRUE(std::all_of(firstEmpty, sorted.end(),
                            [](const FirmwareVersion &fw) { return fw.version.empty(); }));
}

// Every versioned record is at least as new as each one listed after it.
void ExpectNewestFirst(const std::vector<FirmwareVersion> &sorted)
{
    for (size_t i = 0; i < sorted.size(); ++i)
        for (size_t j = i + 1; j < sorted.size() && !sorted[j].version.empty(); ++j)
            EXPECT_GE(CompareVersions(sorted[i].version, sorted[j].version), 0)
                << '"' << sorted[i].version << "\" listed before \"" << sorted[j].version << '"';
}

}  // namespace

TEST(SortNewestFirst, RandomConsistentSetsComeOutSortedByCompareVersions)
{
    std::mt19937 rng(7001);
    for (int round = 0; round < 200; ++round) {
        const std::vector<FirmwareVersion> list = RandomList(rng, 1 + rng() % 30, true);
        ASSERT_TRUE(ConsistentOn(list)) << "round " << round;
        std::vector<FirmwareVersion> sorted = list;
        SortNewestFirst(sorted);
        ExpectPermutationVersionedFirst(list, sorted);
        ExpectNewestFirst(sorted);
    }
}

TEST(SortNewestFirst, MixedSetsAreSortedByCompareVersionsWhereverItIsConsistent)
{
    std::mt19937 rng(7002);
    int consistent = 0, inconsistent = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::vector<FirmwareVersion> list = RandomList(rng, 2 + rng() % 7, false);
        std::vector<FirmwareVersion> sorted = list;
        SortNewestFirst(sorted);
        ExpectPermutationVersionedFirst(list, sorted);
        if (ConsistentOn(list)) {
            ++consistent;
            ExpectNewestFirst(sorted);
        } else {
            ++inconsistent;
        }
    }
    // Both kinds of set were met often.
    EXPECT_GT(consistent, 300);
    EXPECT_GT(inconsistent, 100);
}

TEST(SortNewestFirst, HandlesThousandsOfMixedVersions)
{
    std::mt19937 rng(20240517);
    std::vector<FirmwareVersion> list = RandomList(rng, 5000, false);

    std::vector<FirmwareVersion> sorted = list;
    SortNewestFirst(sorted);
    ExpectPermutationVersionedFirst(list, sorted);

    // The same result from any input order.
    std::shuffle(list.begin(), list.end(), rng);
    SortNewestFirst(list);
    EXPECT_EQ(FileNames(list), FileNames(sorted));
}
