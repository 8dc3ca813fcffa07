// The Motion JPEG decoder behind the splitter in a running graph: the network
// source fed by the device simulator's QBox Motion JPEG stream over UDP on
// 127.0.0.1, the splitter, the decoder ("Tarvo M-Jpeg Decoder") and a
// recording sink. Every picture that comes out is what libjpeg-turbo makes of
// that box's JPEG in the simulator's record file, row for row in B G R order.
// The interlaced kind's boxes carry two field JPEGs of half the announced
// height, top field first: its pictures are the two woven row by row.
#include "JpegTestImages.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "SplitterGraphFixture.h"

#include <dvdmedia.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace tvdevsim;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kClipFrames = 25;

// Each box's JPEG bytes, in order.
std::vector<Bytes> JpegFrames(const Bytes& file)
{
    std::vector<Bytes> frames;
    QBoxWalker walker(file);
    QBoxRef box;
    while (walker.Next(box)) {
        size_t offset = 0, length = 0;
        if (box.complete && box.header.streamType == kQBoxStreamJpeg &&
            LocateQBoxMedia(box.header, box.bytes, offset, length))
            frames.emplace_back(box.bytes.begin() + offset, box.bytes.begin() + offset + length);
    }
    return frames;
}

struct KindCase {
    const char* name;
    SimKind kind;
};

class MjpegGraphTest : public SplitterGraphFixture, public ::testing::WithParamInterface<KindCase> {
protected:
    void SetUp() override
    {
        SplitterGraphFixture::SetUp();
        m_decoder = Own(CreateInstance<IBaseFilter>(CLSID_TarvoMjpegDecoder, IID_IBaseFilter),
                        L"Tarvo M-Jpeg Decoder");
        m_sink = Own(CTestSink::Create(), L"Sink");
        m_sink->SetKeepBytes(SIZE_MAX);
    }

    // The picture size the decoder's output is connected with.
    void OutputSize(LONG* width, LONG* height)
    {
        *width = *height = 0;
        IPin* out = FindPin(m_decoder, PINDIR_OUTPUT, L"Output");
        AM_MEDIA_TYPE mt{};
        if (out && out->ConnectionMediaType(&mt) == S_OK) {
            if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
                const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
                *width = vih->bmiHeader.biWidth;
                *height = -vih->bmiHeader.biHeight;
            }
            FreeMediaType(mt);
        }
        if (out)
            out->Release();
    }

    IBaseFilter* m_decoder = nullptr;
    CTestSink* m_sink = nullptr;
};

const KindCase kKinds[] = {
    {"progressive", SimKind::QBoxMjpeg},
    {"interlaced", SimKind::QBoxMjpegInterlaced},
};

// The picture a box's JPEG bytes make, in B G R rows: one JPEG, or the two
// fields of an interlaced box woven.
Bytes ExpectedPicture(SimKind kind, const Bytes& jpeg, int width, int height)
{
    if (kind != SimKind::QBoxMjpegInterlaced)
        return ReferenceBgr(jpeg, width, height);
    size_t second = 2;
    while (second + 2 < jpeg.size() &&
           !(jpeg[second] == 0xFF && jpeg[second + 1] == 0xD8 && jpeg[second + 2] == 0xFF))
        ++second;
    const Bytes top = ReferenceBgr(Bytes(jpeg.begin(), jpeg.begin() + second), width, height / 2);
    const Bytes bottom = ReferenceBgr(Bytes(jpeg.begin() + second, jpeg.end()), width, height / 2);
    const size_t row = Stride(width);
    Bytes woven(row * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(woven.data() + y * row, (y % 2 ? bottom : top).data() + (y / 2) * row, row);
    return woven;
}

} // namespace

TEST_P(MjpegGraphTest, DecodesEveryFrameTheSimulatorSent)
{
    const SimKind kind = GetParam().kind;
    LearnTheStream(Clip(kind, 0));
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_decoder, L"Input"), S_OK);
    ASSERT_EQ(m_graph.Connect(m_decoder, L"Output", m_sink, nullptr), S_OK);
    LONG width = 0, height = 0;
    OutputSize(&width, &height);
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    const std::vector<Bytes> frames = JpegFrames(SendClip(Clip(kind, kClipFrames)));
    ASSERT_GE(frames.size(), static_cast<size_t>(kClipFrames));

    // The last box may wait for the one behind it.
    ASSERT_TRUE(nwtest::WaitFor([&] { return m_sink->SampleCount() + 1 >= frames.size(); }))
        << m_sink->SampleCount() << " of " << frames.size();
    const std::vector<TvStreamEvent> pictures = m_sink->Samples();
    ASSERT_LE(pictures.size(), frames.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        int w = 0, h = 0;
        ReferenceDecodeRgb(frames[i], &w, &h);
        ASSERT_EQ(w, width) << "frame " << i;
        ASSERT_EQ(h, kind == SimKind::QBoxMjpegInterlaced ? height / 2 : height) << "frame " << i;
        const Bytes want = ExpectedPicture(kind, frames[i], width, height);
        ASSERT_EQ(pictures[i].length, static_cast<LONG>(want.size())) << "frame " << i;
        EXPECT_TRUE(pictures[i].bytes == want) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(QBoxKinds, MjpegGraphTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                             return std::string(info.param.name);
                         });
