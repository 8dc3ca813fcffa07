// GUID layout, comparison, and the registry text form in both directions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "objbase.h"

namespace {

DEFINE_GUID(kSplitterIid, 0x8D7CA2C8, 0x939F, 0x4402, 0xA2, 0x66, 0x3C, 0x9D, 0xE2, 0x77, 0xE1,
            0x18);
const char kSplitterText[] = "{8D7CA2C8-939F-4402-A266-3C9DE277E118}";

TEST(Guid, KeepsTheWindowsLayoutAndComparesByValue)
{
    static_assert(sizeof(GUID) == 16);
    static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
                  offsetof(GUID, Data4) == 8);
    // The in-memory bytes are little-endian Data1..Data3 then Data4 as is.
    const uint8_t expected[16] = {0xC8, 0xA2, 0x7C, 0x8D, 0x9F, 0x93, 0x02, 0x44,
                                  0xA2, 0x66, 0x3C, 0x9D, 0xE2, 0x77, 0xE1, 0x18};
    EXPECT_EQ(0, std::memcmp(&kSplitterIid, expected, 16));

    GUID copy = kSplitterIid;
    EXPECT_TRUE(copy == kSplitterIid);
    EXPECT_TRUE(IsEqualIID(copy, kSplitterIid));
    for (int byte = 0; byte < 16; ++byte) {
        GUID changed = kSplitterIid;
        reinterpret_cast<uint8_t*>(&changed)[byte] ^= 0x01;
        EXPECT_TRUE(changed != kSplitterIid) << "byte " << byte;
        EXPECT_FALSE(IsEqualCLSID(changed, kSplitterIid)) << "byte " << byte;
    }
    EXPECT_TRUE(GUID_NULL == GUID{});
    EXPECT_TRUE(IID_IUnknown != IID_IClassFactory);
    EXPECT_EQ("{00000000-0000-0000-C000-000000000046}", TvGuidToString(IID_IUnknown));
    EXPECT_EQ("{00000001-0000-0000-C000-000000000046}", TvGuidToString(IID_IClassFactory));
}

TEST(Guid, NarrowTextRoundTripsInUpperCase)
{
    EXPECT_EQ(kSplitterText, TvGuidToString(kSplitterIid));
    char buffer[39];
    std::memset(buffer, 'x', sizeof(buffer));
    ASSERT_TRUE(TvGuidToString(kSplitterIid, buffer));
    EXPECT_STREQ(kSplitterText, buffer);

    GUID parsed;
    ASSERT_TRUE(TvGuidFromString(kSplitterText, &parsed));
    EXPECT_TRUE(parsed == kSplitterIid);
    ASSERT_TRUE(TvGuidFromString("{8d7ca2c8-939f-4402-a266-3c9de277e118}", &parsed));
    EXPECT_TRUE(parsed == kSplitterIid);
    ASSERT_TRUE(TvGuidFromString("{8d7Ca2C8-939F-4402-a266-3C9de277E118}", &parsed));
    EXPECT_TRUE(parsed == kSplitterIid);

    // Every value survives the trip, including all-ones and all-zero digits.
    GUID ones;
    std::memset(&ones, 0xFF, sizeof(ones));
    EXPECT_EQ("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}", TvGuidToString(ones));
    ASSERT_TRUE(TvGuidFromString(TvGuidToString(ones).c_str(), &parsed));
    EXPECT_TRUE(parsed == ones);
    EXPECT_EQ("{00000000-0000-0000-0000-000000000000}", TvGuidToString(GUID_NULL));
}

TEST(Guid, ParsingRejectsEverythingButTheExactForm)
{
    const char* const bad[] = {
        "",
        "8D7CA2C8-939F-4402-A266-3C9DE277E118",    // no braces
        "{8D7CA2C8-939F-4402-A266-3C9DE277E118",   // no closing brace
        "8D7CA2C8-939F-4402-A266-3C9DE277E118}",   // no opening brace
        "(8D7CA2C8-939F-4402-A266-3C9DE277E118)",  // other brackets
        "{8D7CA2C-8939F-4402-A266-3C9DE277E118}",  // groups 7/5
        "{8D7CA2C8-939F4-402-A266-3C9DE277E118}",  // groups 5/3
        "{8D7CA2C8-939F-4402-A2663-C9DE277E118}",  // groups 5/11
        "{8D7CA2C8-939F-4402-A266-3C9DE277E11}",   // last group short
        "{8D7CA2C8-939F-4402-A266-3C9DE277E1188}", // last group long
        "{8D7CA2C8939F-4402-A266-3C9DE277E1188}",  // dash missing
        "{8D7CA2C8-939F-4402-A266-3C9DE277E11G}",  // non-hex
        "{8D7CA2C8-939F-4402-A266-3C9DE277E1 8}",  // space
        "{+D7CA2C8-939F-4402-A266-3C9DE277E118}",  // sign
        "{8D7CA2C8-939F-4402-A266-3C9DE277E118} ", // trailing junk
        "{8D7CA2C8-939F-4402-A266-3C9DE277E118}x",
        " {8D7CA2C8-939F-4402-A266-3C9DE277E118}", // leading junk
        "{0x7CA2C8-939F-4402-A266-3C9DE277E118}",
        "{8D7CA2C8-939F-4402-A266-3C9DE277E11\xC3\xA9}",
    };
    for (const char* text : bad) {
        GUID parsed = kSplitterIid;
        EXPECT_FALSE(TvGuidFromString(text, &parsed)) << text;
        EXPECT_TRUE(parsed == GUID_NULL) << text;
    }
    GUID parsed;
    EXPECT_FALSE(TvGuidFromString(nullptr, &parsed));
    EXPECT_FALSE(TvGuidFromString(kSplitterText, nullptr));
    EXPECT_FALSE(TvGuidToString(kSplitterIid, nullptr));
}

TEST(Guid, WideFormsFollowTheWindowsCalls)
{
    OLECHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(kSplitterIid, text, 39));
    EXPECT_EQ(std::wstring(L"{8D7CA2C8-939F-4402-A266-3C9DE277E118}"), text);
    OLECHAR big[64];
    EXPECT_EQ(39, StringFromGUID2(kSplitterIid, big, 64));
    EXPECT_EQ(std::wstring(text), big);
    // Too small for the NUL: nothing is written.
    OLECHAR small[39];
    small[0] = L'?';
    EXPECT_EQ(0, StringFromGUID2(kSplitterIid, small, 38));
    EXPECT_EQ(L'?', small[0]);
    EXPECT_EQ(0, StringFromGUID2(kSplitterIid, nullptr, 39));

    CLSID clsid;
    EXPECT_EQ(S_OK, CLSIDFromString(L"{8d7ca2c8-939f-4402-a266-3c9de277e118}", &clsid));
    EXPECT_TRUE(clsid == kSplitterIid);
    IID iid;
    EXPECT_EQ(S_OK, IIDFromString(text, &iid));
    EXPECT_TRUE(iid == kSplitterIid);

    clsid = kSplitterIid;
    EXPECT_EQ(CO_E_CLASSSTRING,
              CLSIDFromString(L"{8D7CA2C8-939F-4402-A266-3C9DE277E118}}", &clsid));
    EXPECT_TRUE(clsid == GUID_NULL);
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1", &clsid));
    iid = kSplitterIid;
    EXPECT_EQ(CO_E_CLASSSTRING,
              IIDFromString(L"{8D7CA2C8-939F-4402-A266-3C9DE277E1\u0661\u0668}", &iid));
    EXPECT_TRUE(iid == GUID_NULL);
    // A wide character whose low byte is a hex digit is still not one.
    EXPECT_EQ(CO_E_CLASSSTRING,
              IIDFromString(L"{8D7CA2C8-939F-4402-A266-3C9DE277E1\u0131\u0138}", &iid));

    // Null text is GUID_NULL, as on Windows; a null out is refused.
    clsid = kSplitterIid;
    EXPECT_EQ(S_OK, CLSIDFromString(nullptr, &clsid));
    EXPECT_TRUE(clsid == GUID_NULL);
    EXPECT_EQ(E_INVALIDARG, CLSIDFromString(text, nullptr));

    LPOLESTR allocated = nullptr;
    ASSERT_EQ(S_OK, StringFromCLSID(kSplitterIid, &allocated));
    EXPECT_EQ(std::wstring(text), allocated);
    CoTaskMemFree(allocated);
    ASSERT_EQ(S_OK, StringFromIID(IID_IUnknown, &allocated));
    EXPECT_EQ(std::wstring(L"{00000000-0000-0000-C000-000000000046}"), allocated);
    CoTaskMemFree(allocated);
    EXPECT_EQ(E_POINTER, StringFromIID(IID_IUnknown, nullptr));
}

} // namespace
