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
#include "ITarvoSplt.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "TSParser.h"
#include "SplitterGraphFixture.h"

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

class SplitterGraphTest : public SplitterGraphFixture,
                          public ::testing::WithParamInterface<SimKind> {
protected:
    void SetUp() override
    {
        SplitterGraphFixture::SetUp();
        m_sink = Own(CTestSink::Create(), L"Sink");
        m_sink->SetKeepBytes(SIZE_MAX);
    }

    CTestSink* m_sink = nullptr;
};

TEST_P(SplitterGraphTest, DeliversTheFramesThatWereSentInOrder)
{
    const SimKind kind = GetParam();
    LearnTheStream(Clip(kind, 0));
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_sink, nullptr), S_OK);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    const Bytes file = SendClip(Clip(kind, kClipFrames));
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
