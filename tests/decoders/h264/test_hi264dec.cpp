// The device H.264 decoder library over libavcodec, on the simulator's device
// streams, and its picture splitter on hand-made NAL units.
#include "H264PictureSplitter.h"
#include "H264TestStreams.h"
#include "Hi264Dec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace h264test;
using tvdevsim::SimKind;

namespace {

Hi264DecAttr DeviceAttr()
{
    Hi264DecAttr attr{};
    attr.maxWidthMbs = 45;
    attr.maxHeightMbs = 36;
    attr.pictureBuffers = 3;
    return attr;
}

// Every picture one sample gives: the call with data, then calls without.
std::vector<Hi264DecPicture> DecodeSample(HI264_HANDLE dec, const std::vector<uint8_t>& bytes,
                                          std::vector<std::vector<uint8_t>>* lumas = nullptr,
                                          int32_t* lastResult = nullptr)
{
    std::vector<Hi264DecPicture> pictures;
    Hi264DecPicture pic{};
    int32_t rc = Hi264DecFrame(dec, bytes.data(), static_cast<uint32_t>(bytes.size()), 0, &pic, 0);
    while (rc == HI264DEC_OK && pictures.size() < 8) {
        pictures.push_back(pic);
        if (lumas) {
            std::vector<uint8_t> luma(static_cast<size_t>(pic.width) * pic.height);
            for (uint32_t r = 0; r < pic.height; ++r)
                std::memcpy(&luma[r * pic.width], pic.y + r * pic.yStride, pic.width);
            lumas->push_back(std::move(luma));
        }
        rc = Hi264DecFrame(dec, nullptr, 0, 0, &pic, 0);
    }
    if (lastResult)
        *lastResult = rc;
    return pictures;
}

} // namespace

TEST(Hi264Dec, RecordLayout)
{
    EXPECT_EQ(offsetof(Hi264DecPicture, structure), 48u);
    EXPECT_EQ(offsetof(Hi264DecPicture, notIntra), 56u);
    EXPECT_EQ(sizeof(Hi264DecPicture), 88u);
}

TEST(Hi264Dec, RefusesWhatItCannotUse)
{
    EXPECT_EQ(Hi264DecCreate(nullptr), nullptr);
    Hi264DecAttr attr = DeviceAttr();
    attr.pictureBuffers = 0;
    EXPECT_EQ(Hi264DecCreate(&attr), nullptr);
    attr = DeviceAttr();
    attr.maxWidthMbs = 0;
    EXPECT_EQ(Hi264DecCreate(&attr), nullptr);

    Hi264DecPicture pic{};
    const uint8_t bytes[4] = {0, 0, 1, 0x65};
    EXPECT_EQ(Hi264DecFrame(nullptr, bytes, 4, 0, &pic, 0), HI264DEC_ERR_ARG);
    attr = DeviceAttr();
    HI264_HANDLE dec = Hi264DecCreate(&attr);
    ASSERT_NE(dec, nullptr);
    EXPECT_EQ(Hi264DecFrame(dec, bytes, 4, 0, nullptr, 0), HI264DEC_ERR_ARG);
    // Bytes beyond the input buffer are refused whole; the decoder goes on.
    std::vector<uint8_t> huge(HI264DEC_INPUT_BUFFER_SIZE + 1, 0);
    EXPECT_EQ(Hi264DecFrame(dec, huge.data(), static_cast<uint32_t>(huge.size()), 0, &pic, 0),
              HI264DEC_NO_PICTURE);
    EXPECT_EQ(Hi264DecFrame(dec, nullptr, 0, 0, &pic, 0), HI264DEC_NEED_MORE);
    Hi264DecDestroy(dec);
    Hi264DecDestroy(nullptr);
}

// The field-coded D1 stream: each frame sample gives the top field, then from
// the call without data the bottom field; the key pictures are intra-coded and
// their fields are the simulator's drawing (I_PCM keeps samples, 0 becomes 1).
TEST(Hi264Dec, FieldCodedD1GivesTopThenBottomField)
{
    const auto samples = DeviceVideo(SimKind::DeviceFieldD1, 0, 0, 4, 2);
    ASSERT_EQ(samples.size(), 4u);
    Hi264DecAttr attr = DeviceAttr();
    HI264_HANDLE dec = Hi264DecCreate(&attr);
    ASSERT_NE(dec, nullptr);
    for (const VideoSample& s : samples) {
        SCOPED_TRACE(testing::Message() << "frame " << s.frameIndex);
        std::vector<std::vector<uint8_t>> lumas;
        int32_t last = 0;
        const auto pics = DecodeSample(dec, s.bytes, &lumas, &last);
        ASSERT_EQ(pics.size(), 2u);
        EXPECT_EQ(last, HI264DEC_NEED_MORE);
        const int64_t keyFrame = s.frameIndex / 2 * 2;
        const auto drawing = Drawing(704, 576, keyFrame, true);
        for (int f = 0; f < 2; ++f) {
            EXPECT_EQ(pics[f].structure, static_cast<uint32_t>(f + 1));
            EXPECT_EQ(pics[f].width, 704u);
            EXPECT_EQ(pics[f].height, 288u);
            EXPECT_EQ(pics[f].notIntra, s.key ? 0u : 1u);
            const auto field = tvdevsim::ExtractField(drawing, f);
            size_t differing = 0;
            for (size_t i = 0; i < field.y.size(); ++i)
                differing += lumas[f][i] != std::max<uint8_t>(1, field.y[i]) ? 1 : 0;
            EXPECT_EQ(differing, 0u);
        }
    }
    Hi264DecDestroy(dec);
}

// Progressive device H.264 from libx264: one frame per sample, close to the
// drawing, the first intra-coded.
TEST(Hi264Dec, ProgressiveFramesResembleTheDrawing)
{
    const auto samples = DeviceVideo(SimKind::Device40, 352, 288, 6, 5);
    ASSERT_EQ(samples.size(), 6u);
    Hi264DecAttr attr = DeviceAttr();
    HI264_HANDLE dec = Hi264DecCreate(&attr);
    ASSERT_NE(dec, nullptr);
    for (const VideoSample& s : samples) {
        std::vector<std::vector<uint8_t>> lumas;
        const auto pics = DecodeSample(dec, s.bytes, &lumas);
        ASSERT_EQ(pics.size(), 1u) << "frame " << s.frameIndex;
        EXPECT_EQ(pics[0].structure, 0u);
        EXPECT_EQ(pics[0].width, 352u);
        EXPECT_EQ(pics[0].height, 288u);
        EXPECT_EQ(pics[0].notIntra == 0, s.key);
        const auto drawing = Drawing(352, 288, s.frameIndex, false);
        EXPECT_GT(RegionPsnr(lumas[0].data(), 352, 1, drawing, {0, 0, 352, 288}), 30.0);
    }
    Hi264DecDestroy(dec);
}

// Broken input: garbage, a key frame cut short, a P frame with damaged bytes.
// Nothing damaged comes out and decoding resumes with the next key frame.
TEST(Hi264Dec, ResumesAtTheNextKeyFrameAfterDamage)
{
    const auto samples = DeviceVideo(SimKind::Device40, 352, 288, 8, 4);
    ASSERT_EQ(samples.size(), 8u);
    Hi264DecAttr attr = DeviceAttr();
    HI264_HANDLE dec = Hi264DecCreate(&attr);
    ASSERT_NE(dec, nullptr);
    std::vector<uint8_t> garbage(5000);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<uint8_t>(i * 37 + (i % 3 == 0 ? 0 : 1));
    EXPECT_TRUE(DecodeSample(dec, garbage).empty());
    // Frame 0 truncated to a third: no picture from it nor from the P frames
    // that lean on it.
    std::vector<uint8_t> cut(samples[0].bytes.begin(),
                             samples[0].bytes.begin() + samples[0].bytes.size() / 3);
    size_t before = 0;
    before += DecodeSample(dec, cut).size();
    for (int i = 1; i < 4; ++i)
        before += DecodeSample(dec, samples[i].bytes).size();
    EXPECT_EQ(before, 0u);
    // Key frame 4 decodes, and the frames after it.
    for (int i = 4; i < 8; ++i) {
        std::vector<std::vector<uint8_t>> lumas;
        ASSERT_EQ(DecodeSample(dec, samples[i].bytes, &lumas).size(), 1u) << i;
        EXPECT_GT(
            RegionPsnr(lumas[0].data(), 352, 1, Drawing(352, 288, i, false), {0, 0, 352, 288}),
            30.0);
    }
    Hi264DecDestroy(dec);
}

// A stream that arrives in pieces starting anywhere in a picture (transport
// packets, an elementary stream cut where a datagram ended) is taken as one
// byte run once a piece continues the one before: each picture comes out,
// whole, when the next one has begun. The first piece is taken as whole
// NAL units before the decoder knows better: what it broke costs at most the
// pictures up to the next key frame.
TEST(Hi264Dec, PiecesOfAByteRunGiveWholePictures)
{
    const auto samples = DeviceVideo(SimKind::Device40, 352, 288, 12, 4);
    ASSERT_EQ(samples.size(), 12u);
    std::vector<uint8_t> run;
    for (const VideoSample& s : samples)
        run.insert(run.end(), s.bytes.begin() + 40, s.bytes.end());
    for (size_t piece : {size_t{184}, size_t{1400}, size_t{7}}) {
        SCOPED_TRACE(piece);
        Hi264DecAttr attr = DeviceAttr();
        HI264_HANDLE dec = Hi264DecCreate(&attr);
        ASSERT_NE(dec, nullptr);
        std::vector<std::vector<uint8_t>> lumas;
        for (size_t at = 0; at < run.size(); at += piece) {
            const std::vector<uint8_t> bytes(run.begin() + at,
                                             run.begin() + std::min(run.size(), at + piece));
            for (const Hi264DecPicture& p : DecodeSample(dec, bytes, &lumas))
                EXPECT_EQ(p.width, 352u);
        }
        // Consecutive frames up to the last but one (the last waits for a
        // picture behind it), from key frame 4 at the latest.
        ASSERT_GE(lumas.size(), 7u);
        ASSERT_LE(lumas.size(), 11u);
        const size_t first = 11 - lumas.size();
        for (size_t i = 0; i < lumas.size(); ++i)
            EXPECT_GT(RegionPsnr(lumas[i].data(), 352, 1, Drawing(352, 288, first + i, false),
                                 {0, 0, 352, 288}),
                      30.0)
                << "frame " << first + i;
        Hi264DecDestroy(dec);
    }
}

// The splitter on the D1 stream: a key frame is two pictures, a top IDR field
// with the parameter sets in front and an intra bottom field; a P frame two P
// fields. Bytes before the first start code (the device header) are left out.
TEST(H264PictureSplitter, CutsFieldPictures)
{
    const auto samples = DeviceVideo(SimKind::DeviceFieldD1, 0, 0, 2, 25);
    ASSERT_EQ(samples.size(), 2u);
    CH264PictureSplitter splitter;
    std::vector<H264PictureUnit> units;
    struct Want {
        bool field, bottom, intra, idr;
    };
    const Want wanted[2][2] = {{{true, false, true, true}, {true, true, true, false}},
                               {{true, false, false, false}, {true, true, false, false}}};
    for (int f = 0; f < 2; ++f) {
        const auto& bytes = samples[f].bytes;
        splitter.Split(bytes.data(), bytes.size(), units);
        ASSERT_EQ(units.size(), 2u);
        EXPECT_EQ(units[0].data[0] | units[0].data[1], 0);
        EXPECT_EQ(units[1].data + units[1].size, bytes.data() + bytes.size());
        for (int u = 0; u < 2; ++u) {
            EXPECT_TRUE(units[u].hasSlice && units[u].known);
            EXPECT_EQ(units[u].field, wanted[f][u].field);
            EXPECT_EQ(units[u].bottom, wanted[f][u].bottom);
            EXPECT_EQ(units[u].intra, wanted[f][u].intra);
            EXPECT_EQ(units[u].idr, wanted[f][u].idr);
        }
    }
}

TEST(H264PictureSplitter, SlicesWithoutParameterSetsAreUnknown)
{
    // A slice header (first_mb 0, slice type I, pps 0) before any SPS/PPS, and
    // a lone SPS cut short: nothing is made up from them.
    const uint8_t bytes[] = {0xAA, 0, 0, 0, 1, 0x65, 0x88, 0x84, 0, 0, 1, 0x67, 0x42};
    CH264PictureSplitter splitter;
    std::vector<H264PictureUnit> units;
    splitter.Split(bytes, sizeof bytes, units);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_TRUE(units[0].hasSlice);
    EXPECT_FALSE(units[0].known);
    EXPECT_FALSE(units[0].intra);
    EXPECT_FALSE(units[1].hasSlice);
    splitter.Split(nullptr, 10, units);
    EXPECT_TRUE(units.empty());
}
