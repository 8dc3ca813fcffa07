// The Motion JPEG decoder filter ("Tarvo M-Jpeg Decoder") on the test kit,
// created through the registry: the input types it takes and the picture size
// they give (the 1216 x 1024 fallback), the output type it offers, and the
// frames a push source feeds it, as a recording sink receives them.
#include "IMjpegDecoderControl.h"
#include "JpegTestImages.h"
#include "TarvoGuids.h"
#include "TarvoMediaTypes.h"
#include "TestKit.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kFourccMjpg = 0x47504A4D; // 'MJPG'
constexpr DWORD kCompressionRgb0 = 0x30424752;
constexpr LONG kInputBuffer = 1 << 20;

enum class Block { VideoInfo, VideoInfo2 };

CMediaType MjpegType(Block block, LONG width, LONG height, REFERENCE_TIME perFrame = 400000)
{
    return block == Block::VideoInfo
               ? TvMakeVideoType(MEDIASUBTYPE_TarvoMjpeg, width, height, 24, kFourccMjpg, perFrame)
               : TvMakeVideoType2(MEDIASUBTYPE_TarvoMjpeg, width, height, 24, kFourccMjpg,
                                  perFrame);
}

// Every type the output pin offers, in order.
std::vector<CMediaType> OfferedTypes(IPin* pin)
{
    std::vector<CMediaType> types;
    IEnumMediaTypes* e = nullptr;
    if (!pin || FAILED(pin->EnumMediaTypes(&e)))
        return types;
    AM_MEDIA_TYPE* mt = nullptr;
    while (e->Next(1, &mt, nullptr) == S_OK) {
        types.emplace_back(*mt);
        DeleteMediaType(mt);
    }
    e->Release();
    return types;
}

class MjpegDecoderFilterTest : public TvHarnessTest {
protected:
    TvHarness& Decoder()
    {
        TvHarness& h = Wrap(CLSID_TarvoMjpegDecoder, L"Tarvo M-Jpeg Decoder");
        EXPECT_EQ(h.Result(), S_OK);
        return h;
    }
    // Connected with that type, a sink keeping every byte on "Output", running.
    void Play(TvHarness& h, const CMediaType& type)
    {
        ASSERT_EQ(h.ConnectInput(type, L"Input", 2, kInputBuffer), S_OK);
        ASSERT_EQ(h.ConnectOutput(L"Output"), S_OK);
        h.Sink(L"Output")->SetKeepBytes(SIZE_MAX);
        ASSERT_EQ(h.Pause(), S_OK);
        ASSERT_EQ(h.Run(), S_OK);
    }
};

} // namespace

// A type is taken only as video, with a video-info block of either kind, of
// the Motion JPEG subtype; the picture size it gives is what the output type
// describes, with 1216 x 1024 for a size that is not positive (or that no
// JPEG frame can have), and the time per frame kept either way.
TEST_F(MjpegDecoderFilterTest, InputTypesGiveThePictureSizeOfTheOutputType)
{
    const struct {
        const char* name;
        CMediaType type;
        bool accepted;
        LONG width, height;
    } cases[] = {
        {"704 x 576", MjpegType(Block::VideoInfo, 704, 576), true, 704, 576},
        {"704 x 576 in a VIDEOINFOHEADER2", MjpegType(Block::VideoInfo2, 704, 576), true, 704, 576},
        {"bottom-up height", MjpegType(Block::VideoInfo, 352, -288), true, 1216, 1024},
        {"width 0 falls back", MjpegType(Block::VideoInfo, 0, 576), true, 1216, 1024},
        {"height 0 falls back", MjpegType(Block::VideoInfo2, 704, 0), true, 1216, 1024},
        {"wider than any JPEG", MjpegType(Block::VideoInfo, 70000, 16), true, 1216, 1024},
        {"an odd width", MjpegType(Block::VideoInfo, 101, 37), true, 101, 37},
        {"RGB24 is not Motion JPEG", TvMakeVideoType(MEDIASUBTYPE_RGB24, 704, 576, 24, BI_RGB),
         false, 0, 0},
        {"audio", TvMakePcmType(8000, 1), false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TvHarness& h = Decoder();
        const HRESULT hr = h.ConnectInput(c.type, L"Input", 2, kInputBuffer);
        if (!c.accepted) {
            EXPECT_TRUE(FAILED(hr));
            continue;
        }
        ASSERT_EQ(hr, S_OK);
        const std::vector<CMediaType> offered = OfferedTypes(h.Pin(L"Output", PINDIR_OUTPUT));
        ASSERT_EQ(offered.size(), 2u) << "one type, at positions 0 and 1";
        EXPECT_TRUE(offered[0] == offered[1]);
        const CMediaType& out = offered[0];
        EXPECT_EQ(*out.Type(), MEDIATYPE_Video);
        EXPECT_EQ(*out.Subtype(), MEDIASUBTYPE_RGB24);
        ASSERT_EQ(*out.FormatType(), FORMAT_VideoInfo2);
        ASSERT_EQ(out.FormatLength(), sizeof(VIDEOINFOHEADER2));
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(out.Format());
        EXPECT_EQ(vih->AvgTimePerFrame, 400000);
        EXPECT_EQ(vih->dwPictAspectRatioX, 16u);
        EXPECT_EQ(vih->dwPictAspectRatioY, 9u);
        EXPECT_EQ(vih->bmiHeader.biWidth, c.width);
        EXPECT_EQ(vih->bmiHeader.biHeight, -c.height);
        EXPECT_EQ(vih->bmiHeader.biBitCount, 24);
        EXPECT_EQ(vih->bmiHeader.biCompression, kCompressionRgb0);
        const size_t image = Stride(c.width) * static_cast<size_t>(c.height);
        EXPECT_EQ(vih->bmiHeader.biSizeImage, image);
        EXPECT_EQ(out.GetSampleSize(), image);
        EXPECT_FALSE(out.IsTemporalCompressed());
        // The sink's allocator holds a whole picture.
        ASSERT_EQ(h.ConnectOutput(L"Output"), S_OK);
    }
}

// Connected with width 0 the filter decodes 1216 x 1024 pictures into rows of
// 3648 bytes; a frame of another size, an empty sample and bytes that are no
// JPEG are dropped, a truncated frame still gives a whole picture, and each
// picture keeps its frame's times.
TEST_F(MjpegDecoderFilterTest, FramesOfTheAgreedSizeBecomePicturesAndTheRestAreDropped)
{
    TvHarness& h = Decoder();
    Play(h, MjpegType(Block::VideoInfo, 0, 0));
    const Bytes big = EncodeJpeg(1216, 1024);
    const Bytes bigBgr = ReferenceBgr(big, 1216, 1024);
    ASSERT_EQ(Stride(1216), 3648u);
    const Bytes noise(5000, 0x5A);
    const struct {
        const char* name;
        Bytes frame;
        bool picture;
        bool whole; // the picture equals the untruncated frame's
    } cases[] = {
        {"1216 x 1024", big, true, true},
        {"704 x 576 at 1216 x 1024", EncodeJpeg(704, 576), false, false},
        {"empty", {}, false, false},
        {"no JPEG", noise, false, false},
        {"truncated", Bytes(big.begin(), big.begin() + big.size() / 2), true, false},
        {"1216 x 1024 after the faults", big, true, true},
    };
    REFERENCE_TIME t = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TvTestSample s = TvTimedSample(t, t + 400000, c.frame);
        s.length = static_cast<LONG>(c.frame.size());
        const size_t before = h.Sink(L"Output")->SampleCount();
        ASSERT_EQ(h.Push(s), S_OK) << "a dropped frame does not stop the stream";
        // Transform runs on the pushing thread: what it gives is there now.
        const size_t after = h.Sink(L"Output")->SampleCount();
        ASSERT_EQ(after - before, c.picture ? 1u : 0u);
        if (c.picture) {
            const std::optional<TvStreamEvent> e = h.Pull(L"Output");
            ASSERT_TRUE(e);
            EXPECT_EQ(e->length, 3648 * 1024);
            EXPECT_EQ(e->start, t);
            EXPECT_EQ(e->stop, t + 400000);
            ASSERT_EQ(e->bytes.size(), bigBgr.size());
            EXPECT_EQ(std::memcmp(e->bytes.data(), bigBgr.data(), bigBgr.size()) == 0, c.whole);
            // Even a truncated frame's first rows are whole.
            EXPECT_EQ(std::memcmp(e->bytes.data(), bigBgr.data(), 16 * 3648), 0);
        }
        t += 400000;
    }
}

// The private interface answers through its one slot behind IUnknown's three.
TEST_F(MjpegDecoderFilterTest, ControlInterfaceIsOfferedAndAcceptsItsOption)
{
    TvHarness& h = Decoder();
    IMjpegDecoderControl* control =
        Query<IMjpegDecoderControl>(h.Filter(), IID_IMjpegDecoderControl);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(SameObject(control, h.Filter()));
    using SetOptionSlot = HRESULT (*)(IMjpegDecoderControl*, LONG);
    auto** vtable = *reinterpret_cast<void***>(control);
    EXPECT_EQ(reinterpret_cast<SetOptionSlot>(vtable[3])(control, 7), S_OK);
    control->Release();
}
