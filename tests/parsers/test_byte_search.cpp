#include "ByteSearch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(FindPattern, OneToFourBytes)
{
    Bytes buf = {9, 1, 2, 3, 4, 1, 2, 3, 4, 5};
    EXPECT_EQ(FindPattern(buf, Bytes{1}), 1);
    EXPECT_EQ(FindPattern(buf, Bytes{1, 2}), 1);
    EXPECT_EQ(FindPattern(buf, Bytes{3, 4, 5}), 7);
    EXPECT_EQ(FindPattern(buf, Bytes{2, 3, 4, 5}), 6);
    EXPECT_EQ(FindPattern(buf, Bytes{4, 5, 6}), -1); // would run past the end
    EXPECT_EQ(FindPattern(buf, Bytes{5}), 9);
    EXPECT_EQ(FindPattern(buf, Bytes{7}), -1);
}

TEST(FindPattern, RefusesOtherPatternLengthsAndShortBuffers)
{
    Bytes buf = {1, 2, 3, 4, 5};
    EXPECT_EQ(FindPattern(buf, Bytes{}), -1);
    EXPECT_EQ(FindPattern(buf, Bytes{1, 2, 3, 4, 5}), -1);
    EXPECT_EQ(FindPattern(Bytes{1, 2}, Bytes{1, 2, 3}), -1);
    EXPECT_EQ(FindPattern({}, Bytes{1}), -1);
    // The pattern is only looked for inside the span given.
    EXPECT_EQ(FindPattern(std::span(buf).first(3), Bytes{3, 4}), -1);
}

TEST(FindStartCode, FirstOccurrence)
{
    EXPECT_EQ(FindStartCode(Bytes{0, 0, 1}), 0);
    EXPECT_EQ(FindStartCode(Bytes{0, 0, 0, 1, 0x67}), 1);
    EXPECT_EQ(FindStartCode(Bytes{1, 0, 1, 0, 0, 2, 0, 0, 1}), 6);
    EXPECT_EQ(FindStartCode(Bytes{0, 0}), -1);
    EXPECT_EQ(FindStartCode(Bytes{0, 1, 0, 0}), -1);
    EXPECT_EQ(FindStartCode({}), -1);
}

// Against the plain definition on bytes dense in zeros and ones, at every
// length around the 32- and 64-byte steps and several starts, on every
// instruction set.
TEST(FindStartCode, EqualsTheByteByByteSearch)
{
    auto plain = [](std::span<const uint8_t> b) -> ptrdiff_t {
        for (size_t i = 0; i + 2 < b.size(); ++i)
            if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1)
                return static_cast<ptrdiff_t>(i);
        return -1;
    };
    uint32_t seed = 7;
    Bytes buf(200);
    for (int round = 0; round < 400; ++round) {
        for (uint8_t& b : buf) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t r = (seed >> 16) % 64;
            b = r < 40 ? 0 : r < 41 ? 1 : static_cast<uint8_t>(r);
        }
        for (size_t start = 0; start < 5; ++start)
            for (size_t len = 0; start + len <= buf.size(); ++len) {
                const auto span = std::span<const uint8_t>(buf).subspan(start, len);
                const ptrdiff_t expected = plain(span);
                ASSERT_EQ(FindStartCode(span), expected) << round << " " << start << " " << len;
                for (StartCodeIsa isa :
                     {StartCodeIsa::Plain, StartCodeIsa::Sse2, StartCodeIsa::Avx2})
                    ASSERT_EQ(FindStartCodeOn(isa, span), expected)
                        << int(isa) << ": " << round << " " << start << " " << len;
            }
    }
}

Bytes Stream(size_t size, size_t first, size_t stride, int syncs)
{
    Bytes b(first + stride * 5, 0x00);
    for (int i = 0; i < syncs; ++i)
        b[first + i * stride] = 0x47;
    b.resize(first + stride * 4 + 1 > size ? first + stride * 4 + 1 : size);
    return b;
}

TEST(FindTsSync, FourSyncBytesAtThePacketStride)
{
    EXPECT_EQ(FindTsSync(Stream(0, 0, 188, 4), 188), 0);
    EXPECT_EQ(FindTsSync(Stream(0, 100, 188, 4), 188), 100);
    EXPECT_EQ(FindTsSync(Stream(0, 100, 188, 3), 188), -1);
    // Offsets from 3 x size + 5 on are not tried.
    EXPECT_EQ(FindTsSync(Stream(0, 3 * 188 + 4, 188, 4), 188), 3 * 188 + 4);
    EXPECT_EQ(FindTsSync(Stream(0, 3 * 188 + 5, 188, 4), 188), -1);
    // The fourth sync byte must be inside the buffer.
    Bytes cut = Stream(0, 0, 188, 4);
    cut.resize(3 * 188);
    EXPECT_EQ(FindTsSync(cut, 188), -1);
    EXPECT_EQ(FindTsSync({}, 188), -1);
    EXPECT_EQ(FindTsSync(cut, 0), -1);
}

TEST(FindTsSync, TimestampedPacketsPreferTheLaterOffsets)
{
    // Sync bytes at 0 and at 4 (each at a 192 stride): at offset 0, 4 is tried first.
    Bytes b = Stream(0, 0, 192, 4);
    for (int i = 0; i < 4; ++i)
        b[4 + i * 192] = 0x47;
    EXPECT_EQ(FindTsSync(b, 192), 4);
    // With 188-byte packets the plain offset order applies.
    Bytes c = Stream(0, 0, 188, 4);
    for (int i = 0; i < 4; ++i)
        c[4 + i * 188] = 0x47;
    EXPECT_EQ(FindTsSync(c, 188), 0);
    EXPECT_EQ(FindTsSync(Stream(0, 2, 192, 4), 192), 2);
    // The last start offset tried is 3 x 192 + 4 (+4).
    EXPECT_EQ(FindTsSync(Stream(0, 3 * 192 + 8, 192, 4), 192), 3 * 192 + 8);
    EXPECT_EQ(FindTsSync(Stream(0, 3 * 192 + 9, 192, 4), 192), -1);
}

} // namespace
