#include <gtest/gtest.h>

#include "win32/text.h"

TEST(TextConversion, RoundTripsEveryEncodedLength)
{
    // One, two, three and four byte UTF-8 forms: 'A', 'é', '监', U+1F4F7.
    const std::wstring wide = {L'A', static_cast<wchar_t>(0xE9), static_cast<wchar_t>(0x76D1),
                               static_cast<wchar_t>(0x1F4F7)};
    const std::string utf8 = TvWideToUtf8(wide.c_str());
    EXPECT_EQ(utf8, "A\xC3\xA9\xE7\x9B\x91\xF0\x9F\x93\xB7");
    EXPECT_EQ(TvUtf8ToWide(utf8.c_str()), wide);
}

TEST(TextConversion, NullGivesEmptyText)
{
    EXPECT_EQ(TvWideToUtf8(nullptr), "");
    EXPECT_EQ(TvUtf8ToWide(nullptr), L"");
}

TEST(TextConversion, MalformedInputBecomesReplacementCharacters)
{
    const wchar_t kBad = static_cast<wchar_t>(0xFFFD);
    // A lone continuation byte, a truncated three-byte form at the end, an
    // overlong '/', an encoded surrogate and a value past U+10FFFF.
    EXPECT_EQ(TvUtf8ToWide("\x80x"), (std::wstring{kBad, L'x'}));
    EXPECT_EQ(TvUtf8ToWide("a\xE7\x9B"), (std::wstring{L'a', kBad}));
    EXPECT_EQ(TvUtf8ToWide("\xC0\xAF"), std::wstring(1, kBad));
    EXPECT_EQ(TvUtf8ToWide("\xED\xA0\x80"), std::wstring(1, kBad));
    EXPECT_EQ(TvUtf8ToWide("\xF4\x90\x80\x80"), std::wstring(1, kBad));
    // Wide values that are no code point are replaced on the way out too.
    const wchar_t surrogate[] = {static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(TvWideToUtf8(surrogate), "\xEF\xBF\xBD");
}

TEST(CodePages, DecodingReplacesWhatStartsNoCharacter)
{
    struct Case {
        const char* name;
        std::string bytes;
        UINT codePage;
        std::string utf8;
    } cases[] = {
        {"gbk",
         "\xC9\xE3\xCF\xF1\xBB\xFA"
         "1",
         936, "摄像机1"},
        {"lone lead byte at the end", "a\xC9", 936, "a\xEF\xBF\xBD"},
        {"byte outside the code page",
         "\xFF"
         "b",
         936,
         "\xEF\xBF\xBD"
         "b"},
        {"utf-8 passes", "通", CP_UTF8, "通"},
        {"unknown code page reads as utf-8", "x\xC3", 12345, "x\xEF\xBF\xBD"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TvCodePageToUtf8(c.bytes.data(), c.bytes.size(), c.codePage), c.utf8) << c.name;
}

TEST(CodePages, EncodingCutsOnWholeCharacters)
{
    struct Case {
        const char* name;
        std::string utf8;
        UINT codePage;
        size_t maxBytes;
        std::string bytes;
    } cases[] = {
        {"fits", "摄像机1", 936, 7,
         "\xC9\xE3\xCF\xF1\xBB\xFA"
         "1"},
        {"cut before a two-byte character", "a摄像", 936, 4, "a\xC9\xE3"},
        {"missing character becomes ?", "\xF0\x9F\x98\x80!", 936, 10, "?!"},
        {"utf-8 cut before a continuation", "a通", CP_UTF8, 3, "a"},
    };
    for (const Case& c : cases) {
        std::string out = "stale";
        EXPECT_TRUE(TvUtf8ToCodePage(c.utf8, c.codePage, c.maxBytes, out)) << c.name;
        EXPECT_EQ(out, c.bytes) << c.name;
    }
    std::string out = "stale";
    EXPECT_FALSE(TvUtf8ToCodePage("x", 12345, 10, out));
    EXPECT_EQ(out, "");
}
