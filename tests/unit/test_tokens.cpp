#include <gtest/gtest.h>

#include "catalogue/firmware.h"

TEST(GetInfoToken, ValueIsTheRestOfTheLineVerbatim)
{
    EXPECT_EQ(GetInfoToken("VN: 1.2\n", "VN:"), " 1.2");
    EXPECT_EQ(GetInfoToken("TS:2024-01-02 10:11:12 \n", "TS:"), "2024-01-02 10:11:12 ");
    EXPECT_EQ(GetInfoToken("MD:\"VKT-3\"\n", "MD:"), "\"VKT-3\"");
}

TEST(GetInfoToken, MissingKeyGivesEmptyText)
{
    EXPECT_EQ(GetInfoToken("VN:1.0\nMD:VKT-3\n", "HW:"), "");
    EXPECT_EQ(GetInfoToken("", "VN:"), "");
    EXPECT_EQ(GetInfoToken("VN", "VN:"), "");
}

TEST(GetInfoToken, CrLfAndLfLineEndsGiveTheSameValues)
{
    const std::string lf = "VN:1.0.4\nMD:VKT-3\nHW:VKT3K\n";
    const std::string crlf = "VN:1.0.4\r\nMD:VKT-3\r\nHW:VKT3K\r\n";
    for (const char *key : {"VN:", "MD:", "HW:"})
        EXPECT_EQ(GetInfoToken(crlf, key), GetInfoToken(lf, key)) << key;
    EXPECT_EQ(GetInfoToken(crlf, "MD:"), "VKT-3");
}

TEST(GetInfoToken, OnlyOneCrBeforeTheLineEndIsDropped)
{
    EXPECT_EQ(GetInfoToken("VN:1\r\r\n", "VN:"), "1\r");
    EXPECT_EQ(GetInfoToken("VN:1\r", "VN:"), "1");
    EXPECT_EQ(GetInfoToken("HW:VKT3K", "HW:"), "VKT3K");
}

TEST(GetInfoToken, CrInsideTheLineStaysInTheValue)
{
    EXPECT_EQ(GetInfoToken("MD:VKT\r-3\nHW:x\n", "MD:"), "VKT\r-3");
}

TEST(GetInfoToken, FirstMatchingLineWins)
{
    EXPECT_EQ(GetInfoToken("VN:1.0\nVN:2.0\n", "VN:"), "1.0");
}

TEST(GetInfoToken, KeyMustStandAtTheStartOfALine)
{
    EXPECT_EQ(GetInfoToken("XVN:1.0\n VN:2.0\nMD:VN:3\n", "VN:"), "");
    EXPECT_EQ(GetInfoToken("XVN:1.0\nVN:4.0\n", "VN:"), "4.0");
}

TEST(GetInfoToken, KeyIsCaseSensitive)
{
    EXPECT_EQ(GetInfoToken("vn:1.0\n", "VN:"), "");
}

TEST(GetInfoToken, ValueMayHoldColons)
{
    EXPECT_EQ(GetInfoToken("TS:10:11:12\n", "TS:"), "10:11:12");
}

TEST(GetInfoToken, EmptyKeyReturnsTheFirstLineWhole)
{
    EXPECT_EQ(GetInfoToken("first line\r\nsecond\n", ""), "first line");
    EXPECT_EQ(GetInfoToken("\nsecond\n", ""), "");
}

TEST(GetInfoToken, FinalLfEndsTheLastLine)
{
    EXPECT_EQ(GetInfoToken("MD:VKT-3\nHW:VKT3K\n", "HW:"), "VKT3K");
    EXPECT_EQ(GetInfoToken("MD:VKT-3\nHW:VKT3K\n", "TS:"), "");
    EXPECT_EQ(GetInfoToken("\n", ""), "");
}

TEST(GetInfoToken, TextAfterTheLastLfIsALine)
{
    EXPECT_EQ(GetInfoToken("VN:1.0\nHW:VKTQ1", "HW:"), "VKTQ1");
}

TEST(GetInfoToken, LineExactlyTheKeyGivesEmptyValue)
{
    EXPECT_EQ(GetInfoToken("HW:\nHW:late\n", "HW:"), "");
}

TEST(GetImageBaud, FirstCharacterOfTheValueDecides)
{
    EXPECT_EQ(GetImageBaud("BR:460800\n"), 460800u);
    EXPECT_EQ(GetImageBaud("BR:4\n"), 460800u);
    EXPECT_EQ(GetImageBaud("BR:921600\n"), 921600u);
    EXPECT_EQ(GetImageBaud("BR:230400\n"), 230400u);
    EXPECT_EQ(GetImageBaud("BR:2\n"), 230400u);
    EXPECT_EQ(GetImageBaud("BR:2999\n"), 230400u);
    EXPECT_EQ(GetImageBaud("BR:2x\n"), 230400u);
    EXPECT_EQ(GetImageBaud("BR:115200\n"), 115200u);
    EXPECT_EQ(GetImageBaud("BR:57600\n"), 115200u);
}

TEST(GetImageBaud, AnythingElseGives115200)
{
    EXPECT_EQ(GetImageBaud("BR: 460800\n"), 115200u);
    EXPECT_EQ(GetImageBaud("BR:\n"), 115200u);
    EXPECT_EQ(GetImageBaud("VN:1.0\nMD:VKT-3\n"), 115200u);
    EXPECT_EQ(GetImageBaud(""), 115200u);
    EXPECT_EQ(GetImageBaud("br:460800\n"), 115200u);
}

TEST(GetImageBaud, ReadsTheFirstBrLineWithCrLfEnds)
{
    EXPECT_EQ(GetImageBaud("VN:1.0\r\nBR:921600\r\nBR:460800\r\n"), 921600u);
}
