// The conversion between the program's UTF-8 text and the UTF-16 of the
// Win32 "W" functions (Windows only).
#ifdef _WIN32
#include <gtest/gtest.h>
#include <windows.h>

#include "app/utf16.h"

namespace {

// "Prüf" (a letter of the Windows code page), "Δ" (one outside it) and "😀"
// (outside the Basic Multilingual Plane), in UTF-8 bytes and in UTF-16 units.
const std::string kUtf8 = "Pr\xC3\xBC" "f_\xCE\x94_\xF0\x9F\x98\x80.bin";
const std::wstring kUtf16 = L"Pr\x00FC" L"f_\x0394_\xD83D\xDE00.bin";

TEST(Utf16, Utf8BecomesTheSameCharactersInUtf16)
{
    EXPECT_EQ(WideFromUtf8(kUtf8), kUtf16);
    EXPECT_EQ(WideFromUtf8("Pr\xC3\xBC" "f.bin"), L"Pr\x00FC" L"f.bin");
}

TEST(Utf16, Utf16BecomesTheSameCharactersInUtf8)
{
    EXPECT_EQ(Utf8FromWide(kUtf16), kUtf8);
    EXPECT_EQ(Utf8FromWide(kUtf16.c_str()), kUtf8);
}

TEST(Utf16, AsciiPassesUnchangedBothWays)
{
    const std::string ascii = "C:\\Zelvo\\firmware\\VKT3/VKT3K\\vkt3k_fw_v1_10_3.bin";
    const std::wstring wide = L"C:\\Zelvo\\firmware\\VKT3/VKT3K\\vkt3k_fw_v1_10_3.bin";
    EXPECT_EQ(WideFromUtf8(ascii), wide);
    EXPECT_EQ(Utf8FromWide(wide), ascii);
}

TEST(Utf16, EmptyAndNullGiveEmpty)
{
    EXPECT_EQ(WideFromUtf8(""), L"");
    EXPECT_EQ(Utf8FromWide(std::wstring()), "");
    EXPECT_EQ(Utf8FromWide(static_cast<const wchar_t *>(nullptr)), "");
}

TEST(Utf16, EveryCharacterOfALongTextSurvivesTheRoundTrip)
{
    std::wstring all;
    for (wchar_t c = 1; c < 0xD800; c++)
        all.push_back(c);
    all += L"\xD83D\xDE00\xDBFF\xDFFF";  // the first emoji and the last code point
    EXPECT_EQ(WideFromUtf8(Utf8FromWide(all)), all);
}

TEST(Utf16, TextThatIsNotUtf8IsReadInTheSystemCodePage)
{
    // "Prüf" as the Windows code page writes it: 0xFC alone is no UTF-8.
    const std::wstring wide = WideFromUtf8("Pr\xFC" "f");
    ASSERT_EQ(wide.size(), 4u);
    EXPECT_EQ(wide.substr(0, 2), L"Pr");
    EXPECT_EQ(wide[3], L'f');
    EXPECT_NE(wide[2], L'\xFFFD');
    if (GetACP() == 1252) {
        EXPECT_EQ(wide[2], L'\x00FC');
    }
}

TEST(Utf16, AnUnpairedSurrogateBecomesTheReplacementCharacter)
{
    EXPECT_EQ(Utf8FromWide(std::wstring(L"a\xD800" L"b")), "a\xEF\xBF\xBD" "b");
}

}  // namespace
#endif
