#include <gtest/gtest.h>

#include <vector>

#include "targetlib/checksum.h"

namespace {
const unsigned char *U(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
}

TEST(Fletcher32, SumsBigEndianWordsModulo65536)
{
    EXPECT_EQ(CalcFletcher32(U("abcd"), 2), 0xC4C62628u);
    EXPECT_EQ(CalcFletcher32(U("abcd"), 0), 0u);
    EXPECT_EQ(CalcFletcher32(U("abcd"), -1), 0u);
    // 0xFFFF + 0x0001 wraps to 0 in the plain sum (modulo 65536, not 65535).
    const unsigned char w[] = {0xFF, 0xFF, 0x00, 0x01};
    EXPECT_EQ(CalcFletcher32(w, 2), (0x0000u << 16) | 0xFFFFu);
}

TEST(Fletcher16, MatchesTheFrameChecksumBytes)
{
    const unsigned char frame[] = {0x04, 0x01, 0x02};
    EXPECT_EQ(CalcFletcher16(frame, 3), 0x0710);
    EXPECT_EQ(CalcFletcher16(U("abc"), 3), 0x264A);
    EXPECT_EQ(CalcFletcher16(U("abc"), 0), 0);
}

TEST(BigEndianReaders, ReadAndAdvanceTheCursor)
{
    const unsigned char b[] = {0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD};
    const unsigned char *p = b;
    EXPECT_EQ(ReadULong(&p), 0x12345678u);
    EXPECT_EQ(ReadUShort(&p), 0xABCD);
    EXPECT_EQ(p, b + 6);
}

namespace {

// The sums exactly as defined: each word added in turn, both sums cut to 16
// bits at every step.
uint32_t Fletcher32Reference(const std::vector<unsigned char> &bytes, int words)
{
    uint32_t s1 = 0, s2 = 0;
    for (size_t i = 0; i < size_t(words); i++) {
        s1 = (s1 + ((uint32_t(bytes[2 * i]) << 8) | bytes[2 * i + 1])) % 65536;
        s2 = (s2 + s1) % 65536;
    }
    return (s1 << 16) | s2;
}

}  // namespace

TEST(Fletcher32, AgreesWithTheWordByWordDefinitionForEveryLengthAndLongData)
{
    std::vector<unsigned char> bytes(size_t(1) << 20);
    uint32_t x = 12345;
    for (unsigned char &b : bytes) {
        x = x * 1103515245u + 12345u;
        b = (unsigned char)(x >> 23);
    }
    for (int words = 0; words < 64; words++)
        EXPECT_EQ(CalcFletcher32(bytes.data(), words), Fletcher32Reference(bytes, words)) << words;
    const int all = int(bytes.size() / 2);  // both sums wrap many times
    EXPECT_EQ(CalcFletcher32(bytes.data(), all), Fletcher32Reference(bytes, all));
    EXPECT_EQ(CalcFletcher32(bytes.data(), all - 3), Fletcher32Reference(bytes, all - 3));
}
