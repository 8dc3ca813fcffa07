// One picture through the processor without the filter: the neutral path is
// a plain copy, colour and overlays work in the output, the frame callback
// sees the output and may throw, and the counters count.
#include "CPictureProcessor.h"
#include "overlay_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

struct CallbackLog {
    int calls = 0;
    BYTE* frame = nullptr;
    LONG size = 0, width = 0, height = 0;
    BYTE firstByte = 0;
};

void Record(void* user, BYTE* frame, LONG size, LONG width, LONG height)
{
    auto* log = static_cast<CallbackLog*>(user);
    ++log->calls;
    log->frame = frame;
    log->size = size;
    log->width = width;
    log->height = height;
    log->firstByte = frame[0];
}

void Throw(void*, BYTE*, LONG, LONG, LONG)
{
    throw std::runtime_error("callback failed");
}

class PictureProcessor : public ::testing::Test {
protected:
    void SetUp() override
    {
        processor.SetInputSize(64, 32);
        input.assign(64 * 2 * 32, 0);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = BYTE(i % 4 == 0 || i % 4 == 2 ? 100 : 128);
    }
    HRESULT Run(std::vector<BYTE>& out, size_t* written)
    {
        TestFrame layoutFrame(64, 32);
        TestLayoutSource source(layoutFrame.Layout());
        return processor.Process(input.data(), input.size(), out.data(), out.size(), written,
                                 source);
    }

    CPictureProcessor processor;
    std::vector<BYTE> input;
};

TEST_F(PictureProcessor, NeutralSettingsCopyOnly)
{
    std::vector<BYTE> out(input.size(), 0xEE);
    size_t written = 0;
    ASSERT_EQ(Run(out, &written), S_OK);
    EXPECT_EQ(written, input.size());
    EXPECT_EQ(out, input);
    LONGLONG samples = 0, bytes = 0;
    ASSERT_EQ(processor.GetProcessStatistics(&samples, &bytes), S_OK);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(bytes, LONGLONG(input.size()));
}

TEST_F(PictureProcessor, ColourAndOverlaysWorkInTheOutput)
{
    ASSERT_EQ(processor.Color().SetSaturation(0), S_OK); // chroma 128
    ASSERT_EQ(processor.Color().SetBrightness(0), S_OK); // luma 0
    LONG id = 0;
    ASSERT_EQ(processor.Overlays().AddEllipseOverlay(255, 255, 255, 10, 4, 40, 28, &id), S_OK);
    std::vector<BYTE> out(input.size(), 0xEE);
    size_t written = 0;
    const std::vector<BYTE> original = input;
    ASSERT_EQ(Run(out, &written), S_OK);
    EXPECT_EQ(input, original); // the input is never touched
    size_t white = 0, black = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
        white += out[i] == 255;
        black += out[i] == 0;
    }
    EXPECT_GT(white, 0u);
    EXPECT_GT(black, white);
    EXPECT_EQ(white + black, out.size() / 2);
}

TEST_F(PictureProcessor, CallbackSeesTheOutputAndMayThrow)
{
    CallbackLog log;
    ASSERT_EQ(processor.SetFrameCallback(Record, &log), S_OK);
    std::vector<BYTE> out(input.size() + 100, 0);
    size_t written = 0;
    ASSERT_EQ(Run(out, &written), S_OK);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.frame, out.data());
    EXPECT_EQ(log.size, LONG(input.size()));
    EXPECT_EQ(log.width, 64);
    EXPECT_EQ(log.height, 32);
    EXPECT_EQ(log.firstByte, 100);

    ASSERT_EQ(processor.SetFrameCallback(Throw, nullptr), S_OK);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Run(out, &written), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "abc\n");

    ASSERT_EQ(processor.SetFrameCallback(nullptr, &log), S_OK); // off
    ASSERT_EQ(Run(out, &written), S_OK);
    EXPECT_EQ(log.calls, 1);
}

TEST_F(PictureProcessor, AFailedCopyStopsThePicture)
{
    CallbackLog log;
    processor.SetFrameCallback(Record, &log);
    ASSERT_EQ(processor.SetCutMode(1600, 1200, 6), S_OK); // tiles need a 1080p input
    std::vector<BYTE> out(1600 * 2 * 1200);
    size_t written = 0;
    EXPECT_EQ(Run(out, &written), E_FAIL);
    EXPECT_EQ(log.calls, 0);
    LONGLONG samples = 0, bytes = 0;
    processor.GetProcessStatistics(&samples, &bytes);
    EXPECT_EQ(samples, 1); // counted all the same
    processor.ResetStatistics();
    processor.GetProcessStatistics(&samples, &bytes);
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(bytes, 0);
}

// Random geometry, sizes of either parity, colour and overlays over the
// picture: a picture the plan accepts is processed into exactly its output
// bytes, one it refuses writes nothing, and (under the address sanitizer) no
// step reads or writes outside the two buffers, which are exactly as large as
// the plan says or smaller.
TEST(PictureProcessorGeometry, AnyCutStaysInsideItsBuffers)
{
    std::mt19937 rng(20261208);
    auto pick = [&](int lo, int hi) { return int(rng() % unsigned(hi - lo + 1)) + lo; };
    int processed = 0, crops = 0;
    for (int round = 0; round < 1500; ++round) {
        CPictureProcessor processor;
        const LONG w = pick(1, 140), h = pick(1, 70);
        processor.SetInputSize(w, h);
        if (rng() % 3)
            processor.SetCutRect(pick(-50, 200), pick(-50, 100), pick(-5, 200), pick(-5, 100));
        else
            processor.SetCutMode(pick(-5, 200), pick(-5, 100), pick(0, 8));
        processor.Color().SetBrightness(pick(0, 255));
        processor.Color().SetSaturation(pick(0, 255));
        LONG id = 0;
        processor.Overlays().AddEllipseOverlay(255, 0, 0, pick(-20, 150), pick(-20, 80),
                                               pick(-20, 150), pick(-20, 80), &id);
        const PicturePlan plan = processor.Plan();
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << w << "x" << h << " to "
                                        << plan.outWidth << "x" << plan.outHeight);
        std::vector<BYTE> in(size_t(Yuy2PictureBytes(w, h)), 0x80);
        const bool fits = plan.kind != PicturePlan::Kind::kInvalid && plan.outBytes > 0;
        const size_t room = fits ? size_t(plan.outBytes) - (rng() % 4 == 0 ? 1 : 0) : 64;
        std::vector<BYTE> out(room, 0xEE);
        TestFrame layoutFrame(std::max<LONG>(plan.outWidth, 2), std::max<LONG>(plan.outHeight, 1));
        TestLayoutSource source(layoutFrame.Layout());
        size_t written = 0;
        const HRESULT hr =
            processor.Process(in.data(), in.size(), out.data(), out.size(), &written, source);
        if (hr == S_OK) {
            ++processed;
            crops += plan.kind == PicturePlan::Kind::kCrop;
            EXPECT_EQ(written, size_t(plan.outBytes));
        } else {
            EXPECT_EQ(out, std::vector<BYTE>(room, 0xEE));
        }
        if (fits && room == size_t(plan.outBytes) && in.size() >= size_t(plan.inBytes)) {
            EXPECT_EQ(hr, S_OK);
        }
    }
    // A third of the rounds or more process a picture, most of them cropped
    // (589 and 402 with this seed).
    EXPECT_GT(processed, 500);
    EXPECT_GT(crops, 300);
}

} // namespace
