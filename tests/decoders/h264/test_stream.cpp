// The simulator's device H.264 streams through the filter and its decoder
// library on the test kit: each picture shows the simulator's frame number
// where the simulator drew it.
#include "H264FilterRig.h"
#include "H264TestStreams.h"

#include <dvdmedia.h>

#include <gtest/gtest.h>

using namespace h264test;
using tvdevsim::SimKind;

namespace {

std::vector<TvTestSample> AsSamples(const std::vector<VideoSample>& video)
{
    std::vector<TvTestSample> samples;
    for (const VideoSample& v : video)
        samples.push_back(H264FilterRig::Bytes(v.bytes));
    return samples;
}

} // namespace

// Field-coded D1 (704 x 288 fields, a key frame every second frame): one
// 704 x 576 frame per sample; its even rows are the top field, so the number
// plate there equals the drawing of the last key frame exactly, and the
// number of the frame after it does not.
TEST(H264DecoderStream, FieldCodedD1ShowsTheFrameNumber)
{
    const auto video = DeviceVideo(SimKind::DeviceFieldD1, 0, 0, 6, 2);
    ASSERT_EQ(video.size(), 6u);
    H264FilterRig rig(DeviceH264Library(), DeviceH264Type(704, 576));
    rig.Connect();
    rig.Sink()->SetKeepBytes(704 * 576 * 2);
    rig.Run(AsSamples(video));
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), video.size());
    const Region plate = NumberPlate(576);
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        ASSERT_EQ(samples[i].length, 704 * 576 * 2);
        EXPECT_FALSE(samples[i].typeChanged);
        const auto want = Drawing(704, 576, video[i].frameIndex / 2 * 2, true);
        const auto other = Drawing(704, 576, video[i].frameIndex / 2 * 2 + 2, true);
        size_t differing = 0, differingOther = 0;
        for (int y = 2; y < plate.height; y += 2)
            for (int x = 0; x < plate.width; ++x) {
                const uint8_t got = samples[i].bytes[static_cast<size_t>(y) * 1408 + 2 * x];
                differing += got != std::max<uint8_t>(1, want.y[y * 704 + x]);
                differingOther += got != std::max<uint8_t>(1, other.y[y * 704 + x]);
            }
        EXPECT_EQ(differing, 0u);
        EXPECT_GT(differingOther, 0u);
    }
}

// 1080p from libx264: the splitter's type says 1920 x 1088 (the coded height);
// the first picture brings the 1920 x 1080 type, and every picture's number
// plate is close to the drawing of its own frame number.
TEST(H264DecoderStream, Device1080pShowsTheFrameNumber)
{
    const auto video = DeviceVideo(SimKind::Device40, 1920, 1080, 5, 25);
    ASSERT_GT(video.size(), 5u); // pictures of 1080p come in pieces
    H264FilterRig rig(DeviceH264Library(), DeviceH264Type(1920, 1088));
    rig.Connect();
    rig.Sink()->SetKeepBytes(1920 * 1080 * 2);
    rig.Run(AsSamples(video));
    const auto samples = rig.Sink()->Samples();
    ASSERT_EQ(samples.size(), 5u);
    ASSERT_TRUE(samples[0].typeChanged);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(samples[0].type.Format());
    ASSERT_NE(vih, nullptr);
    EXPECT_EQ(vih->bmiHeader.biWidth, 1920);
    EXPECT_EQ(vih->bmiHeader.biHeight, 1080);
    const Region plate = NumberPlate(1080);
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        ASSERT_EQ(samples[i].length, 1920 * 1080 * 2);
        const double own = RegionPsnr(samples[i].bytes.data(), 3840, 2,
                                      Drawing(1920, 1080, static_cast<int64_t>(i), false), plate);
        const double next =
            RegionPsnr(samples[i].bytes.data(), 3840, 2,
                       Drawing(1920, 1080, static_cast<int64_t>(i) + 1, false), plate);
        EXPECT_GT(own, 30.0);
        EXPECT_GT(own, next + 3.0);
    }
}
