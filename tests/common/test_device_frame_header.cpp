// The device frame header: both layouts byte by byte as their tables lay them
// out, what the reader takes from them, the geometry that follows, and the
// writer's limits.
#include "ByteLayout.h"
#include "ByteOrder.h"
#include "DeviceFrameHeader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Frame(const DeviceFrameFields& f, size_t payload)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> body(payload, 0xAB);
    EXPECT_TRUE(AppendDeviceFrame(out, f, body));
    return out;
}

TEST(DeviceFrameHeader, FortyByteLayoutRoundTrip)
{
    DeviceFrameFields f;
    f.frameRate = 30;
    f.resolutionCode = 4;
    f.width = 704;
    f.height = 576;
    f.captureTimeUs = 0x0123456789ABLL;
    std::vector<uint8_t> bytes = Frame(f, 100);
    ASSERT_EQ(bytes.size(), 140u);
    EXPECT_EQ(0, memcmp(bytes.data(), ">>>>", 4));
    EXPECT_EQ(bytes[5] >> 4, 1);
    EXPECT_EQ(ReadLE16(&bytes[14]), 140);

    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
    EXPECT_EQ(h.layout, DeviceHeaderLayout::Header40);
    EXPECT_EQ(h.HeaderSize(), 40u);
    EXPECT_FALSE(h.voice);
    EXPECT_EQ(h.frameRate, 30);
    EXPECT_EQ(h.resolutionCode, 4);
    EXPECT_EQ(h.width, 704);
    EXPECT_EQ(h.heightField, 576);
    EXPECT_EQ(h.totalLength, 140);
    EXPECT_EQ(h.PayloadLength(), 100);
    EXPECT_EQ(h.captureTimeUs, 0x0123456789ABLL);
}

TEST(DeviceFrameHeader, ThirtySixByteLayoutRoundTrip)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    f.frameRate = 100; // 7 bits in this layout
    f.progressive = true;
    f.width = 352;
    f.height = 288;
    f.captureSeconds = 1700000000;
    f.captureMicros = 999999;
    std::vector<uint8_t> bytes = Frame(f, 10);
    ASSERT_EQ(bytes.size(), 46u);
    EXPECT_EQ(static_cast<int32_t>(ReadLE32(&bytes[20])), 46);

    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
    EXPECT_EQ(h.layout, DeviceHeaderLayout::Header36);
    EXPECT_EQ(h.frameRate, 100);
    EXPECT_TRUE(h.progressive);
    EXPECT_EQ(h.totalLength, 46);
    EXPECT_EQ(h.captureSeconds, 1700000000u);
    EXPECT_EQ(h.captureMicros, 999999u);
    EXPECT_EQ(h.frameType, 0);
}

TEST(DeviceFrameHeader, FrameTypeSharesByte13InThe36ByteLayout)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    f.height = 0x120;
    f.frameType = 3;
    std::vector<uint8_t> bytes = Frame(f, 0);
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
    EXPECT_EQ(h.frameType, 3);
    EXPECT_EQ(bytes[13], 0x31);
}

TEST(DeviceFrameHeader, VoiceFlagInEachLayout)
{
    std::vector<uint8_t> voice = {1, 2, 3, 4};
    std::vector<uint8_t> s40, s36;
    DeviceFrameFields f;
    ASSERT_TRUE(AppendVoiceFrame(s40, f, voice));
    f.layout = DeviceHeaderLayout::Header36;
    ASSERT_TRUE(AppendVoiceFrame(s36, f, voice));
    EXPECT_EQ(s40[5], 0x18);
    EXPECT_EQ(s36[4], 0x01);
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(s40, h));
    EXPECT_TRUE(h.voice);
    ASSERT_TRUE(ReadDeviceFrameHeader(s36, h));
    EXPECT_TRUE(h.voice);
    EXPECT_EQ(h.PayloadLength(), 4);
}

TEST(DeviceFrameHeader, RateZeroMeans25)
{
    DeviceFrameFields f;
    f.frameRate = 0;
    std::vector<uint8_t> bytes = Frame(f, 0);
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
    EXPECT_EQ(h.frameRate, 25);
}

TEST(DeviceFrameHeader, RejectsShortForeignAndUnknownHeaders)
{
    DeviceFrameFields f;
    std::vector<uint8_t> bytes = Frame(f, 0);
    DeviceFrameHeader h;
    EXPECT_FALSE(ReadDeviceFrameHeader(std::span(bytes).first(39), h));
    EXPECT_FALSE(ReadDeviceFrameHeader({}, h));
    std::vector<uint8_t> unknown = bytes;
    unknown[5] = 0x30;
    EXPECT_FALSE(ReadDeviceFrameHeader(unknown, h));
    std::vector<uint8_t> noMagic = bytes;
    noMagic[3] = '<';
    EXPECT_FALSE(ReadDeviceFrameHeader(noMagic, h));
    // A 36-byte header needs only 36 bytes.
    f.layout = DeviceHeaderLayout::Header36;
    std::vector<uint8_t> b36 = Frame(f, 0);
    EXPECT_TRUE(ReadDeviceFrameHeader(b36, h));
    EXPECT_FALSE(ReadDeviceFrameHeader(std::span(b36).first(35), h));
}

TEST(DeviceFrameHeader, NegativeTotalLengthIsReadAsSigned)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    std::vector<uint8_t> bytes = Frame(f, 0);
    WriteLE32(&bytes[20], 0xFFFFFFF0u);
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
    EXPECT_EQ(h.totalLength, -16);
    EXPECT_LT(h.PayloadLength(), 0);
}

TEST(DeviceFrameHeader, WriterRefusesWhatTheLayoutCannotHold)
{
    std::vector<uint8_t> out;
    DeviceFrameFields f;
    std::vector<uint8_t> big(0xFFFF - 40 + 1);
    EXPECT_FALSE(AppendDeviceFrame(out, f, big));
    EXPECT_TRUE(out.empty());
    big.pop_back();
    EXPECT_TRUE(AppendDeviceFrame(out, f, big));
    EXPECT_EQ(ReadLE16(&out[14]), 0xFFFF);

    f.frameRate = 32;
    EXPECT_FALSE(AppendDeviceFrame(out, f, {}));
    f.frameRate = 25;
    f.resolutionCode = 8;
    EXPECT_FALSE(AppendDeviceFrame(out, f, {}));

    DeviceFrameFields g;
    g.layout = DeviceHeaderLayout::Header36;
    g.height = 0x4000;
    EXPECT_FALSE(AppendDeviceFrame(out, g, {}));
    g.height = 10;
    g.pictureMode = 4;
    EXPECT_FALSE(AppendDeviceFrame(out, g, {}));
    uint8_t small[35];
    EXPECT_FALSE(WriteDeviceFrameHeader(small, g, 0));
}

struct GeometryCase {
    int code;
    int width, height, interlaced, mode;
};

TEST(DeviceGeometry, ResolutionCodesOfThe40ByteLayout)
{
    const GeometryCase cases[] = {
        {0, 704, 576, 1, 0}, {1, 704, 576, 1, 0}, {2, 704, 576, 1, 0},   {3, 704, 576, 0, 0},
        {4, 704, 576, 0, 0}, {5, 704, 576, 0, 0}, {6, 1600, 1080, 0, 3}, {7, 1600, 1200, 0, 7},
    };
    for (const GeometryCase& c : cases) {
        DeviceFrameFields f;
        f.resolutionCode = c.code;
        f.width = 704;
        f.height = 576;
        f.frameRate = 0;
        std::vector<uint8_t> bytes = Frame(f, 0);
        DeviceFrameHeader h;
        ASSERT_TRUE(ReadDeviceFrameHeader(bytes, h));
        DeviceGeometry g = DeviceHeaderGeometry(h);
        EXPECT_EQ(g.width, c.width) << c.code;
        EXPECT_EQ(g.height, c.height) << c.code;
        EXPECT_EQ(g.interlaced, c.interlaced) << c.code;
        EXPECT_EQ(g.pictureMode, c.mode) << c.code;
        EXPECT_EQ(g.frameRate, 25);
    }
}

TEST(DeviceGeometry, PictureModeAndProgressiveBitOfThe36ByteLayout)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    f.width = 720;
    f.height = 480;
    f.frameRate = 30;
    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(Frame(f, 0), h));
    DeviceGeometry g = DeviceHeaderGeometry(h);
    EXPECT_EQ(g.width, 720);
    EXPECT_EQ(g.height, 480);
    EXPECT_EQ(g.interlaced, 1);
    EXPECT_EQ(g.pictureMode, 0);
    EXPECT_EQ(g.frameRate, 30);

    f.progressive = true;
    f.pictureMode = 2;
    ASSERT_TRUE(ReadDeviceFrameHeader(Frame(f, 0), h));
    g = DeviceHeaderGeometry(h);
    EXPECT_EQ(g.width, 1600);
    EXPECT_EQ(g.height, 1080);
    EXPECT_EQ(g.interlaced, 0);
    EXPECT_EQ(g.pictureMode, 2);
}

// ---- Fixed vectors: each layout's table, byte by byte ----

struct DeviceHeaderVector {
    const char* name;
    DeviceFrameFields fields;
    size_t payload;
    std::vector<uint8_t> bytes; // the header as the table lays it out
    DeviceFrameHeader read;     // what the reader takes from those bytes
    DeviceGeometry geometry;    // and the geometry that follows
};

using Layout = DeviceHeaderLayout;

const DeviceHeaderVector kDeviceHeaderVectors[] = {
    // 40 bytes: rate 30 and resolution code 4 share byte 6 (30 | 4 << 5).
    {"Layout40Picture",
     {.frameRate = 30,
      .resolutionCode = 4,
      .width = 704,
      .height = 576,
      .captureTimeUs = 0x0123456789AB},
     100,
     LaidOut(40, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                  {5, {0x10, 0x9E}},
                  {10, {0xC0, 0x02, 0x40, 0x02, 0x8C, 0x00}},
                  {32, {0xAB, 0x89, 0x67, 0x45, 0x23, 0x01, 0x00, 0x00}}}),
     {.layout = Layout::Header40,
      .frameRate = 30,
      .resolutionCode = 4,
      .width = 704,
      .heightField = 576,
      .totalLength = 140,
      .captureTimeUs = 0x0123456789AB},
     {.width = 704, .height = 576, .frameRate = 30}},
    // 40 bytes, voice (byte 5 bit 3), code 7: 1600 x 1200, mode 7.
    {"Layout40VoiceCode7",
     {.voice = true, .resolutionCode = 7, .width = 352, .height = 288, .captureTimeUs = -2},
     4,
     LaidOut(40, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                  {5, {0x18, 0xF9}},
                  {10, {0x60, 0x01, 0x20, 0x01, 0x2C, 0x00}},
                  {32, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}}),
     {.layout = Layout::Header40,
      .voice = true,
      .frameRate = 25,
      .resolutionCode = 7,
      .width = 352,
      .heightField = 288,
      .totalLength = 44,
      .captureTimeUs = -2},
     {.width = 1600, .height = 1200, .pictureMode = 7}},
    // 40 bytes, rate 0 on the wire reads as 25; code 1 is interlaced.
    {"Layout40RateZero",
     {.frameRate = 0, .resolutionCode = 1, .width = 720, .height = 480},
     0,
     LaidOut(40, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                  {5, {0x10, 0x20}},
                  {10, {0xD0, 0x02, 0xE0, 0x01, 0x28, 0x00}}}),
     {.layout = Layout::Header40,
      .frameRate = 25,
      .resolutionCode = 1,
      .width = 720,
      .heightField = 480,
      .totalLength = 40},
     {.width = 720, .height = 480, .interlaced = 1}},
    // 36 bytes: rate 100 in 7 bits, progressive (byte 7 bit 7), total length
    // at 20, capture seconds and microseconds at 28 and 32.
    {"Layout36Progressive",
     {.layout = Layout::Header36,
      .frameRate = 100,
      .progressive = true,
      .width = 352,
      .height = 288,
      .captureSeconds = 1700000000,
      .captureMicros = 999999},
     10,
     LaidOut(36, {{0, {0x3E, 0x3E, 0x3E, 0x3E}},
                  {5, {0x20, 0x64, 0x80}},
                  {10, {0x60, 0x01, 0x20, 0x01}},
                  {20, {0x2E, 0x00, 0x00, 0x00}},
                  {28, {0x00, 0xF1, 0x53, 0x65, 0x3F, 0x42, 0x0F, 0x00}}}),
     {.layout = Layout::Header36,
      .frameRate = 100,
      .progressive = true,
      .width = 352,
      .heightField = 288,
      .totalLength = 46,
      .captureSeconds = 1700000000,
      .captureMicros = 999999},
     {.width = 352, .height = 288, .frameRate = 100}},
    // 36 bytes, voice (byte 4 bit 0), picture mode 2 in bits 14-15 of the
    // height and frame type 3 in byte 13 bits 4-6: the two readings of byte 13
    // overlap, and a non-zero mode means 1600 x 1080.
    {"Layout36VoiceModeAndFrameType",
     {.layout = Layout::Header36,
      .voice = true,
      .frameRate = 0,
      .width = 720,
      .height = 0x120,
      .pictureMode = 2,
      .frameType = 3,
      .captureSeconds = 1,
      .captureMicros = 2},
     0,
     LaidOut(36, {{0, {0x3E, 0x3E, 0x3E, 0x3E, 0x01, 0x20, 0x00, 0x00}},
                  {10, {0xD0, 0x02, 0x20, 0xB1}},
                  {20, {0x24, 0x00, 0x00, 0x00}},
                  {28, {0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}}}),
     {.layout = Layout::Header36,
      .voice = true,
      .frameRate = 25,
      .width = 720,
      .heightField = static_cast<int16_t>(0xB120),
      .frameType = 3,
      .totalLength = 36,
      .captureSeconds = 1,
      .captureMicros = 2},
     {.width = 1600, .height = 1080, .interlaced = 1, .pictureMode = 2}},
};

class DeviceHeaderVectors : public ::testing::TestWithParam<DeviceHeaderVector> {};

TEST_P(DeviceHeaderVectors, WriterProducesAndReaderDecodesTheTableLayout)
{
    const DeviceHeaderVector& v = GetParam();
    std::vector<uint8_t> written(v.bytes.size(), 0xCC);
    ASSERT_TRUE(WriteDeviceFrameHeader(written, v.fields, v.payload));
    EXPECT_EQ(written, v.bytes) << ByteDiff(written, v.bytes);

    DeviceFrameHeader h;
    ASSERT_TRUE(ReadDeviceFrameHeader(v.bytes, h));
    EXPECT_EQ(h.layout, v.read.layout);
    EXPECT_EQ(h.HeaderSize(), v.bytes.size());
    EXPECT_EQ(h.voice, v.read.voice);
    EXPECT_EQ(h.frameRate, v.read.frameRate);
    EXPECT_EQ(h.resolutionCode, v.read.resolutionCode);
    EXPECT_EQ(h.progressive, v.read.progressive);
    EXPECT_EQ(h.width, v.read.width);
    EXPECT_EQ(h.heightField, v.read.heightField);
    EXPECT_EQ(h.frameType, v.read.frameType);
    EXPECT_EQ(h.totalLength, v.read.totalLength);
    EXPECT_EQ(h.PayloadLength(), static_cast<int64_t>(v.payload));
    EXPECT_EQ(h.captureSeconds, v.read.captureSeconds);
    EXPECT_EQ(h.captureMicros, v.read.captureMicros);
    EXPECT_EQ(h.captureTimeUs, v.read.captureTimeUs);

    const DeviceGeometry g = DeviceHeaderGeometry(h);
    EXPECT_EQ(g.width, v.geometry.width);
    EXPECT_EQ(g.height, v.geometry.height);
    EXPECT_EQ(g.frameRate, v.geometry.frameRate);
    EXPECT_EQ(g.interlaced, v.geometry.interlaced);
    EXPECT_EQ(g.pictureMode, v.geometry.pictureMode);
}

INSTANTIATE_TEST_SUITE_P(Table, DeviceHeaderVectors, ::testing::ValuesIn(kDeviceHeaderVectors),
                         CaseName());

} // namespace
