#include "ByteOrder.h"
#include "DeviceFrameHeader.h"

#include <gtest/gtest.h>

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

} // namespace
