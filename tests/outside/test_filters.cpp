// The outside filters as the chain uses them, each created by its class
// identifier through the registry and wrapped in the test kit's harness: the
// decoders take the simulator's streams cut as the splitter cuts them, with
// the type its "Video Out" offers, and every picture shows its frame number
// where the simulator drew it; the JPEG 2000 decoder passes each frame's
// information packet on and its reduce level halves the picture (also in
// the middle of a stream, with a new output type); damaged samples are left
// behind at the next key picture; the colour-space converter and the
// deinterlacer give exactly what their scalar references give.
#include "CTestLendingSink.h"
#include "ColorConvert.h"
#include "CombDeinterlace.h"
#include "IJp2kDecoderControl.h"
#include "Jp2kFieldPair.h"
#include "OutsideFilterIds.h"
#include "OutsideTestMedia.h"
#include "TestKit.h"
#include "VideoFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <string>
#include <vector>

using namespace outsidetest;

namespace {

// What an output delivered, each picture with the size of the type it went
// out under (the agreed one until a sample brings another).
class PictureRecorder {
public:
    struct Picture {
        int width = 0;
        int height = 0;
        bool newType = false;
        std::vector<uint8_t> bytes;
    };

    // Call once the output is connected, before streaming.
    void Attach(TvHarness& h, const wchar_t* pin = L"Output")
    {
        CMediaType agreed;
        ASSERT_EQ(h.Pin(pin, PINDIR_OUTPUT)->ConnectionMediaType(&agreed), S_OK);
        ASSERT_TRUE(Yuy2TypeSize(agreed, &m_width, &m_height));
        h.Sink(pin)->SetReceiveHook([this](IMediaSample* sample) { Record(sample); });
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pictures.clear();
    }
    std::vector<Picture> Pictures()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pictures;
    }

private:
    // On the thread that delivers (the pushing one, through a transform).
    void Record(IMediaSample* sample)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        Picture p;
        AM_MEDIA_TYPE* pmt = nullptr;
        if (sample->GetMediaType(&pmt) == S_OK && pmt) {
            p.newType = true;
            EXPECT_TRUE(Yuy2TypeSize(*pmt, &m_width, &m_height));
            DeleteMediaType(pmt);
        }
        p.width = m_width;
        p.height = m_height;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        p.bytes.assign(data, data + sample->GetActualDataLength());
        m_pictures.push_back(std::move(p));
    }

    std::mutex m_lock;
    int m_width = 0;
    int m_height = 0;
    std::vector<Picture> m_pictures;
};

size_t LargestSample(const SplitterVideo& v)
{
    size_t largest = 0;
    for (const auto& s : v.samples)
        largest = std::max(largest, s.size());
    return largest;
}

// ---- The decoders on the simulator's streams ----

struct DecoderCase {
    const char* name;
    const CLSID* clsid;
    const wchar_t* filterName;
    SimKind kind;
};

const DecoderCase kDecoders[] = {
    {"mpeg2_es", &CLSID_TarvoMpeg2Decoder, TARVO_MPEG2_DECODER_NAME, SimKind::EsMpeg2},
    {"mpeg2_ts", &CLSID_TarvoMpeg2Decoder, TARVO_MPEG2_DECODER_NAME, SimKind::TsMpeg2},
    {"mpeg4_es", &CLSID_TarvoMpeg4Decoder, TARVO_MPEG4_DECODER_NAME, SimKind::EsMpeg4},
    {"mpeg4_ts", &CLSID_TarvoMpeg4Decoder, TARVO_MPEG4_DECODER_NAME, SimKind::TsMpeg4},
    {"h264_qbox", &CLSID_CoraAvcH264Decoder, CORAAVC_H264_DECODER_NAME, SimKind::QBoxH264},
    {"h264_ts192", &CLSID_CoraAvcH264Decoder, CORAAVC_H264_DECODER_NAME, SimKind::Ts192H264},
    {"jp2k", &CLSID_TarvoJp2kDecoder, TARVO_JP2K_DECODER_NAME, SimKind::Jp2kFields},
};

constexpr int kFrames = 8;
constexpr int kGop = 4;

class Decoders : public TvHarnessTest, public ::testing::WithParamInterface<DecoderCase> {
protected:
    // The filter with the splitter's type on its input and a recorder on its
    // output, paused.
    TvHarness& Chain(const SplitterVideo& v)
    {
        const DecoderCase& c = GetParam();
        TvHarness& h = Wrap(*c.clsid, c.filterName);
        EXPECT_EQ(h.Result(), S_OK);
        EXPECT_EQ(h.ConnectInput(SplitterType(c.kind, v), nullptr, 2,
                                 static_cast<LONG>(LargestSample(v))),
                  S_OK);
        EXPECT_EQ(h.ConnectOutput(L"Output"), S_OK);
        m_recorder.Attach(h);
        EXPECT_EQ(h.Pause(), S_OK);
        return h;
    }
    // The frame a picture goes out in: the HD decoder keeps the 1920 x 1080
    // the splitter announces (the picture at its top left, which the frame
    // processor cuts out), the others the picture's own size.
    void FrameSize(const SplitterVideo& v, int* width, int* height)
    {
        const bool hd = GetParam().clsid == &CLSID_CoraAvcH264Decoder;
        *width = hd ? 1920 : v.width;
        *height = hd ? 1080 : v.height;
    }

    // The picture shows frame and, in a larger frame, black beside and below it.
    void ExpectPicture(const SplitterVideo& v, const PictureRecorder::Picture& p, int64_t frame)
    {
        int width = 0, height = 0;
        FrameSize(v, &width, &height);
        ASSERT_EQ(p.width, width);
        ASSERT_EQ(p.height, height);
        ASSERT_EQ(p.bytes.size(), static_cast<size_t>(Yuy2Stride(width)) * height);
        ExpectShowsFrame(p.bytes.data(), Yuy2Stride(width), v.width, v.height, frame);
        if (width > v.width) {
            EXPECT_EQ(p.bytes[size_t(2 * v.width)], 16) << "beside the picture";
        }
        if (height > v.height) {
            EXPECT_EQ(p.bytes[size_t(Yuy2Stride(width)) * (height - 1)], 16) << "below the picture";
        }
    }

    PictureRecorder m_recorder;
};

TEST_P(Decoders, EveryPictureShowsItsFrameNumber)
{
    const SplitterVideo v = SplitterSamples(GetParam().kind, kFrames, kGop);
    ASSERT_FALSE(v.samples.empty());
    TvHarness& h = Chain(v);
    ASSERT_FALSE(HasFatalFailure());
    for (const auto& sample : v.samples)
        EXPECT_EQ(h.Push(sample), S_OK);
    EXPECT_EQ(h.PushEndOfStream(), S_OK);
    EXPECT_TRUE(h.Sink(L"Output")->WaitForEndOfStream());
    const auto pictures = m_recorder.Pictures();
    ASSERT_EQ(pictures.size(), static_cast<size_t>(kFrames));
    for (size_t i = 0; i < pictures.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "picture " << i);
        ExpectPicture(v, pictures[i], static_cast<int64_t>(i));
    }
}

// Downstream that lends its buffers (the frame processor) gets the pictures
// written into them, each showing its frame number as above; only one that
// brings a new type comes in the filter's own buffer.
TEST_P(Decoders, PicturesGoIntoTheBuffersDownstreamLends)
{
    const SplitterVideo v = SplitterSamples(GetParam().kind, kFrames, kGop);
    ASSERT_FALSE(v.samples.empty());
    const DecoderCase& c = GetParam();
    TvHarness& h = Wrap(*c.clsid, c.filterName);
    ASSERT_EQ(h.Result(), S_OK);
    ASSERT_EQ(
        h.ConnectInput(SplitterType(c.kind, v), nullptr, 2, static_cast<LONG>(LargestSample(v))),
        S_OK);
    auto* sink = new CTestLendingSink;
    sink->NonDelegatingAddRef();
    IPin* output = h.Pin(L"Output", PINDIR_OUTPUT);
    ASSERT_EQ(output->Connect(sink->GetPin(0), nullptr), S_OK);
    CMediaType agreed;
    ASSERT_EQ(output->ConnectionMediaType(&agreed), S_OK);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(h.Pause(), S_OK);
    for (const auto& sample : v.samples)
        EXPECT_EQ(h.Push(sample), S_OK);
    EXPECT_EQ(h.PushEndOfStream(), S_OK); // the decoders' last pictures come out on it
    h.Stop();
    sink->Stop();
    const auto received = sink->Samples();
    output->Disconnect();
    sink->GetPin(0)->Disconnect();
    sink->NonDelegatingRelease();
    ASSERT_EQ(received.size(), static_cast<size_t>(kFrames));
    int width = 0, height = 0;
    ASSERT_TRUE(Yuy2TypeSize(agreed, &width, &height));
    int lent = 0;
    for (size_t i = 0; i < received.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "picture " << i);
        if (received[i].type) {
            ASSERT_TRUE(Yuy2TypeSize(*received[i].type, &width, &height));
        }
        EXPECT_EQ(received[i].lent, !received[i].type.has_value());
        lent += received[i].lent ? 1 : 0;
        PictureRecorder::Picture p;
        p.width = width;
        p.height = height;
        p.bytes = received[i].bytes;
        ExpectPicture(v, p, static_cast<int64_t>(i));
    }
    EXPECT_GE(lent, kFrames - 1);
}

// Damage in the middle of a group of pictures (bytes overwritten, a sample
// cut short, an empty one and one of noise): the stream goes on, and from
// the next key picture on every frame is shown again, in order.
TEST_P(Decoders, DamageIsLeftBehindAtTheNextKeyPicture)
{
    const SplitterVideo v = SplitterSamples(GetParam().kind, kFrames, kGop);
    ASSERT_FALSE(v.samples.empty());
    TvHarness& h = Chain(v);
    ASSERT_FALSE(HasFatalFailure());
    // The samples of frames 1 and 2, by where the pictures start (each JPEG
    // 2000 sample is one frame).
    size_t from = 1, to = 3;
    if (GetParam().kind != SimKind::Jp2kFields) {
        const std::vector<size_t> starts = PictureStarts(GetParam().kind, v);
        ASSERT_GE(starts.size(), static_cast<size_t>(kFrames));
        from = starts[1];
        to = starts[3];
    }
    std::mt19937 rng(7);
    for (size_t i = 0; i < v.samples.size(); ++i) {
        std::vector<uint8_t> s = v.samples[i];
        if (i >= from && i < to) {
            for (size_t k = s.size() / 3; k < s.size(); k += 7)
                s[k] = static_cast<uint8_t>(rng());
            EXPECT_EQ(h.Push(s), S_OK);
            s.resize(s.size() / 2);
            EXPECT_EQ(h.Push(s), S_OK);
            std::vector<uint8_t> noise(333);
            for (uint8_t& b : noise)
                b = static_cast<uint8_t>(rng());
            EXPECT_EQ(h.Push(noise), S_OK);
            EXPECT_EQ(h.Push(std::vector<uint8_t>()), S_OK);
            continue;
        }
        EXPECT_EQ(h.Push(s), S_OK);
    }
    EXPECT_EQ(h.PushEndOfStream(), S_OK);
    EXPECT_TRUE(h.Sink(L"Output")->WaitForEndOfStream());
    const auto pictures = m_recorder.Pictures();
    ASSERT_GE(pictures.size(), static_cast<size_t>(kFrames - kGop));
    // The last pictures are the frames from the second key picture on.
    for (int k = 0; k < kFrames - kGop; ++k) {
        const auto& p = pictures[pictures.size() - (kFrames - kGop) + k];
        SCOPED_TRACE(testing::Message() << "frame " << kGop + k);
        ExpectPicture(v, p, kGop + k);
    }
}

INSTANTIATE_TEST_SUITE_P(Simulator, Decoders, ::testing::ValuesIn(kDecoders),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The JPEG 2000 decoder's packets and reduce level ----

class Jp2kDecoder : public TvHarnessTest {
protected:
    static void SetUpTestSuite()
    {
        s_video = new SplitterVideo(SplitterSamples(SimKind::Jp2kFields, 4, 1));
    }
    static void TearDownTestSuite()
    {
        delete s_video;
        s_video = nullptr;
    }
    // The decoder at a reduce level, its outputs connected, paused.
    TvHarness& Chain(int level)
    {
        TvHarness& h = Wrap(CLSID_TarvoJp2kDecoder, TARVO_JP2K_DECODER_NAME);
        EXPECT_EQ(h.Result(), S_OK);
        m_control = Query<IJp2kDecoderControl>(h.Filter(), IID_IJp2kDecoderControl);
        EXPECT_NE(m_control, nullptr);
        if (m_control) {
            EXPECT_EQ(m_control->SetReduceLevel(level), S_OK);
        }
        EXPECT_EQ(h.ConnectInput(SplitterType(SimKind::Jp2kFields, *s_video), nullptr, 2,
                                 static_cast<LONG>(LargestSample(*s_video))),
                  S_OK);
        EXPECT_EQ(h.ConnectOutput(L"Output"), S_OK);
        EXPECT_EQ(h.ConnectOutput(L"Info"), S_OK);
        m_recorder.Attach(h);
        EXPECT_EQ(h.Pause(), S_OK);
        return h;
    }
    void TearDown() override
    {
        if (m_control)
            m_control->Release();
        m_control = nullptr;
        TvHarnessTest::TearDown();
    }

    static SplitterVideo* s_video;
    IJp2kDecoderControl* m_control = nullptr;
    PictureRecorder m_recorder;
};
SplitterVideo* Jp2kDecoder::s_video = nullptr;

// Each picture comes after its frame's 128-byte information packet: the
// first 128 bytes of the sample.
TEST_F(Jp2kDecoder, EachPictureFollowsItsInformationPacket)
{
    TvHarness& h = Chain(0);
    ASSERT_FALSE(HasFatalFailure());
    const auto& samples = s_video->samples;
    ASSERT_EQ(samples.size(), 4u);
    for (const auto& s : samples)
        EXPECT_EQ(h.Push(s), S_OK);
    for (size_t i = 0; i < samples.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "frame " << i);
        const auto packet = h.Pull(L"Info");
        ASSERT_TRUE(packet.has_value());
        ASSERT_EQ(packet->length, static_cast<LONG>(kJp2kInfoPacketSize));
        EXPECT_TRUE(std::equal(packet->bytes.begin(), packet->bytes.end(), samples[i].begin()));
    }
    EXPECT_EQ(m_recorder.Pictures().size(), samples.size());
}

// The reduce level set before connecting gives the output type its size,
// and the pictures keep showing their frame numbers, at half the size per
// level (compared with the drawing's 2 x 2 means at level 1).
TEST_F(Jp2kDecoder, ReduceLevelHalvesThePicture)
{
    struct Case {
        int level, width, height;
    };
    const Case cases[] = {{1, 352, 288}, {2, 176, 144}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        m_recorder.Clear();
        TvHarness& h = Chain(c.level);
        ASSERT_FALSE(HasFatalFailure());
        for (const auto& s : s_video->samples)
            EXPECT_EQ(h.Push(s), S_OK);
        const auto pictures = m_recorder.Pictures();
        ASSERT_EQ(pictures.size(), s_video->samples.size());
        for (size_t i = 0; i < pictures.size(); ++i) {
            EXPECT_FALSE(pictures[i].newType);
            ASSERT_EQ(pictures[i].width, c.width);
            ASSERT_EQ(pictures[i].height, c.height);
            ASSERT_EQ(pictures[i].bytes.size(),
                      static_cast<size_t>(Yuy2Stride(c.width)) * c.height);
            if (c.level == 1)
                ExpectShowsFrame(pictures[i].bytes.data(), Yuy2Stride(c.width), s_video->width,
                                 s_video->height, static_cast<int64_t>(i), 2);
        }
        m_control->Release();
        m_control = nullptr;
        m_harness.reset();
    }
}

// A level changed while streaming: the next picture brings the new size's
// type, and the pictures after it keep that size.
TEST_F(Jp2kDecoder, LevelChangedWhileStreamingBringsANewType)
{
    TvHarness& h = Chain(0);
    ASSERT_FALSE(HasFatalFailure());
    const auto& samples = s_video->samples;
    EXPECT_EQ(h.Push(samples[0]), S_OK);
    EXPECT_EQ(h.Push(samples[1]), S_OK);
    ASSERT_EQ(m_control->SetReduceLevel(1), S_OK);
    EXPECT_EQ(h.Push(samples[2]), S_OK);
    EXPECT_EQ(h.Push(samples[3]), S_OK);
    EXPECT_EQ(m_control->SetReduceLevel(kJp2kMaxReduceLevel + 1), E_INVALIDARG);
    const auto pictures = m_recorder.Pictures();
    ASSERT_EQ(pictures.size(), 4u);
    const bool newType[] = {false, false, true, false};
    const int widths[] = {704, 704, 352, 352};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "picture " << i);
        EXPECT_EQ(pictures[i].newType, newType[i]);
        ASSERT_EQ(pictures[i].width, widths[i]);
        ASSERT_EQ(pictures[i].height, widths[i] * 576 / 704);
        ASSERT_EQ(pictures[i].bytes.size(),
                  static_cast<size_t>(Yuy2Stride(pictures[i].width)) * pictures[i].height);
        ExpectShowsFrame(pictures[i].bytes.data(), Yuy2Stride(pictures[i].width), 704, 576,
                         static_cast<int64_t>(i), 704 / widths[i]);
    }
}

// ---- The colour-space converter and the deinterlacer ----

std::vector<uint8_t> Noise(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

// A woven picture with combs: smooth first-field rows, second-field rows
// that sometimes agree with them and sometimes do not.
std::vector<uint8_t> Combed(int rowBytes, int stride, int rows, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(static_cast<size_t>(stride) * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < rowBytes; ++x) {
            const int base = (x * 3 + y) & 0xFF;
            const bool moved = y % 2 == 1 && (x / 24) % 2 == 1;
            v[static_cast<size_t>(y) * stride + x] =
                static_cast<uint8_t>(moved ? base ^ 0x80 : base + static_cast<int>(rng() % 5));
        }
    return v;
}

int DibStride(int width, int bytesPerPixel)
{
    return (width * bytesPerPixel + 3) / 4 * 4;
}

struct Geometry {
    int width;
    int height;
};
const Geometry kGeometries[] = {{176, 144}, {90, 61}, {38, 20}};

class ColourSpace : public TvHarnessTest, public ::testing::WithParamInterface<Geometry> {};

// YUY2 from the frame processor goes out as top-down RGB32, equal to the
// scalar conversion.
TEST_P(ColourSpace, Yuy2BecomesRgb32LikeTheScalarReference)
{
    const auto [w, h] = GetParam();
    TvHarness& harness = Wrap(CLSID_TarvoColorSpace, TARVO_COLOR_SPACE_NAME);
    ASSERT_EQ(harness.Result(), S_OK);
    CMediaType in;
    ASSERT_TRUE(MakeYuy2Type(&in, w, h, 400000));
    ASSERT_EQ(harness.ConnectInput(in), S_OK);
    ASSERT_EQ(harness.ConnectOutput(L"Output"), S_OK);
    CMediaType out;
    ASSERT_EQ(harness.Pin(L"Output", PINDIR_OUTPUT)->ConnectionMediaType(&out), S_OK);
    EXPECT_EQ(out.subtype, MEDIASUBTYPE_RGB32);
    ASSERT_EQ(harness.Pause(), S_OK);
    const int srcStride = Yuy2Stride(w);
    const std::vector<uint8_t> src = Noise(static_cast<size_t>(srcStride) * h, w + h);
    ASSERT_EQ(harness.Push(src), S_OK);
    const auto got = harness.Pull(L"Output");
    ASSERT_TRUE(got.has_value());
    std::vector<uint8_t> want(static_cast<size_t>(w) * 4 * h);
    Yuy2ToBgrx(src.data(), srcStride, w, h, want.data(), w * 4, ConvertPath::Scalar);
    ASSERT_EQ(got->length, static_cast<LONG>(want.size()));
    EXPECT_TRUE(got->bytes == want);
}

// YUY2 taken as YUY2 leaves as it came: the same bytes, times and flags,
// whether the sample is handed on (upstream has buffers to spare) or copied
// (one buffer upstream, or a short sample whose missing rows come out black).
TEST_P(ColourSpace, Yuy2OutGoesOnAsItCame)
{
    const auto [w, h] = GetParam();
    const int stride = Yuy2Stride(w);
    struct Case {
        const char* name;
        LONG buffers;
        int rows; // rows the sample holds
    } cases[] = {{"spare buffers", 5, h}, {"one buffer", 1, h}, {"short sample", 5, h - 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TvHarness& harness = Wrap(CLSID_TarvoColorSpace, TARVO_COLOR_SPACE_NAME);
        ASSERT_EQ(harness.Result(), S_OK);
        CMediaType in;
        ASSERT_TRUE(MakeYuy2Type(&in, w, h, 400000));
        ASSERT_EQ(harness.ConnectInput(in, nullptr, c.buffers), S_OK);
        ASSERT_EQ(harness.ConnectOutput(L"Output", &in), S_OK);
        harness.Sink(L"Output")->SetKeepBytes(static_cast<size_t>(stride) * h);
        ASSERT_EQ(harness.Pause(), S_OK);
        TvTestSample sample;
        sample.hasTime = true;
        sample.start = 4000000;
        sample.stop = 4400000;
        sample.discontinuity = true;
        sample.bytes = Noise(static_cast<size_t>(stride) * c.rows, w * 3 + c.rows);
        sample.length = static_cast<LONG>(sample.bytes.size());
        ASSERT_EQ(harness.Push(sample), S_OK);
        const auto got = harness.Pull(L"Output");
        ASSERT_TRUE(got.has_value());
        std::vector<uint8_t> want = sample.bytes;
        for (int r = c.rows; r < h; ++r)
            for (int i = 0; i < stride; ++i)
                want.push_back(i % 2 ? 128 : 16);
        ASSERT_EQ(got->length, stride * h);
        EXPECT_TRUE(got->bytes == want);
        EXPECT_EQ(got->start, 4000000);
        EXPECT_EQ(got->stop, 4400000);
        EXPECT_TRUE(got->syncPoint);
        EXPECT_TRUE(got->discontinuity);
        harness.Stop();
    }
}

// RGB24 from the Motion JPEG decoder (a bottom-up DIB) goes out as YUY2,
// equal to the scalar conversion read from the top row.
TEST_P(ColourSpace, BottomUpRgb24BecomesYuy2LikeTheScalarReference)
{
    const auto [w, h] = GetParam();
    TvHarness& harness = Wrap(CLSID_TarvoColorSpace, TARVO_COLOR_SPACE2_NAME);
    ASSERT_EQ(harness.Result(), S_OK);
    ASSERT_EQ(harness.ConnectInput(TvMakeVideoType(MEDIASUBTYPE_RGB24, w, h, 24, BI_RGB)), S_OK);
    ASSERT_EQ(harness.ConnectOutput(L"Output"), S_OK);
    CMediaType out;
    ASSERT_EQ(harness.Pin(L"Output", PINDIR_OUTPUT)->ConnectionMediaType(&out), S_OK);
    EXPECT_EQ(out.subtype, MEDIASUBTYPE_YUY2);
    ASSERT_EQ(harness.Pause(), S_OK);
    const int srcStride = DibStride(w, 3);
    const std::vector<uint8_t> src = Noise(static_cast<size_t>(srcStride) * h, w * h);
    ASSERT_EQ(harness.Push(src), S_OK);
    const auto got = harness.Pull(L"Output");
    ASSERT_TRUE(got.has_value());
    const int dstStride = Yuy2Stride(w);
    std::vector<uint8_t> want(static_cast<size_t>(dstStride) * h);
    Bgr24ToYuy2(src.data() + static_cast<size_t>(srcStride) * (h - 1), -srcStride, w, h,
                want.data(), dstStride, ConvertPath::Scalar);
    ASSERT_EQ(got->length, static_cast<LONG>(want.size()));
    EXPECT_TRUE(got->bytes == want);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ColourSpace, ::testing::ValuesIn(kGeometries),
                         [](const auto& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

struct DeinterlaceCase {
    const char* name;
    const GUID* subtype;
    int bytesPerPixel;
};
const DeinterlaceCase kDeinterlaceCases[] = {
    {"rgb24", &MEDIASUBTYPE_RGB24, 3},
    {"rgb32", &MEDIASUBTYPE_RGB32, 4},
    {"yuy2", &MEDIASUBTYPE_YUY2, 2},
};

class Deinterlacer : public TvHarnessTest, public ::testing::WithParamInterface<DeinterlaceCase> {};

// The Motion JPEG decoder's woven frames of an interlaced (MJPF) stream come
// out progressive: the same type and layout, the combs gone exactly as the
// scalar reference removes them, the still parts unchanged.
TEST_P(Deinterlacer, CombsGoAsTheScalarReferenceRemovesThem)
{
    const DeinterlaceCase& c = GetParam();
    const int w = 90, h = 64;
    TvHarness& harness = Wrap(CLSID_DeInterLaceFilter, DEINTERLACE_FILTER_NAME);
    ASSERT_EQ(harness.Result(), S_OK);
    const DWORD compression =
        c.bytesPerPixel == 2 ? MAKEFOURCC('Y', 'U', 'Y', '2') : static_cast<DWORD>(BI_RGB);
    const CMediaType in =
        TvMakeVideoType(*c.subtype, w, h, static_cast<WORD>(c.bytesPerPixel * 8), compression);
    ASSERT_EQ(harness.ConnectInput(in), S_OK);
    ASSERT_EQ(harness.ConnectOutput(L"Output"), S_OK);
    CMediaType out;
    ASSERT_EQ(harness.Pin(L"Output", PINDIR_OUTPUT)->ConnectionMediaType(&out), S_OK);
    EXPECT_EQ(out.subtype, *c.subtype);
    ASSERT_EQ(harness.Pause(), S_OK);
    const int rowBytes = w * c.bytesPerPixel;
    const int stride = DibStride(w, c.bytesPerPixel);
    const std::vector<uint8_t> src = Combed(rowBytes, stride, h, 3);
    ASSERT_EQ(harness.Push(src), S_OK);
    const auto got = harness.Pull(L"Output");
    ASSERT_TRUE(got.has_value());
    ASSERT_EQ(got->length, static_cast<LONG>(src.size()));
    // An RGB DIB with a positive height is bottom-up: its first field is the
    // picture's top row, the last in memory.
    const bool bottomUp = c.bytesPerPixel != 2;
    // The padding is part of each row for the filter; it stays zero.
    std::vector<uint8_t> want(src.size());
    const ptrdiff_t top = bottomUp ? static_cast<ptrdiff_t>(stride) * (h - 1) : 0;
    const ptrdiff_t step = bottomUp ? -stride : stride;
    DeinterlaceFrame(src.data() + top, step, want.data() + top, step, stride, h, kCombThreshold,
                     ConvertPath::Scalar);
    EXPECT_TRUE(got->bytes == want);
    EXPECT_FALSE(got->bytes == src) << "the combs were left";
}

INSTANTIATE_TEST_SUITE_P(Layouts, Deinterlacer, ::testing::ValuesIn(kDeinterlaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The modules ----

struct ModuleCase {
    const char* name;
    const CLSID* clsid;
    std::vector<const wchar_t*> outputs;
};
const ModuleCase kModules[] = {
    {"jp2k", &CLSID_TarvoJp2kDecoder, {L"Output", L"Info"}},
    {"mpeg2", &CLSID_TarvoMpeg2Decoder, {L"Output"}},
    {"mpeg4", &CLSID_TarvoMpeg4Decoder, {L"Output"}},
    {"hdh264", &CLSID_CoraAvcH264Decoder, {L"Output"}},
    {"colorspace", &CLSID_TarvoColorSpace, {L"Output"}},
    {"deinterlace", &CLSID_DeInterLaceFilter, {L"Output"}},
};

class Modules : public TvComTest, public ::testing::WithParamInterface<ModuleCase> {};

// Each filter is created by its class identifier through the registry, says
// that identifier, and has an "Input" pin and its outputs by name.
TEST_P(Modules, CreatedByClassIdentifier)
{
    const ModuleCase& c = GetParam();
    IBaseFilter* filter = CreateInstance<IBaseFilter>(*c.clsid, IID_IBaseFilter);
    ASSERT_NE(filter, nullptr);
    CLSID clsid{};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, *c.clsid);
    IPin* input = FindPin(filter, PINDIR_INPUT, L"Input");
    EXPECT_NE(input, nullptr);
    if (input)
        input->Release();
    for (const wchar_t* name : c.outputs) {
        IPin* pin = FindPin(filter, PINDIR_OUTPUT, name);
        EXPECT_NE(pin, nullptr);
        if (pin)
            pin->Release();
    }
    filter->Release();
}

INSTANTIATE_TEST_SUITE_P(Outside, Modules, ::testing::ValuesIn(kModules),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
