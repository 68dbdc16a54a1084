#include <gtest/gtest.h>

#include "app/notestext.h"

TEST(NotesText, LineFeedsBecomeCarriageReturnLineFeed)
{
    EXPECT_EQ(ToEditLineEnds("one\ntwo\n"), "one\r\ntwo\r\n");
}

TEST(NotesText, CrLfAndLfFilesLookTheSame)
{
    EXPECT_EQ(ToEditLineEnds("a\r\nb\r\n"), ToEditLineEnds("a\nb\n"));
    EXPECT_EQ(ToEditLineEnds("a\r\nb\r\n"), "a\r\nb\r\n");
}

TEST(NotesText, LoneCarriageReturnsAreDroppedSoTheLinesJoin)
{
    EXPECT_EQ(ToEditLineEnds("first\rsecond\rthird"), "firstsecondthird");
}

TEST(NotesText, CarriageReturnsAreDroppedWhereverTheyStand)
{
    EXPECT_EQ(ToEditLineEnds("\r\r\nx\r\r"), "\r\nx");
}

TEST(NotesText, OtherBytesPassUnchanged)
{
    const std::string bytes("\x00\x01\xe9\xff\ttab", 8);
    EXPECT_EQ(ToEditLineEnds(bytes), bytes);
}

TEST(NotesText, EmptyTextStaysEmpty)
{
    EXPECT_EQ(ToEditLineEnds(""), "");
}

TEST(NotesText, TextOfOnlyLineFeedsDoublesInSize)
{
    EXPECT_EQ(ToEditLineEnds(std::string(1000, '\n')).size(), 2000u);
}
