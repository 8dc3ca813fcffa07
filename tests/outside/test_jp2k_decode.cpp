// The JPEG 2000 decoder's byte-level work: taking a sample apart into its two
// fields and the information packet, and decoding the simulator's field pairs
// into woven YUY2 pictures at each reduce level, with damaged input.
#include "Jp2kFieldPair.h"
#include "Jp2kPictureDecoder.h"
#include "OutsideTestMedia.h"
#include "VideoFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace outsidetest;

namespace {

std::vector<uint8_t> Field(bool second, uint32_t frameNumber, size_t codestreamLength,
                           uint32_t seconds = 1700000000, uint32_t micros = 250000)
{
    JP2KFieldFields f;
    f.captureSeconds = seconds;
    f.captureMicros = micros;
    f.frameNumber = frameNumber;
    std::vector<uint8_t> bytes(kJP2KFieldHeaderSize + codestreamLength, 0x5A);
    EXPECT_TRUE(WriteJP2KFieldHeader(bytes, f, second, codestreamLength));
    return bytes;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(Jp2kFieldPair, TakesSamplesApart)
{
    const auto first = Field(false, 7, 100);
    const auto second = Field(true, 7, 60);
    const auto whole = Concat({first, second});
    struct Case {
        const char* what;
        std::vector<uint8_t> sample;
        bool ok;
        bool hasSecond;
        size_t firstLength;
        size_t secondLength;
    };
    const Case cases[] = {
        {"a whole pair", whole, true, true, 100, 60},
        {"a first field alone", first, true, false, 100, 0},
        {"a second field of another frame", Concat({first, Field(true, 8, 60)}), true, false, 100,
         0},
        {"two first fields", Concat({first, Field(false, 7, 60)}), true, false, 100, 0},
        {"the second field cut short", std::vector<uint8_t>(whole.begin(), whole.end() - 20), true,
         true, 100, 40},
        {"the first codestream cut short", std::vector<uint8_t>(first.begin(), first.end() - 30),
         true, false, 70, 0},
        {"a second field first", Concat({second, first}), false, false, 0, 0},
        {"a header alone", std::vector<uint8_t>(first.begin(), first.begin() + 144), false, false,
         0, 0},
        {"too short for a header", std::vector<uint8_t>(first.begin(), first.begin() + 100), false,
         false, 0, 0},
        {"no marker",
         [&] {
             auto b = whole;
             b[131] = 0xF2;
             return b;
         }(),
         false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Jp2kFieldPair pair;
        ASSERT_EQ(SplitJp2kFieldPair(c.sample, &pair), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(pair.hasSecond, c.hasSecond);
        EXPECT_EQ(pair.firstCodestream.size(), c.firstLength);
        EXPECT_EQ(pair.firstCodestream.data(), c.sample.data() + 144);
        EXPECT_EQ(pair.secondCodestream.size(), c.secondLength);
        ASSERT_EQ(pair.infoPacket.size(), 128u);
        EXPECT_EQ(pair.infoPacket.data(), c.sample.data());
    }
}

// The information packet is the first field header's first 128 bytes:
// ">>>>", then the capture time where the frame processor reads it.
TEST(Jp2kFieldPair, InfoPacketCarriesTheCaptureTime)
{
    const auto sample = Concat({Field(false, 3, 10, 0x01020304, 0x0A0B0C0D), Field(true, 3, 10)});
    Jp2kFieldPair pair;
    ASSERT_TRUE(SplitJp2kFieldPair(sample, &pair));
    EXPECT_EQ(std::memcmp(pair.infoPacket.data(), ">>>>", 4), 0);
    const uint8_t want[8] = {1, 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_EQ(std::memcmp(pair.infoPacket.data() + 32, want, 8), 0);
}

class Jp2kPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_video = new SplitterVideo(SplitterSamples(SimKind::Jp2kFields, 3, 1));
    }
    static void TearDownTestSuite()
    {
        delete s_video;
        s_video = nullptr;
    }
    static const SplitterVideo& Video() { return *s_video; }
    static SplitterVideo* s_video;
};
SplitterVideo* Jp2kPictures::s_video = nullptr;

// Each reduce level halves the picture; every picture shows its frame number
// where the simulator drew it (at the levels that keep the digits legible).
TEST_F(Jp2kPictures, EachReduceLevelHalvesThePicture)
{
    const SplitterVideo& v = Video();
    ASSERT_EQ(v.samples.size(), 3u);
    ASSERT_EQ(v.width, 704);
    ASSERT_EQ(v.height, 576);
    struct Case {
        int level, width, height;
    };
    const Case cases[] = {{0, 704, 576}, {1, 352, 288}, {2, 176, 144}, {3, 88, 72}};
    CJp2kPictureDecoder decoder;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        int w = 0, h = 0;
        CJp2kPictureDecoder::ReducedPictureSize(704, 288, c.level, &w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        for (size_t i = 0; i < v.samples.size(); ++i) {
            Jp2kFieldPair pair;
            ASSERT_TRUE(SplitJp2kFieldPair(v.samples[i], &pair));
            ASSERT_TRUE(pair.hasSecond);
            ASSERT_TRUE(decoder.Decode(pair, c.level));
            EXPECT_TRUE(decoder.Woven());
            ASSERT_EQ(decoder.Width(), c.width);
            ASSERT_EQ(decoder.Height(), c.height);
            EXPECT_EQ(decoder.FieldWidth(), 704);
            EXPECT_EQ(decoder.FieldHeight(), 288);
            std::vector<uint8_t> picture(Yuy2Stride(c.width) * c.height);
            decoder.WriteYuy2(picture.data(), Yuy2Stride(c.width));
            if (c.level <= 1)
                ExpectShowsFrame(picture.data(), Yuy2Stride(c.width), 704, 576,
                                 static_cast<int64_t>(i), 1 << c.level);
        }
    }
}

// A stream with five wavelet levels is decoded at its smallest when asked for
// more.
TEST_F(Jp2kPictures, LevelsBeyondTheCodestreamGiveItsSmallest)
{
    CJp2kPictureDecoder decoder;
    Jp2kFieldPair pair;
    ASSERT_TRUE(SplitJp2kFieldPair(Video().samples[0], &pair));
    ASSERT_TRUE(decoder.Decode(pair, 4));
    const int w4 = decoder.Width(), h4 = decoder.Height();
    ASSERT_TRUE(decoder.Decode(pair, kJp2kMaxReduceLevel));
    EXPECT_EQ(decoder.Width(), w4);
    EXPECT_EQ(decoder.Height(), h4);
    EXPECT_EQ(w4, 44);
}

// A codestream without wavelet levels cannot be reduced: asked to, the
// decoder gives its full size (OpenJPEG refuses the factor, and decoding after
// a refused factor read freed memory).
TEST_F(Jp2kPictures, ACodestreamWithoutLevelsIsNotReduced)
{
    Jp2kFieldPair pair;
    ASSERT_TRUE(SplitJp2kFieldPair(Video().samples[0], &pair));
    std::vector<uint8_t> first(pair.firstCodestream.begin(), pair.firstCodestream.end());
    const uint8_t cod[] = {0xFF, 0x52};
    const auto at = std::search(first.begin(), first.end(), std::begin(cod), std::end(cod));
    ASSERT_NE(at, first.end());
    // Marker, length, Scod, progression, layers (2), colour transform: levels.
    at[9] = 0;
    pair.firstCodestream = first;
    pair.hasSecond = false;
    for (int level = 1; level <= kJp2kMaxReduceLevel; ++level) {
        SCOPED_TRACE(level);
        CJp2kPictureDecoder decoder;
        if (!decoder.Decode(pair, level))
            continue; // the tile data no longer fits the levels: refused
        EXPECT_EQ(decoder.Width(), 704);
        const ptrdiff_t stride = Yuy2Stride(decoder.Width());
        std::vector<uint8_t> picture(stride * decoder.Height());
        decoder.WriteYuy2(picture.data(), stride);
    }
}

// Without its second field a frame still makes a whole picture: each
// first-field row twice.
TEST_F(Jp2kPictures, ALoneFirstFieldIsLineDoubled)
{
    Jp2kFieldPair pair;
    ASSERT_TRUE(SplitJp2kFieldPair(Video().samples[1], &pair));
    pair.hasSecond = false;
    CJp2kPictureDecoder decoder;
    ASSERT_TRUE(decoder.Decode(pair, 0));
    EXPECT_FALSE(decoder.Woven());
    ASSERT_EQ(decoder.Height(), 576);
    const ptrdiff_t stride = Yuy2Stride(704);
    std::vector<uint8_t> picture(stride * 576);
    decoder.WriteYuy2(picture.data(), stride);
    for (int r = 0; r < 576; r += 2)
        ASSERT_EQ(std::memcmp(&picture[r * stride], &picture[(r + 1) * stride], 704 * 2), 0);
    ExpectShowsFrame(picture.data(), stride, 704, 576, 1);
}

// Damaged codestreams: the decoder says no or decodes what it can, and never
// writes past the picture it reports.
TEST_F(Jp2kPictures, DamagedCodestreamsAreSurvived)
{
    const std::vector<uint8_t>& good = Video().samples[2];
    Jp2kFieldPair pair;
    ASSERT_TRUE(SplitJp2kFieldPair(good, &pair));
    const size_t firstStart = 144;
    struct Case {
        const char* what;
        size_t at;  // offset of the change
        size_t cut; // bytes kept (0: all)
        uint8_t xorWith;
    };
    const Case cases[] = {
        {"SIZ width of 65535", firstStart + 8, 0, 0xFF},
        {"SIZ height overwritten", firstStart + 14, 0, 0x7F},
        {"components count", firstStart + 40, 0, 0x3C},
        {"a byte in the tile data", firstStart + 400, 0, 0xFF},
        {"the first codestream cut to its header", 0, firstStart + 60, 0},
        {"cut in the first field's tile data", 0, firstStart + 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        if (c.cut)
            bytes.resize(c.cut);
        if (c.xorWith)
            bytes[c.at] ^= c.xorWith;
        Jp2kFieldPair damaged;
        if (!SplitJp2kFieldPair(bytes, &damaged))
            continue;
        CJp2kPictureDecoder decoder;
        if (!decoder.Decode(damaged, 0))
            continue;
        ASSERT_GE(decoder.Width(), 1);
        ASSERT_LE(decoder.Width(), static_cast<int>(CJp2kPictureDecoder::kMaxFieldSide));
        const ptrdiff_t stride = Yuy2Stride(decoder.Width());
        // Guard bytes behind the picture catch a write past it.
        std::vector<uint8_t> picture(stride * decoder.Height() + 64, 0xCD);
        decoder.WriteYuy2(picture.data(), stride);
        for (size_t i = stride * decoder.Height(); i < picture.size(); ++i)
            ASSERT_EQ(picture[i], 0xCD);
    }
}

} // namespace
