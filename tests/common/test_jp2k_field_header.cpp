// The JPEG 2000 field header: its table byte by byte, the frame-start and
// marker tests, the picture size, and the writer's limits.
#include "ByteLayout.h"
#include "ByteOrder.h"
#include "JP2KFieldHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FramePair(const JP2KFieldFields& f, size_t a, size_t b)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> first(a, 0x21), second(b, 0x42);
    EXPECT_TRUE(AppendJP2KFrame(out, f, first, second));
    return out;
}

TEST(JP2KFieldHeader, FramePairRoundTrip)
{
    JP2KFieldFields f;
    f.frameRate = 30;
    f.fiveSixthsWidth = true;
    f.captureSeconds = 1234;
    f.captureMicros = 567890;
    f.marker = 0xF1;
    f.frameNumber = 0xA1B2C3D4;
    std::vector<uint8_t> bytes = FramePair(f, 50, 60);
    ASSERT_EQ(bytes.size(), 144u * 2 + 110);

    JP2KFieldHeader h1, h2;
    ASSERT_TRUE(ReadJP2KFieldHeader(bytes, h1));
    ASSERT_TRUE(ReadJP2KFieldHeader(std::span(bytes).subspan(144 + 50), h2));
    EXPECT_FALSE(h1.secondField);
    EXPECT_TRUE(h2.secondField);
    EXPECT_EQ(h1.frameRate, 30);
    EXPECT_TRUE(h1.fiveSixthsWidth);
    EXPECT_EQ(h1.codestreamLength, 50u);
    EXPECT_EQ(h2.codestreamLength, 60u);
    EXPECT_EQ(h1.CaptureTimeUs(), 1234567890);
    EXPECT_EQ(h1.marker, 0xF1);
    EXPECT_EQ(h1.frameNumber, 0xA1B2C3D4u);
    EXPECT_EQ(h2.frameNumber, h1.frameNumber);
    // Big-endian on the wire.
    EXPECT_EQ(ReadBE32(&bytes[26]), 50u);
    EXPECT_EQ(bytes[6], 30);
    EXPECT_EQ(bytes[144 + 50 + 6], 0x20 | 30);
    EXPECT_TRUE(IsJP2KFirstFieldStart(bytes));
    EXPECT_FALSE(IsJP2KFirstFieldStart(std::span(bytes).subspan(144 + 50)));
}

TEST(JP2KFieldHeader, LengthAbove307200IsTakenAs307200)
{
    std::vector<uint8_t> bytes = FramePair({}, 0, 0);
    WriteBE32(&bytes[26], 307201);
    JP2KFieldHeader h;
    ASSERT_TRUE(ReadJP2KFieldHeader(bytes, h));
    EXPECT_EQ(h.codestreamLength, 307200u);
    WriteBE32(&bytes[26], 0xFFFFFFFF);
    ASSERT_TRUE(ReadJP2KFieldHeader(bytes, h));
    EXPECT_EQ(h.codestreamLength, 307200u);
}

TEST(JP2KFieldHeader, MarkerTests)
{
    std::vector<uint8_t> bytes = FramePair({}, 0, 0);
    JP2KFieldHeader h;
    EXPECT_FALSE(ReadJP2KFieldHeader(std::span(bytes).first(143), h));
    EXPECT_FALSE(IsJP2KFirstFieldStart(std::span(bytes).first(143)));
    std::vector<uint8_t> other = bytes;
    other[131] = 0xF2; // the splitter's frame-start test ignores the last marker byte
    EXPECT_FALSE(ReadJP2KFieldHeader(other, h));
    EXPECT_TRUE(IsJP2KFirstFieldStart(other));
    other = bytes;
    other[129] = 0xFE;
    EXPECT_FALSE(IsJP2KFirstFieldStart(other));
    EXPECT_FALSE(HasJP2KFieldMarkers(other));
}

TEST(JP2KFieldHeader, PictureSizeFromTheCodestreamStart)
{
    std::vector<uint8_t> bytes(160, 0);
    WriteBE16(&bytes[154], 720);
    WriteBE16(&bytes[158], 288);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadJP2KPictureSize(bytes, w, h));
    EXPECT_EQ(w, 720);
    EXPECT_EQ(h, 288);
    EXPECT_FALSE(ReadJP2KPictureSize(std::span(bytes).first(159), w, h));
}

TEST(JP2KFieldHeader, WriterLimits)
{
    std::vector<uint8_t> out;
    JP2KFieldFields f;
    std::vector<uint8_t> big(307201);
    EXPECT_FALSE(AppendJP2KFrame(out, f, big, {}));
    f.marker = 0xF2;
    EXPECT_FALSE(AppendJP2KFrame(out, f, {}, {}));
    f.marker = 0xF0;
    f.frameRate = 32;
    EXPECT_FALSE(AppendJP2KFrame(out, f, {}, {}));
    EXPECT_TRUE(out.empty());
}

// ---- Fixed vectors: the field header's table, byte by byte ----

struct JP2KHeaderVector {
    const char* name;
    JP2KFieldFields fields;
    bool secondField;
    size_t codestream;
    std::vector<uint8_t> bytes; // the 144 bytes as the table lays them out
    bool firstFieldStart;       // the splitter's frame-start test
};

const JP2KHeaderVector kJP2KHeaderVectors[] = {
    // First field: rate 30 in bits 0-4 of byte 6, the 5/6 flag in byte 8 bit 7,
    // every number from offset 26 on big-endian.
    {"FirstField",
     {.frameRate = 30,
      .fiveSixthsWidth = true,
      .captureSeconds = 1234,
      .captureMicros = 567890,
      .marker = 0xF1,
      .frameNumber = 0xA1B2C3D4},
     false,
     50,
     LaidOut(144, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                   {6, {0x1E, 0x00, 0x80}},
                   {26, {0x00, 0x00, 0x00, 0x32}},
                   {32, {0x00, 0x00, 0x04, 0xD2, 0x00, 0x08, 0xAA, 0x52}},
                   {128, {0xFF, 0xFF, 0xFF, 0xF1, 0xA1, 0xB2, 0xC3, 0xD4}}}),
     true},
    // Second field: byte 6 bit 5; the largest codestream length; marker F0.
    {"SecondField",
     {.frameRate = 25, .captureMicros = 999999, .marker = 0xF0, .frameNumber = 7},
     true,
     307200,
     LaidOut(144, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                   {6, {0x39}},
                   {26, {0x00, 0x04, 0xB0, 0x00}},
                   {36, {0x00, 0x0F, 0x42, 0x3F}},
                   {128, {0xFF, 0xFF, 0xFF, 0xF0, 0x00, 0x00, 0x00, 0x07}}}),
     false},
};

class JP2KHeaderVectors : public ::testing::TestWithParam<JP2KHeaderVector> {};

TEST_P(JP2KHeaderVectors, WriterProducesAndReaderDecodesTheTableLayout)
{
    const JP2KHeaderVector& v = GetParam();
    std::vector<uint8_t> written(144, 0xCC);
    ASSERT_TRUE(WriteJP2KFieldHeader(written, v.fields, v.secondField, v.codestream));
    EXPECT_EQ(written, v.bytes) << ByteDiff(written, v.bytes);

    JP2KFieldHeader h;
    ASSERT_TRUE(ReadJP2KFieldHeader(v.bytes, h));
    EXPECT_EQ(h.secondField, v.secondField);
    EXPECT_EQ(h.frameRate, v.fields.frameRate);
    EXPECT_EQ(h.fiveSixthsWidth, v.fields.fiveSixthsWidth);
    EXPECT_EQ(h.codestreamLength, v.codestream);
    EXPECT_EQ(h.captureSeconds, v.fields.captureSeconds);
    EXPECT_EQ(h.captureMicros, v.fields.captureMicros);
    EXPECT_EQ(h.marker, v.fields.marker);
    EXPECT_EQ(h.frameNumber, v.fields.frameNumber);
    EXPECT_EQ(IsJP2KFirstFieldStart(v.bytes), v.firstFieldStart);
}

INSTANTIATE_TEST_SUITE_P(Table, JP2KHeaderVectors, ::testing::ValuesIn(kJP2KHeaderVectors),
                         CaseName());

} // namespace
