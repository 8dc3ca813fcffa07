#include "StreamBuilders.h"

#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBoxHeader.h"
#include "StreamInfo.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

// An SPS as extraction hands it over: followed by the PPS.
Bytes SpsHeader(const SpsFields& f)
{
    Bytes b = BuildSps(f);
    Append(b, Nal(0x68, 4, 0xCE));
    return b;
}

TEST(StreamInfoMpeg2, SizeAndEachFrameRateCode)
{
    const int32_t expected[9][2] = {
        {0, 0},       {23, 417083}, {24, 416667}, {25, 400000}, {29, 333667},
        {30, 333333}, {50, 200000}, {59, 166834}, {60, 166667},
    };
    for (int code = 0; code < 16; ++code) {
        StreamInfo info;
        ASSERT_TRUE(ParseStreamInfo(CodecMpeg2, BuildMpeg2SequenceHeader(1920, 1088, code), info));
        EXPECT_EQ(info.width, 1920);
        EXPECT_EQ(info.height, 1088);
        int32_t rate = code >= 1 && code <= 8 ? expected[code][0] : 0;
        int32_t duration = code >= 1 && code <= 8 ? expected[code][1] : 0;
        EXPECT_EQ(info.frameRate, rate) << code; // other codes leave them unset
        EXPECT_EQ(info.frameDuration, duration) << code;
    }
}

TEST(StreamInfoMpeg2, RequiresTheSequenceHeaderCode)
{
    StreamInfo info;
    Bytes h = BuildMpeg2SequenceHeader(720, 576, 3);
    h[3] = 0xB5;
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg2, h, info));
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg2, Bytes{0, 0, 1, 0xB3, 0x2D, 0x02, 0x40}, info));
}

TEST(StreamInfoMpeg4, EachOptionalBranch)
{
    struct Case {
        const char* name;
        VolFields f;
    };
    std::vector<Case> cases;
    cases.push_back({"plain", {}});
    VolFields f;
    f.objectLayerId = true;
    cases.push_back({"object layer identifier", f});
    f = {};
    f.aspect = 15;
    cases.push_back({"extended aspect ratio", f});
    f = {};
    f.controlParameters = true;
    cases.push_back({"control parameters", f});
    f.vbvParameters = true;
    cases.push_back({"vbv parameters", f});
    f = {};
    f.fixedRate = true;
    f.resolution = 30000;
    f.fixedIncrement = 1001;
    cases.push_back({"fixed rate", f});
    f.resolution = 16; // a power of two: 4 increment bits
    f.fixedIncrement = 15;
    cases.push_back({"fixed rate, resolution 16", f});
    f = {};
    f.objectLayerId = f.controlParameters = f.vbvParameters = f.fixedRate = true;
    f.aspect = 15;
    f.width = 720;
    f.height = 576;
    cases.push_back({"all", f});
    for (const Case& c : cases) {
        StreamInfo info;
        ASSERT_TRUE(ParseStreamInfo(CodecMpeg4, BuildVol(c.f), info)) << c.name;
        EXPECT_EQ(info.width, static_cast<int32_t>(c.f.width)) << c.name;
        EXPECT_EQ(info.height, static_cast<int32_t>(c.f.height)) << c.name;
        EXPECT_EQ(info.frameRate, 30);
        EXPECT_EQ(info.frameDuration, 400000);
    }
}

TEST(StreamInfoMpeg4, FailsOnShapeShortDataAndWrongCode)
{
    StreamInfo info;
    VolFields f;
    f.shape = 1;
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg4, BuildVol(f), info));
    Bytes vol = BuildVol({});
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg4, std::span(vol).first(12), info)); // not more than 12
    VolFields all;
    all.objectLayerId = all.controlParameters = all.vbvParameters = all.fixedRate = true;
    Bytes longVol = BuildVol(all);
    ASSERT_TRUE(ParseStreamInfo(CodecMpeg4, longVol, info));
    // Cut inside the width field: the reader runs out of data.
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg4, std::span(longVol).first(longVol.size() - 4), info));
    vol[3] = 0x21;
    EXPECT_FALSE(ParseStreamInfo(CodecMpeg4, vol, info));
}

TEST(StreamInfoH264, EachPicOrderCountType)
{
    for (uint32_t poc : {0u, 1u, 2u}) {
        SpsFields f;
        f.pocType = poc;
        f.widthMbs = 22;
        f.heightUnits = 18;
        StreamInfo info;
        Bytes sps = SpsHeader(f);
        ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, sps, info)) << poc;
        EXPECT_EQ(info.width, 352);
        EXPECT_EQ(info.height, 288);
        EXPECT_EQ(info.frameRate, 25);
        EXPECT_EQ(info.frameDuration, 400000);
        EXPECT_EQ(info.interlaced, 0);
    }
}

TEST(StreamInfoH264, FieldCodedD1IsReportedAsFrames)
{
    SpsFields f;
    f.widthMbs = 44;
    f.heightUnits = 18; // 704 x 288
    f.frameMbsOnly = false;
    for (int32_t kind : {3, 256, 512}) {
        StreamInfo info;
        ASSERT_TRUE(ParseStreamInfo(kind, SpsHeader(f), info));
        EXPECT_EQ(info.width, 704);
        EXPECT_EQ(info.height, 576);
    }
    // A field-coded stream of any size is both its fields.
    f.widthMbs = 43;
    StreamInfo info;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.height, 576);
    f.widthMbs = 44;
    f.heightUnits = 19;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.height, 608);
    // Frame pictures of one field's height are shown doubled when D1-wide: the
    // rule looks at the size only, 688 wide or 300 high stays as it is.
    f.frameMbsOnly = true;
    f.heightUnits = 18;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.height, 576);
    f.widthMbs = 43;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.height, 288);
    f.widthMbs = 44;
    f.heightUnits = 19;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.height, 304);
}

// The frame cropping makes the visible picture: 1920 x 1088 coded is the
// 1920 x 1080 shown. Crop units are chroma samples, and line pairs of a
// field-coded frame; a cropping that leaves nothing refuses the set.
TEST(StreamInfoH264, FrameCroppingGivesTheVisibleSize)
{
    struct Case {
        const char* name;
        uint32_t widthMbs, heightUnits;
        bool frameMbsOnly;
        uint32_t crop[4];
        bool parsed;
        int32_t width, height;
    };
    const Case cases[] = {
        {"1080p", 120, 68, true, {0, 0, 0, 4}, true, 1920, 1080},
        {"no cropping", 120, 68, true, {0, 0, 0, 0}, true, 1920, 1088},
        {"every side", 45, 36, true, {4, 4, 2, 2}, true, 704, 568},
        {"1080i fields", 120, 34, false, {0, 0, 0, 2}, true, 1920, 1080},
        {"nothing left", 22, 18, true, {0, 0, 72, 72}, false, 0, 0},
    };
    for (const Case& c : cases) {
        SpsFields f;
        f.widthMbs = c.widthMbs;
        f.heightUnits = c.heightUnits;
        f.frameMbsOnly = c.frameMbsOnly;
        std::copy(std::begin(c.crop), std::end(c.crop), f.crop);
        StreamInfo info;
        EXPECT_EQ(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info), c.parsed) << c.name;
        if (c.parsed) {
            EXPECT_EQ(info.width, c.width) << c.name;
            EXPECT_EQ(info.height, c.height) << c.name;
        }
    }
}

TEST(StreamInfoH264, HighProfileFieldsAndScalingLists)
{
    SpsFields f;
    f.profile = 100;
    f.scalingMatrix = true;
    f.widthMbs = 120;
    f.heightUnits = 68;
    StreamInfo info;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, SpsHeader(f), info));
    EXPECT_EQ(info.width, 1920);
    EXPECT_EQ(info.height, 1088);
}

TEST(StreamInfoH264, EmulationPreventionBytesAreRemoved)
{
    // Long exp-Golomb codes put 00 00 into the payload: the writer inserts a 03.
    SpsFields f;
    f.pocType = 2;
    f.widthMbs = 0x10000;
    f.heightUnits = 0x8000;
    Bytes sps = SpsHeader(f);
    bool escaped = false;
    for (size_t i = 2; i < sps.size(); ++i)
        escaped |= sps[i - 2] == 0 && sps[i - 1] == 0 && sps[i] == 3;
    ASSERT_TRUE(escaped);
    StreamInfo info;
    ASSERT_TRUE(ParseStreamInfo(CodecDeviceH264, sps, info));
    EXPECT_EQ(info.width, 0x10000 * 16);
    EXPECT_EQ(info.height, 0x8000 * 16);
}

TEST(StreamInfoH264, Requirements)
{
    Bytes sps = SpsHeader({});
    StreamInfo info;
    EXPECT_TRUE(ParseStreamInfo(CodecDeviceH264, sps, info));
    Bytes fourByte = {0};
    Append(fourByte, sps);
    EXPECT_TRUE(ParseStreamInfo(CodecDeviceH264, fourByte, info));
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, std::span(sps).first(15), info));
    Bytes pps = sps;
    pps[3] = 0x68;
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, pps, info));
    Bytes noProfile = sps;
    noProfile[4] = 0;
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, noProfile, info));
    Bytes noLevel = sps;
    noLevel[6] = 0;
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, noLevel, info));
    Bytes noStart = sps;
    noStart[2] = 2;
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, noStart, info));
    // Exp-Golomb codes that run out of data.
    Bytes zeros = {0, 0, 1, 0x67, 66, 0, 30};
    zeros.resize(40, 0);
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, zeros, info));
    // A macroblock count beyond any picture is refused rather than overflowed.
    SpsFields huge;
    huge.widthMbs = 0x20000;
    EXPECT_FALSE(ParseStreamInfo(CodecDeviceH264, SpsHeader(huge), info));
}

TEST(StreamInfoOthers, Jpeg2000HdAndMjpeg)
{
    JP2KFieldFields f;
    f.fiveSixthsWidth = true;
    Bytes b;
    Bytes cs = BuildJ2KCodestream(720, 288, 64);
    ASSERT_TRUE(AppendJP2KFrame(b, f, cs, cs));
    StreamInfo info;
    ASSERT_TRUE(ParseStreamInfo(CodecJP2K, std::span(b).first(160), info));
    EXPECT_EQ(info.width, 720);
    EXPECT_EQ(info.height, 288);
    EXPECT_EQ(info.fiveSixthsWidth, 1);
    EXPECT_EQ(info.frameRate, 25);
    EXPECT_EQ(info.frameDuration, 400000);
    EXPECT_FALSE(ParseStreamInfo(CodecJP2K, std::span(b).first(159), info));
    EXPECT_FALSE(ParseStreamInfo(CodecJP2K, std::span(b).subspan(144 + 64, 160), info));

    StreamInfo hd;
    ASSERT_TRUE(ParseStreamInfo(CodecHDH264, {}, hd));
    EXPECT_EQ(hd.width, 1920);
    EXPECT_EQ(hd.height, 1080);
    EXPECT_EQ(hd.frameDuration, 400000);
    EXPECT_EQ(hd.frameRate, 30);
    StreamInfo mj;
    ASSERT_TRUE(ParseStreamInfo(CodecMjpeg, {}, mj));
    EXPECT_EQ(mj.width, 1920);
    EXPECT_EQ(mj.height, 1080);
    EXPECT_EQ(mj.frameDuration, 2000000);
    EXPECT_EQ(mj.frameRate, 5);
    EXPECT_FALSE(ParseStreamInfo(CodecUnknown, {}, mj));
    EXPECT_FALSE(ParseStreamInfo(CodecNone, {}, mj));
}

Bytes QBoxWithDeviceHeaders(DeviceFrameFields voiceHeader, DeviceFrameFields videoHeader)
{
    Bytes b;
    QBoxFields q;
    EXPECT_TRUE(AppendQBox(b, q, Bytes(40, 0x11)));
    EXPECT_TRUE(AppendVoiceFrame(b, voiceHeader, Bytes(8, 0)));
    EXPECT_TRUE(AppendDeviceFrame(b, videoHeader, {}));
    return b;
}

TEST(DescribeStream, DeviceHeaderOverridesQBoxGeometry)
{
    DeviceFrameFields voice;
    voice.resolutionCode = 7;
    DeviceFrameFields video;
    video.resolutionCode = 1;
    video.width = 704;
    video.height = 576;
    video.frameRate = 0;
    Bytes b = QBoxWithDeviceHeaders(voice, video);
    StreamFormat fmt;
    ASSERT_TRUE(DescribeStream(b, CodecHDH264, ContainerQBox, {}, fmt));
    EXPECT_EQ(fmt.width, 704);
    EXPECT_EQ(fmt.height, 576);
    EXPECT_EQ(fmt.frameRate, 25);
    EXPECT_EQ(fmt.frameDuration, 400000);
    EXPECT_EQ(fmt.interlaced, 1);
    EXPECT_EQ(fmt.displayWidth, 704);
    EXPECT_EQ(fmt.pictureMode, 0);

    // Kind 7 is never interlaced.
    ASSERT_TRUE(DescribeStream(b, CodecMjpeg, ContainerQBox, {}, fmt));
    EXPECT_EQ(fmt.interlaced, 0);
    EXPECT_EQ(fmt.frameRate, 25);

    video.resolutionCode = 6;
    video.frameRate = 30;
    b = QBoxWithDeviceHeaders(voice, video);
    ASSERT_TRUE(DescribeStream(b, CodecHDH264, ContainerQBox, {}, fmt));
    EXPECT_EQ(fmt.width, 1600);
    EXPECT_EQ(fmt.height, 1080);
    EXPECT_EQ(fmt.pictureMode, 3);
    EXPECT_EQ(fmt.frameDuration, 333333);

    // Without a device header, or outside QBox, StreamInfo stands.
    Bytes noHeader;
    ASSERT_TRUE(AppendQBox(noHeader, {}, Bytes(40, 0x11)));
    ASSERT_TRUE(DescribeStream(noHeader, CodecHDH264, ContainerQBox, {}, fmt));
    EXPECT_EQ(fmt.width, 1920);
    EXPECT_EQ(fmt.frameRate, 30);
    ASSERT_TRUE(DescribeStream(b, CodecHDH264, ContainerRaw, {}, fmt));
    EXPECT_EQ(fmt.width, 1920);
    EXPECT_EQ(fmt.interlaced, 0);
}

// The JPEG 2000 rate comes from the field header's byte 6; 0 there means 25,
// so no stream leaves the rate (a divisor downstream) at 0.
TEST(StreamInfoOthers, Jpeg2000RateFromFieldHeader)
{
    struct Case {
        int32_t headerRate;
        int32_t rate;
        int32_t duration;
    };
    for (Case c : {Case{30, 30, 333333}, Case{12, 12, 833333}, Case{0, 25, 400000}}) {
        JP2KFieldFields f;
        f.frameRate = c.headerRate;
        Bytes b;
        Bytes cs = BuildJ2KCodestream(352, 288, 64);
        ASSERT_TRUE(AppendJP2KFrame(b, f, cs, cs));
        StreamInfo info;
        ASSERT_TRUE(ParseStreamInfo(CodecJP2K, std::span(b).first(160), info));
        EXPECT_EQ(info.frameRate, c.rate) << c.headerRate;
        EXPECT_EQ(info.frameDuration, c.duration) << c.headerRate;
    }
}

// A voice frame never supplies the picture size, whichever layout flags it: the
// 40-byte layout in byte 5 bit 3, the 36-byte layout in byte 4 bit 0.
TEST(DescribeStream, VoiceHeadersOfEitherLayoutAreSkipped)
{
    for (DeviceHeaderLayout layout : {DeviceHeaderLayout::Header40, DeviceHeaderLayout::Header36}) {
        DeviceFrameFields voice;
        voice.layout = layout;
        voice.width = 176;
        voice.height = 144;
        DeviceFrameFields video = voice;
        video.width = 704;
        video.height = 576;
        Bytes b = QBoxWithDeviceHeaders(voice, video);
        b.resize(b.size() + 8, 0); // 40 bytes behind a trailing 36-byte header
        StreamFormat fmt;
        ASSERT_TRUE(DescribeStream(b, CodecHDH264, ContainerQBox, {}, fmt));
        EXPECT_EQ(fmt.width, 704) << static_cast<int>(layout);
        EXPECT_EQ(fmt.height, 576) << static_cast<int>(layout);
    }
}

TEST(DescribeStream, HeaderNeeds40BytesAvailable)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    f.width = 720;
    f.height = 480;
    Bytes b;
    ASSERT_TRUE(AppendDeviceFrame(b, f, {}));
    DeviceGeometry g;
    EXPECT_FALSE(FindDeviceGeometry(b, g)); // 36 bytes only
    b.resize(40, 0);
    ASSERT_TRUE(FindDeviceGeometry(b, g));
    EXPECT_EQ(g.width, 720);
    EXPECT_EQ(g.height, 480);
    EXPECT_EQ(g.interlaced, 1);
}

TEST(DescribeStream, FiveSixthsDisplayWidth)
{
    JP2KFieldFields f;
    f.fiveSixthsWidth = true;
    Bytes b;
    Bytes cs = BuildJ2KCodestream(720, 576, 64);
    ASSERT_TRUE(AppendJP2KFrame(b, f, cs, cs));
    StreamFormat fmt;
    ASSERT_TRUE(DescribeStream(b, CodecJP2K, ContainerRaw, std::span(b).first(160), fmt));
    EXPECT_EQ(fmt.width, 720);
    EXPECT_EQ(fmt.displayWidth, 600);
    EXPECT_FALSE(DescribeStream(b, CodecMpeg2, ContainerRaw, std::span(b).first(160), fmt));
}

} // namespace
