// The libavcodec decoder behind the MPEG-2, MPEG-4 and HD H.264 filters: the
// simulator's streams, cut as the splitter cuts them, decode into pictures
// that show their frame numbers; pictures start at a key picture; damaged,
// truncated and oversized input is survived; and the AVC1 forms are read.
#include "AvPictureConverter.h"
#include "AvVideoDecoder.h"
#include "AvcFormat.h"
#include "OutsideTestMedia.h"
#include "VideoFormat.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

using namespace outsidetest;

namespace {

AVCodecID CodecOf(SimKind kind)
{
    switch (CodecKindOf(kind)) {
    case 1:
        return AV_CODEC_ID_MPEG2VIDEO;
    case 2:
        return AV_CODEC_ID_MPEG4;
    default:
        return AV_CODEC_ID_H264;
    }
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> yuy2;
};

// Decodes the samples from `first` on (and drains), keeping every picture.
std::vector<Picture> DecodeAll(CAvVideoDecoder& decoder, const SplitterVideo& v, size_t first = 0,
                               size_t last = SIZE_MAX)
{
    CAvPictureConverter converter;
    std::vector<Picture> pictures;
    auto sink = [&](const AVFrame& f) {
        Picture p;
        p.width = f.width;
        p.height = f.height;
        p.yuy2.resize(static_cast<size_t>(Yuy2Stride(f.width)) * f.height);
        EXPECT_TRUE(converter.WriteYuy2(f, p.yuy2.data(), Yuy2Stride(f.width)));
        pictures.push_back(std::move(p));
        return true;
    };
    for (size_t i = first; i < v.samples.size() && i < last; ++i)
        decoder.Decode(v.samples[i], sink);
    decoder.Drain(sink);
    return pictures;
}

// The configuration the media type carries: the sequence header of the
// MPEG-2 and AVC1 types; for MPEG-4 the video object layer header a type may
// carry behind its VIDEOINFOHEADER (the splitter's does not: see
// Mpeg4WithoutVolShowsNothing).
std::vector<uint8_t> TypeConfig(const SplitterVideo& v)
{
    return v.sequenceHeader;
}

class StreamKinds : public ::testing::TestWithParam<SimKind> {};

TEST_P(StreamKinds, EveryPictureShowsItsFrameNumber)
{
    const SimKind kind = GetParam();
    const SplitterVideo v = SplitterSamples(kind, 8, 4);
    ASSERT_FALSE(v.samples.empty());
    if (CodecKindOf(kind) != 2) {
        ASSERT_FALSE(v.sequenceHeader.empty());
    }
    CAvVideoDecoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.Open(CodecOf(kind), TypeConfig(v), &why)) << why;
    const std::vector<Picture> pictures = DecodeAll(decoder, v);
    ASSERT_EQ(pictures.size(), 8u);
    for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_EQ(pictures[i].width, v.width);
        ASSERT_EQ(pictures[i].height, v.height);
        ExpectShowsFrame(pictures[i].yuy2.data(), Yuy2Stride(v.width), v.width, v.height,
                         static_cast<int64_t>(i));
    }
    EXPECT_EQ(decoder.GetCounters().damaged, 0u);
}

INSTANTIATE_TEST_SUITE_P(Simulator, StreamKinds,
                         ::testing::Values(SimKind::EsMpeg2, SimKind::TsMpeg2, SimKind::EsMpeg4,
                                           SimKind::TsMpeg4, SimKind::QBoxH264, SimKind::Ts192H264),
                         [](const auto& info) {
                             std::string name = tvdevsim::KindName(info.param);
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

class Faults : public ::testing::TestWithParam<SimKind> {
protected:
    void SetUp() override
    {
        video = SplitterSamples(GetParam(), 12, 4);
        ASSERT_FALSE(video.samples.empty());
        std::string why;
        ASSERT_TRUE(decoder.Open(CodecOf(GetParam()), TypeConfig(video), &why));
    }
    // The frame numbers the pictures show, by comparing with the drawings.
    std::vector<int64_t> Shown(const std::vector<Picture>& pictures)
    {
        std::vector<int64_t> shown;
        for (const Picture& p : pictures) {
            int64_t best = -1;
            double bestPsnr = 0;
            for (int64_t f = 0; f < 12; ++f) {
                const double psnr = PlatePsnr(p.yuy2.data(), Yuy2Stride(p.width),
                                              Drawing(video.width, video.height, f));
                if (psnr > bestPsnr) {
                    bestPsnr = psnr;
                    best = f;
                }
            }
            shown.push_back(bestPsnr > 26 ? best : -1);
        }
        return shown;
    }
    SplitterVideo video;
    CAvVideoDecoder decoder;
};

// Starting in the middle of a group of pictures: nothing is shown before the
// next key picture (frame 4), then every frame in order.
TEST_P(Faults, NothingBeforeTheFirstKeyPicture)
{
    const std::vector<size_t> starts = PictureStarts(GetParam(), video);
    ASSERT_EQ(starts.size(), 12u);
    const std::vector<int64_t> shown = Shown(DecodeAll(decoder, video, starts[2]));
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 4);
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], shown[i - 1] + 1);
}

// Garbage in the middle of the stream and a stretch of it missing: decoding
// goes on, and from the next key picture on every frame shows its number.
TEST_P(Faults, DamageIsLeftBehindAtTheNextKeyPicture)
{
    SplitterVideo damaged = video;
    const std::vector<size_t> starts = PictureStarts(GetParam(), video);
    ASSERT_EQ(starts.size(), 12u);
    // Frame 5 overwritten with noise behind its start codes, half of frame 6
    // lost.
    for (size_t i = starts[5]; i < starts[6]; ++i)
        for (size_t k = 5; k < damaged.samples[i].size(); k += 3)
            damaged.samples[i][k] ^= 0x5A;
    damaged.samples.erase(damaged.samples.begin() + (starts[6] + starts[7]) / 2,
                          damaged.samples.begin() + starts[7]);
    const std::vector<int64_t> shown = Shown(DecodeAll(decoder, damaged));
    ASSERT_GE(shown.size(), 4u);
    // The last four frames (8..11, a whole group from its key picture) are all
    // there, in order, and nothing shown is unreadable.
    const std::vector<int64_t> tail(shown.end() - 4, shown.end());
    EXPECT_EQ(tail, (std::vector<int64_t>{8, 9, 10, 11}));
    for (int64_t f : shown)
        EXPECT_NE(f, -1);
}

// A sample larger than the input buffer is refused whole; decoding picks up
// at the next key picture.
TEST_P(Faults, OversizedSampleIsRefused)
{
    CAvPictureConverter converter;
    size_t pictures = 0;
    auto sink = [&](const AVFrame&) {
        ++pictures;
        return true;
    };
    const size_t half = PictureStarts(GetParam(), video).at(6);
    for (size_t i = 0; i < half; ++i)
        decoder.Decode(video.samples[i], sink);
    const std::vector<uint8_t> huge(CAvVideoDecoder::kInputBufferBytes + 1, 0);
    EXPECT_EQ(decoder.Decode(huge, sink), CAvVideoDecoder::Status::Refused);
    EXPECT_EQ(decoder.GetCounters().refusedSamples, 1u);
    const std::vector<Picture> rest = DecodeAll(decoder, video, half);
    const std::vector<int64_t> shown = Shown(rest);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front() % 4, 0) << "the first picture after the refusal is a key picture";
    EXPECT_EQ(shown.back(), 11);
}

INSTANTIATE_TEST_SUITE_P(Simulator, Faults,
                         ::testing::Values(SimKind::EsMpeg2, SimKind::EsMpeg4, SimKind::QBoxH264),
                         [](const auto& info) {
                             std::string name = tvdevsim::KindName(info.param);
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// An MPEG-4 encoder that sends its video object layer header only at the
// start of the stream, joined later: with no header in the type either,
// nothing is shown (rather than pictures decoded with guessed parameters);
// with the header in the type, the stream plays from its next key picture.
TEST(AvVideoDecoder, Mpeg4JoinedWithoutItsVolHeader)
{
    SplitterVideo v = SplitterSamples(SimKind::EsMpeg4, 12, 4);
    ASSERT_FALSE(v.sequenceHeader.empty());
    auto isVol = [](const std::vector<uint8_t>& b) {
        return b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && (b[3] & 0xF0) == 0x20;
    };
    // Joined at frame 1, with the repeated headers of frames 4 and 8 gone.
    const size_t join = PictureStarts(SimKind::EsMpeg4, v).at(1);
    v.samples.erase(v.samples.begin(), v.samples.begin() + static_cast<ptrdiff_t>(join));
    const size_t before = v.samples.size();
    std::erase_if(v.samples, isVol);
    ASSERT_EQ(before - v.samples.size(), 2u);

    CAvVideoDecoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.Open(AV_CODEC_ID_MPEG4, {}, &why)) << why;
    EXPECT_TRUE(DecodeAll(decoder, v).empty());

    ASSERT_TRUE(decoder.Open(AV_CODEC_ID_MPEG4, v.sequenceHeader, &why)) << why;
    const std::vector<Picture> pictures = DecodeAll(decoder, v);
    ASSERT_EQ(pictures.size(), 8u);
    for (size_t i = 0; i < pictures.size(); ++i)
        ExpectShowsFrame(pictures[i].yuy2.data(), Yuy2Stride(v.width), v.width, v.height,
                         static_cast<int64_t>(i + 4));
}

TEST(AvVideoDecoder, ACodecThatCannotOpenRefusesEverything)
{
    CAvVideoDecoder decoder;
    std::string why;
    EXPECT_FALSE(decoder.Open(AV_CODEC_ID_NONE, {}, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(decoder.IsOpen());
    const uint8_t bytes[8] = {0, 0, 1, 0xB3, 1, 2, 3, 4};
    size_t pictures = 0;
    EXPECT_EQ(decoder.Decode(bytes, [&](const AVFrame&) { return ++pictures, true; }),
              CAvVideoDecoder::Status::Refused);
    EXPECT_EQ(pictures, 0u);
}

// ---- the AVC1 forms ----

TEST(AvcFormat, LengthPrefixedUnitsBecomeStartCodeForm)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> in;
        int lengthSize;
        bool ok;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {"two units, 4-byte lengths",
         {0, 0, 0, 2, 0x67, 0x42, 0, 0, 0, 1, 0x68},
         4,
         true,
         {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68}},
        {"2-byte lengths",
         {0, 1, 0x65, 0, 2, 0x41, 0x9A},
         2,
         true,
         {0, 0, 0, 1, 0x65, 0, 0, 0, 1, 0x41, 0x9A}},
        {"1-byte lengths", {1, 0x09}, 1, true, {0, 0, 0, 1, 0x09}},
        {"a length past the end", {0, 0, 0, 5, 0x65, 1}, 4, false, {}},
        {"a zero length", {0, 0, 0, 0, 0x65}, 4, false, {}},
        {"a length cut short", {0, 0, 0, 1, 0x65, 0, 0}, 4, false, {}},
        {"3-byte lengths do not exist", {0, 0, 1, 0x65}, 3, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out{9, 9};
        EXPECT_EQ(LengthPrefixedToAnnexB(c.in, c.lengthSize, &out), c.ok) << c.what;
        EXPECT_EQ(out, c.out) << c.what;
    }
}

TEST(AvcFormat, SequenceHeadersInEitherForm)
{
    const std::vector<uint8_t> annexB = {0, 0, 0, 1, 0x67, 0x64, 0, 0, 1, 0x68, 0xEE};
    const std::vector<uint8_t> prefixed = {0, 2, 0x67, 0x64, 0, 2, 0x68, 0xEE};
    std::vector<uint8_t> out;
    ASSERT_TRUE(AvcSequenceHeaderToAnnexB(annexB, &out));
    EXPECT_EQ(out, annexB);
    ASSERT_TRUE(AvcSequenceHeaderToAnnexB(prefixed, &out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 1, 0x67, 0x64, 0, 0, 0, 1, 0x68, 0xEE}));
    EXPECT_FALSE(AvcSequenceHeaderToAnnexB(std::vector<uint8_t>{0, 9, 0x67}, &out));
    EXPECT_FALSE(AvcSequenceHeaderToAnnexB({}, &out));
}

} // namespace
