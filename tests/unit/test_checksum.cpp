#include <gtest/gtest.h>

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
