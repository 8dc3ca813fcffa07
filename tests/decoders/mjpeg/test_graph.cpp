// The Motion JPEG decoder behind the splitter in a running graph: the network
// source fed by the device simulator's QBox Motion JPEG streams (progressive,
// and interlaced with two field pictures a box) over UDP on 127.0.0.1, the
// splitter, the decoder ("Tarvo M-Jpeg Decoder") and a recording sink. Every
// picture that comes out is what libjpeg-turbo makes of that box's JPEG in the
// simulator's record file, row for row in B G R order.
#include "INWSource.h"
#include "JpegTestImages.h"
#include "NWTestUtil.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "TarvoGuids.h"
#include "TestKit.h"
#include "tvdevsim/DeviceSimulator.h"

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

// Each box's JPEG bytes (for the interlaced kind, both fields), in order.
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

bool TypeOffered(IPin* pin)
{
    IEnumMediaTypes* types = nullptr;
    if (FAILED(pin->EnumMediaTypes(&types)))
        return false;
    AM_MEDIA_TYPE* mt = nullptr;
    const bool known = types->Next(1, &mt, nullptr) == S_OK && mt->subtype != GUID_NULL;
    if (mt)
        DeleteMediaType(mt);
    types->Release();
    return known;
}

struct KindCase {
    const char* name;
    SimKind kind;
};

class MjpegGraphTest : public TvComTest, public ::testing::WithParamInterface<KindCase> {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_source = CreateInstance<IBaseFilter>(CLSID_TarvoNWSource, IID_IBaseFilter);
        m_splitter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
        m_decoder = CreateInstance<IBaseFilter>(CLSID_TarvoMjpegDecoder, IID_IBaseFilter);
        ASSERT_TRUE(m_source && m_splitter && m_decoder);
        m_sink = CTestSink::Create();
        m_sink->SetKeepBytes(SIZE_MAX);
        ASSERT_EQ(m_graph.Add(m_source, L"Tarvo NWSource"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        ASSERT_EQ(m_graph.Add(m_decoder, L"Tarvo M-Jpeg Decoder"), S_OK);
        ASSERT_EQ(m_graph.Add(m_sink, L"Sink"), S_OK);
        ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
        m_nw = Query<INWSource>(m_source, IID_INWSource);
        ASSERT_NE(m_nw, nullptr);
    }

    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        if (m_nw)
            m_nw->Release();
        m_graph.Close();
        for (IUnknown* u : {static_cast<IUnknown*>(m_source), static_cast<IUnknown*>(m_splitter),
                            static_cast<IUnknown*>(m_decoder), static_cast<IUnknown*>(m_sink)}) {
            if (u) {
                EXPECT_EQ(u->Release(), 0u);
            }
        }
        TvComTest::TearDown();
    }

    SimConfig Clip(SimKind kind, int port, int frames, const std::string& record = {})
    {
        SimConfig c;
        c.stream.kind = kind;
        c.stream.width = 176;
        c.stream.height = 144;
        c.port = port;
        c.frames = frames;
        c.recordPath = record;
        return c;
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

    TvFilterGraph m_graph;
    IBaseFilter* m_source = nullptr;
    IBaseFilter* m_splitter = nullptr;
    IBaseFilter* m_decoder = nullptr;
    CTestSink* m_sink = nullptr;
    INWSource* m_nw = nullptr;
};

const KindCase kKinds[] = {
    {"progressive", SimKind::QBoxMjpeg},
    {"interlaced", SimKind::QBoxMjpegInterlaced},
};

} // namespace

TEST_P(MjpegGraphTest, DecodesEveryFrameTheSimulatorSent)
{
    const SimKind kind = GetParam().kind;
    const int port = nwtest::FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_nw->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);

    // Source and splitter alone until the splitter knows the stream.
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
    ASSERT_NE(video, nullptr);
    {
        CDeviceSimulator learn;
        ASSERT_TRUE(learn.Start(Clip(kind, port, 0))) << learn.Error();
        EXPECT_TRUE(nwtest::WaitFor([&] { return TypeOffered(video); }));
        learn.Stop();
    }
    video->Release();
    LONGLONG received = -1, now = 0, unused[3];
    while (m_nw->GetStatistics(&now, &unused[0], &unused[1], &unused[2]) == S_OK &&
           now != received) {
        received = now;
        Sleep(200);
    }
    ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_decoder, L"Input"), S_OK);
    ASSERT_EQ(m_graph.Connect(m_decoder, L"Output", m_sink, nullptr), S_OK);
    LONG width = 0, height = 0;
    OutputSize(&width, &height);
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    nwtest::TempDir dir;
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(Clip(kind, port, kClipFrames, dir / "clip"))) << sim.Error();
    ASSERT_TRUE(sim.WaitFinished(60000));
    sim.Stop();
    const std::string file = nwtest::ReadFile(sim.RecordPath());
    const std::vector<Bytes> frames = JpegFrames(Bytes(file.begin(), file.end()));
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
        ASSERT_EQ(h, height) << "frame " << i;
        const Bytes want = ReferenceBgr(frames[i], width, height);
        ASSERT_EQ(pictures[i].length, static_cast<LONG>(want.size())) << "frame " << i;
        EXPECT_TRUE(pictures[i].bytes == want) << "frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(BothQBoxKinds, MjpegGraphTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                             return std::string(info.param.name);
                         });
