// The splitter fed by the real network source in a running filter graph, with
// the device simulator sending every live stream kind over UDP on 127.0.0.1,
// and a recording sink on "Video Out". The graph is used as the player uses
// it: it runs with only the source and the splitter until "Video Out" offers
// the stream's type, is stopped, gets the sink, and runs again; then the
// simulator sends a clip and writes it to a record file. What reaches the
// sink must be the clip's video as the record file holds it, byte for byte,
// in order: frame by frame for framed streams, as one byte stream for
// elementary streams and QBox H.264 (whose units are copied as they arrive).
#include "CodecKind.h"
#include "DeviceFrameHeader.h"
#include "INWSource.h"
#include "ITarvoSplt.h"
#include "JP2KFieldHeader.h"
#include "NWTestUtil.h"
#include "QBox.h"
#include "TSParser.h"
#include "TarvoGuids.h"
#include "TestKit.h"
#include "tvdevsim/DeviceSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace tvdevsim;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kClipFrames = 25;

// The video of a record file as the splitter delivers it.
struct ExpectedVideo {
    std::vector<Bytes> units;
    bool stream = false; // units are joined: only the bytes count
    size_t heldBack = 0; // units (framed) or bytes (stream) the end may keep back
};

ExpectedVideo DeviceFrames(const Bytes& file)
{
    ExpectedVideo e;
    size_t at = 0;
    DeviceFrameHeader h;
    while (ReadDeviceFrameHeader(std::span(file).subspan(at), h) && h.PayloadLength() >= 0 &&
           at + h.totalLength <= file.size()) {
        if (!h.voice)
            e.units.emplace_back(file.begin() + at + h.HeaderSize(),
                                 file.begin() + at + h.totalLength);
        at += h.totalLength;
    }
    e.heldBack = 1; // a frame shorter than the 192-byte minimum at the very end
    return e;
}

ExpectedVideo Jpeg2000Frames(const Bytes& file)
{
    ExpectedVideo e;
    size_t at = 0;
    JP2KFieldHeader first, second;
    while (ReadJP2KFieldHeader(std::span(file).subspan(at), first)) {
        size_t next = at + kJP2KFieldHeaderSize + first.codestreamLength;
        if (!ReadJP2KFieldHeader(std::span(file).subspan(next), second))
            break;
        size_t end = next + kJP2KFieldHeaderSize + second.codestreamLength;
        e.units.emplace_back(file.begin() + at, file.begin() + end);
        at = end;
    }
    e.heldBack = 1; // the last pair waits for a header behind it
    return e;
}

ExpectedVideo QBoxVideo(const Bytes& file)
{
    ExpectedVideo e;
    Bytes h264;
    QBoxWalker walker(file);
    QBoxRef box;
    while (walker.Next(box)) {
        size_t offset = 0, length = 0;
        if (!box.complete || !LocateQBoxMedia(box.header, box.bytes, offset, length))
            continue;
        if (IsQBoxH264Stream(box.header.streamType))
            AppendNalUnitsAsStartCodes(box.bytes.subspan(offset, length), h264);
        else if (box.header.streamType == kQBoxStreamJpeg)
            e.units.emplace_back(box.bytes.begin() + offset, box.bytes.begin() + offset + length);
    }
    if (!h264.empty()) {
        e.units = {h264};
        e.stream = true;
        e.heldBack = 192;
    }
    return e;
}

ExpectedVideo TransportPayloads(const Bytes& file, size_t packetSize)
{
    ExpectedVideo e;
    for (size_t at = packetSize - TSParser::kPacketSize; at + TSParser::kPacketSize <= file.size();
         at += packetSize) {
        TsPacketPayload p;
        if (TSParser::ExtractPacketPayload(std::span(file).subspan(at, TSParser::kPacketSize), p) &&
            p.pid == 0x100 && p.length > 0)
            e.units.emplace_back(file.begin() + at + p.offset,
                                 file.begin() + at + p.offset + p.length);
    }
    e.heldBack = 2; // a packet needs 192 bytes buffered (192-byte ones the next one's prefix)
    return e;
}

ExpectedVideo Expected(SimKind kind, const Bytes& file)
{
    switch (kind) {
    case SimKind::Device40:
    case SimKind::Device36:
    case SimKind::DeviceFieldD1:
        return DeviceFrames(file);
    case SimKind::Jp2kFields:
        return Jpeg2000Frames(file);
    case SimKind::QBoxH264:
    case SimKind::QBoxMjpeg:
    case SimKind::QBoxMjpegInterlaced:
        return QBoxVideo(file);
    case SimKind::TsMpeg2:
    case SimKind::TsMpeg4:
    case SimKind::TsH264:
        return TransportPayloads(file, 188);
    case SimKind::Ts192H264:
        return TransportPayloads(file, 192);
    default: {
        ExpectedVideo e; // elementary streams: every byte; the last unit's end is unknown
        e.units = {file};
        e.stream = true;
        e.heldBack = 192;
        return e;
    }
    }
}

bool VideoTypeOffered(IPin* video)
{
    IEnumMediaTypes* types = nullptr;
    if (FAILED(video->EnumMediaTypes(&types)))
        return false;
    AM_MEDIA_TYPE* mt = nullptr;
    bool known = types->Next(1, &mt, nullptr) == S_OK && mt->majortype == MEDIATYPE_Video &&
                 mt->subtype != GUID_NULL;
    if (mt)
        DeleteMediaType(mt);
    types->Release();
    return known;
}

class SplitterGraphTest : public TvComTest, public ::testing::WithParamInterface<SimKind> {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_source = CreateInstance<IBaseFilter>(CLSID_TarvoNWSource, IID_IBaseFilter);
        m_splitter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
        ASSERT_TRUE(m_source && m_splitter);
        m_sink = CTestSink::Create();
        m_sink->SetKeepBytes(SIZE_MAX);
        ASSERT_EQ(m_graph.Add(m_source, L"Tarvo NWSource"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
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
                            static_cast<IUnknown*>(m_sink)}) {
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
        if (kind != SimKind::DeviceFieldD1) {
            c.stream.width = 176;
            c.stream.height = 144;
        }
        c.stream.gop = 5;
        c.transport = SimTransport::Udp;
        c.port = port;
        c.frames = frames;
        c.recordPath = record;
        return c;
    }

    TvFilterGraph m_graph;
    IBaseFilter* m_source = nullptr;
    IBaseFilter* m_splitter = nullptr;
    CTestSink* m_sink = nullptr;
    INWSource* m_nw = nullptr;
};

TEST_P(SplitterGraphTest, DeliversTheFramesThatWereSentInOrder)
{
    const SimKind kind = GetParam();
    const int port = nwtest::FreePort(SOCK_DGRAM);
    ASSERT_EQ(m_nw->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);

    // Source and splitter alone until the splitter knows the stream.
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
    ASSERT_NE(video, nullptr);
    {
        CDeviceSimulator learn;
        ASSERT_TRUE(learn.Start(Clip(kind, port, 0))) << learn.Error();
        EXPECT_TRUE(nwtest::WaitFor([&] { return VideoTypeOffered(video); }));
        learn.Stop();
    }
    // Let the last datagrams of that stream arrive before the graph stops (the
    // network source drops what arrived while stopped).
    LONGLONG received = -1, now = 0, unused[3];
    while (m_nw->GetStatistics(&now, &unused[0], &unused[1], &unused[2]) == S_OK &&
           now != received) {
        received = now;
        Sleep(200);
    }
    ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_sink, nullptr), S_OK);
    video->Release();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    nwtest::TempDir dir;
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(Clip(kind, port, kClipFrames, dir / "clip"))) << sim.Error();
    ASSERT_TRUE(sim.WaitFinished(60000));
    sim.Stop();
    const Bytes file = [&] {
        std::string s = nwtest::ReadFile(sim.RecordPath());
        return Bytes(s.begin(), s.end());
    }();
    ASSERT_FALSE(file.empty());
    const ExpectedVideo expected = Expected(kind, file);
    ASSERT_FALSE(expected.units.empty());

    if (expected.stream) {
        const Bytes& all = expected.units[0];
        ASSERT_TRUE(nwtest::WaitFor([&] {
            return m_sink->ByteCount() + expected.heldBack >= all.size();
        })) << m_sink->ByteCount()
            << " of " << all.size();
        const std::string bytes = m_sink->Bytes();
        const Bytes got(bytes.begin(), bytes.end());
        ASSERT_LE(got.size(), all.size());
        const auto differ = std::mismatch(got.begin(), got.end(), all.begin());
        EXPECT_EQ(differ.first, got.end()) << "the bytes differ from byte "
                                           << (differ.first - got.begin()) << " of " << got.size();
    } else {
        const size_t want = expected.units.size() - expected.heldBack;
        ASSERT_TRUE(nwtest::WaitFor([&] { return m_sink->SampleCount() >= want; }))
            << m_sink->SampleCount() << " of " << expected.units.size();
        const std::vector<TvStreamEvent> samples = m_sink->Samples();
        ASSERT_LE(samples.size(), expected.units.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            ASSERT_EQ(samples[i].bytes, expected.units[i]) << "frame " << i;
            EXPECT_EQ(samples[i].timeResult, VFW_E_SAMPLE_TIME_NOT_SET) << "frame " << i;
        }
    }
    // The first sample told the graph.
    LONG_PTR param = 0;
    LONG code = 0;
    while ((code = m_graph.NextEvent(0, &param)) != 0 && !(code == EC_USER && param == 10011)) {
    }
    EXPECT_EQ(code, EC_USER);
}

INSTANTIATE_TEST_SUITE_P(EveryLiveKind, SplitterGraphTest, ::testing::ValuesIn(kAllKinds),
                         [](const ::testing::TestParamInfo<SimKind>& info) {
                             std::string name = KindName(info.param);
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
