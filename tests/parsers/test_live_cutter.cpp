#include "StreamBuilders.h"

#include "Adts.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "LiveCutter.h"
#include "QBox.h"
#include "TsWriter.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Payload(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i);
    return b;
}

TEST(DeviceFrameCutting, VideoAndVoiceFramesOneByOne)
{
    Bytes stream(7, 0x00); // bytes before the first header are skipped
    DeviceFrameFields f;
    ASSERT_TRUE(AppendDeviceFrame(stream, f, Payload(300, 1)));
    ASSERT_TRUE(AppendVoiceFrame(stream, f, Payload(164, 2)));
    ASSERT_TRUE(AppendDeviceFrame(stream, f, Payload(50, 3)));
    f.layout = DeviceHeaderLayout::Header36;
    ASSERT_TRUE(AppendVoiceFrame(stream, f, Payload(20, 4)));

    std::span<const uint8_t> rest(stream);
    DeviceFrameCut cut = CutDeviceFrame(rest);
    ASSERT_EQ(cut.result, LiveCut::Video);
    EXPECT_EQ(cut.payloadOffset, 7u + 40);
    EXPECT_EQ(cut.payloadLength, 300u);
    EXPECT_EQ(cut.consumed, 7u + 340);
    rest = rest.subspan(cut.consumed);

    cut = CutDeviceFrame(rest);
    ASSERT_EQ(cut.result, LiveCut::Voice);
    EXPECT_EQ(Bytes(rest.begin() + cut.payloadOffset,
                    rest.begin() + cut.payloadOffset + cut.payloadLength),
              Payload(164, 2));
    rest = rest.subspan(cut.consumed);

    cut = CutDeviceFrame(rest);
    ASSERT_EQ(cut.result, LiveCut::Video);
    rest = rest.subspan(cut.consumed);

    cut = CutDeviceFrame(rest);
    ASSERT_EQ(cut.result, LiveCut::Voice);
    EXPECT_EQ(cut.payloadOffset, 36u);
    EXPECT_EQ(cut.payloadLength, 20u);
    rest = rest.subspan(cut.consumed);
    EXPECT_TRUE(rest.empty());
    EXPECT_EQ(CutDeviceFrame(rest).result, LiveCut::NotFound);
}

TEST(DeviceFrameCutting, TotalLength39DropsFortyBytes)
{
    Bytes stream;
    DeviceFrameFields f;
    ASSERT_TRUE(AppendDeviceFrame(stream, f, Payload(100, 1)));
    WriteLE16(&stream[14], 39);
    DeviceFrameCut cut = CutDeviceFrame(stream);
    EXPECT_EQ(cut.result, LiveCut::Drop);
    EXPECT_EQ(cut.consumed, 40u);
    EXPECT_EQ(cut.payloadLength, 0u);
}

TEST(DeviceFrameCutting, WaitsForAWholeFrame)
{
    Bytes stream(3, 0x11);
    DeviceFrameFields f;
    ASSERT_TRUE(AppendDeviceFrame(stream, f, Payload(100, 1)));
    DeviceFrameCut cut = CutDeviceFrame(std::span(stream).first(3 + 40)); // only the header
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
    EXPECT_EQ(cut.consumed, 3u);
    cut = CutDeviceFrame(std::span(stream).first(stream.size() - 1));
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
    EXPECT_EQ(cut.consumed, 3u);
    EXPECT_EQ(CutDeviceFrame(stream).result, LiveCut::Video);
}

TEST(DeviceFrameCutting, BadLengthsIn36ByteHeadersAreDropped)
{
    DeviceFrameFields f;
    f.layout = DeviceHeaderLayout::Header36;
    for (int32_t total : {-1, 35, 36 + 0x100001}) {
        Bytes stream;
        ASSERT_TRUE(AppendDeviceFrame(stream, f, Payload(20, 1)));
        WriteLE32(&stream[20], static_cast<uint32_t>(total));
        DeviceFrameCut cut = CutDeviceFrame(stream);
        EXPECT_EQ(cut.result, LiveCut::Drop) << total;
        EXPECT_EQ(cut.consumed, 36u);
    }
}

// A frame that arrives short leaves the next frame's header inside its total
// length. The cutter drops the short frame up to that header and hands the
// next frame on whole; before, it took the next header and the start of its
// picture along, so that every lost datagram cost the next picture too (on a
// lossy link often the key frame, and with it the pictures up to the one after).
struct ShortFrameCase {
    const char* name;
    DeviceHeaderLayout layout;
    size_t kept; // bytes of the damaged frame that arrive
    size_t payload;
};

class ShortDeviceFrame : public ::testing::TestWithParam<ShortFrameCase> {};

TEST_P(ShortDeviceFrame, NextFrameIsHandedOnWhole)
{
    const ShortFrameCase& c = GetParam();
    DeviceFrameFields f;
    f.layout = c.layout;
    f.width = 320;
    f.height = 240;
    Bytes damaged;
    ASSERT_TRUE(AppendDeviceFrame(damaged, f, Payload(c.payload, 1)));
    damaged.resize(c.kept);
    Bytes next;
    ASSERT_TRUE(AppendDeviceFrame(next, f, Payload(500, 9)));
    Bytes stream = damaged;
    stream.insert(stream.end(), next.begin(), next.end());
    // Bytes of the frame after: enough to cover any length the damaged header claims.
    Bytes after;
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(AppendDeviceFrame(after, f, Payload(9000, 20)));

    // The header of the frame behind tells as soon as it is buffered.
    const size_t headerSize = DeviceHeaderSize(c.layout);
    std::span<const uint8_t> rest(stream);
    DeviceFrameCut cut = CutDeviceFrame(rest.first(c.kept + headerSize - 1));
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
    cut = CutDeviceFrame(rest.first(c.kept + headerSize));
    ASSERT_EQ(cut.result, LiveCut::Drop);
    EXPECT_EQ(cut.consumed, c.kept);

    stream.insert(stream.end(), after.begin(), after.end());
    rest = std::span<const uint8_t>(stream).subspan(c.kept);
    cut = CutDeviceFrame(rest);
    ASSERT_EQ(cut.result, LiveCut::Video);
    EXPECT_EQ(cut.consumed, next.size());
    EXPECT_EQ(Bytes(rest.begin() + cut.payloadOffset,
                    rest.begin() + cut.payloadOffset + cut.payloadLength),
              Payload(500, 9));
}

const ShortFrameCase kShortFrameCases[] = {
    {"Header40PayloadShort", DeviceHeaderLayout::Header40, 40 + 1400, 3000},
    {"Header36PayloadShort", DeviceHeaderLayout::Header36, 36 + 1400, 3000},
    {"Header40CutBeforeItsLength", DeviceHeaderLayout::Header40, 10, 3000},
    {"Header36CutBeforeItsLength", DeviceHeaderLayout::Header36, 8, 3000},
    {"Header36CutInItsLength", DeviceHeaderLayout::Header36, 22, 3000},
    {"Header36CutAfterItsLength", DeviceHeaderLayout::Header36, 30, 3000},
};

INSTANTIATE_TEST_SUITE_P(Damage, ShortDeviceFrame, ::testing::ValuesIn(kShortFrameCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The magic inside a picture, without a header a stream could carry behind it,
// is the picture's own bytes.
TEST(DeviceFrameCutting, MagicInsideAPayloadIsNotAHeader)
{
    Bytes payload = Payload(400, 1);
    for (size_t i = 0; i < 4; ++i)
        payload[100 + i] = kDeviceFrameMagic[i];
    payload[105] = 0x70; // no layout
    for (DeviceHeaderLayout layout : {DeviceHeaderLayout::Header40, DeviceHeaderLayout::Header36}) {
        DeviceFrameFields f;
        f.layout = layout;
        Bytes stream;
        ASSERT_TRUE(AppendDeviceFrame(stream, f, payload));
        const DeviceFrameCut cut = CutDeviceFrame(stream);
        ASSERT_EQ(cut.result, LiveCut::Video);
        EXPECT_EQ(cut.payloadLength, payload.size());
        EXPECT_EQ(cut.consumed, stream.size());
    }
}

TEST(ElementaryCutting, OneSamplePerNalUnitEachWithItsStartCode)
{
    std::vector<Bytes> units = {BuildSps({}), Nal(0x68, 3), Nal(0x06, 10), Nal(0x65, 500),
                                Nal(0x41, 200)};
    units[0].insert(units[0].begin(), 0); // four-byte start codes throughout
    Bytes stream;
    for (const Bytes& u : units)
        Append(stream, u);
    Append(stream, Nal(0x41, 10)); // the last unit: its end is not known yet

    std::span<const uint8_t> rest(stream);
    std::vector<Bytes> samples;
    while (true) {
        size_t n = CutElementaryUnit(rest);
        if (n == 0 || n == rest.size() - 2)
            break;
        samples.emplace_back(rest.begin(), rest.begin() + n);
        rest = rest.subspan(n);
    }
    ASSERT_EQ(samples.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        // A unit ends at the next 00 00 01, so the first zero of the next four-byte
        // start code stays with it; only the first sample starts with all four bytes.
        Bytes expected(units[i].begin() + (i == 0 ? 0 : 1), units[i].end());
        expected.push_back(0);
        EXPECT_EQ(samples[i], expected) << i;
        EXPECT_EQ(
            Bytes(samples[i].begin() + (i == 0 ? 1 : 0), samples[i].begin() + (i == 0 ? 4 : 3)),
            (Bytes{0, 0, 1}));
    }
}

TEST(ElementaryCutting, ThreeByteStartCodesAndNoStartCode)
{
    Bytes s = {0, 0, 1, 0x65, 1, 2, 3, 0, 0, 1, 0x41, 5};
    EXPECT_EQ(CutElementaryUnit(s), 7u);
    Bytes none = {5, 6, 7, 8, 9};
    EXPECT_EQ(CutElementaryUnit(none), 3u); // all but the last 2
    EXPECT_EQ(CutElementaryUnit(Bytes{1, 2}), 0u);
    EXPECT_EQ(CutElementaryUnit({}), 0u);
    // A start code straight at the read position does not end the unit.
    Bytes own = {0, 0, 1, 0x65, 9, 9, 9};
    EXPECT_EQ(CutElementaryUnit(own), 5u);
}

TEST(TransportCutting, VideoPacketsOfThePid)
{
    TsWriter w;
    Bytes stream(20, 0x00); // not on a sync byte at first
    w.AppendPes(stream, 0x100, Payload(300, 1));
    w.AppendPes(stream, 0x200, Payload(10, 1));
    w.AppendPes(stream, 0x100, Payload(10, 7));
    std::span<const uint8_t> rest(stream);
    Bytes video;
    int dropped = 0;
    while (!rest.empty()) {
        TsPacketCut cut = CutTransportPacket(rest, 188, 0x100);
        if (cut.result == LiveCut::Video)
            video.insert(video.end(), rest.begin() + cut.payload.offset,
                         rest.begin() + cut.payload.offset + cut.payload.length);
        else if (cut.result == LiveCut::Drop)
            ++dropped;
        else
            break;
        rest = rest.subspan(cut.consumed);
    }
    Bytes expected = Payload(300, 1);
    Append(expected, Payload(10, 7));
    EXPECT_EQ(video, expected);
    EXPECT_EQ(dropped, 1);
    EXPECT_TRUE(rest.empty());
}

// Without sync only the offsets the search has ruled out are dropped, and only
// once each could be tested with four packets behind it; a stream that starts
// behind them is found on the next turn whatever was buffered.
TEST(TransportCutting, NoSyncDropsOnlyTheSearchedOffsets)
{
    struct Case {
        size_t packetSize;
        size_t searched; // 3 x size + 5
        size_t needed;   // last offset tried + 3 x size + 1
        int packets;     // of six (a 192-byte packet needs the next one's prefix behind it)
    };
    for (Case c : {Case{188, 569, 568 + 564 + 1, 6}, Case{192, 581, 584 + 576 + 1, 5}}) {
        Bytes junk(c.needed - 1, 0x12);
        TsPacketCut cut = CutTransportPacket(junk, c.packetSize, 0x100);
        EXPECT_EQ(cut.result, LiveCut::NotFound);
        EXPECT_EQ(cut.consumed, 0u) << c.packetSize;
        junk.push_back(0x12);
        cut = CutTransportPacket(junk, c.packetSize, 0x100);
        EXPECT_EQ(cut.result, LiveCut::NotFound);
        EXPECT_EQ(cut.consumed, c.searched) << c.packetSize;

        // Packets behind a long run of junk survive its dropping.
        TsWriter w(c.packetSize);
        Bytes stream(2000, 0x12);
        for (int i = 0; i < 6; ++i)
            w.AppendPacket(stream, 0x100, false, Payload(184, static_cast<uint8_t>(i)));
        std::span<const uint8_t> rest(stream);
        int video = 0;
        while (rest.size() >= c.packetSize) {
            cut = CutTransportPacket(rest, c.packetSize, 0x100);
            if (cut.consumed == 0)
                break;
            video += cut.result == LiveCut::Video;
            rest = rest.subspan(cut.consumed);
        }
        EXPECT_EQ(video, c.packets) << c.packetSize;
    }
    // A packet not all buffered waits.
    TsWriter w;
    Bytes one;
    w.AppendPacket(one, 0x100, false, Payload(184, 0));
    TsPacketCut cut = CutTransportPacket(std::span(one).first(187), 188, 0x100);
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
}

TEST(TransportCutting, TimestampedPackets)
{
    TsWriter w(192);
    Bytes stream;
    for (int i = 0; i < 5; ++i)
        w.AppendPacket(stream, 0x100, false, Payload(184, static_cast<uint8_t>(i)));
    TsPacketCut cut = CutTransportPacket(stream, 192, 0x100);
    ASSERT_EQ(cut.result, LiveCut::Video);
    EXPECT_EQ(cut.consumed, 4u + 192);
    EXPECT_EQ(cut.payload.offset, 8u);
    EXPECT_EQ(stream[cut.payload.offset], 0);
}

Bytes Jp2kFrame(uint32_t number, size_t a, size_t b)
{
    JP2KFieldFields f;
    f.frameNumber = number;
    Bytes out;
    EXPECT_TRUE(AppendJP2KFrame(out, f, Payload(a, 1), Payload(b, 2)));
    return out;
}

TEST(Jpeg2000Cutting, FieldPairFollowedByTheNextHeader)
{
    Bytes stream(9, 0);
    Append(stream, Jp2kFrame(7, 300, 280));
    Append(stream, Jp2kFrame(8, 100, 100));
    JP2KFrameCut cut = CutJP2KFrame(stream);
    ASSERT_EQ(cut.result, LiveCut::Video);
    EXPECT_EQ(cut.frameOffset, 9u);
    EXPECT_EQ(cut.frameLength, 2 * 144u + 580);
    EXPECT_EQ(cut.consumed, 9u + 2 * 144 + 580);
    // The last frame has no header after it yet.
    std::span<const uint8_t> rest = std::span(stream).subspan(cut.consumed);
    cut = CutJP2KFrame(rest);
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
    EXPECT_EQ(cut.consumed, 0u);
}

TEST(Jpeg2000Cutting, UnpairedFieldsAreSkipped)
{
    Bytes stream = Jp2kFrame(1, 50, 50);
    // Give the second field another frame number.
    WriteBE32(&stream[144 + 50 + 132], 2);
    Append(stream, Jp2kFrame(3, 60, 60));
    Append(stream, Jp2kFrame(4, 60, 60));
    JP2KFrameCut cut = CutJP2KFrame(stream);
    ASSERT_EQ(cut.result, LiveCut::Video);
    EXPECT_EQ(cut.frameOffset, 2 * 144u + 100);
    // Nothing that looks like a header: all but 3 bytes go.
    Bytes junk(500, 0x3E);
    junk[3] = 0;
    cut = CutJP2KFrame(junk);
    EXPECT_EQ(cut.result, LiveCut::NeedMore);
    Bytes plain(500, 0x10);
    cut = CutJP2KFrame(plain);
    EXPECT_EQ(cut.result, LiveCut::NotFound);
    EXPECT_EQ(cut.consumed, 497u);
}

Bytes H264Box(std::initializer_list<Bytes> units, uint32_t sampleFlags = 0)
{
    Bytes payload;
    if (sampleFlags & 0x40)
        payload.assign(16, 0xEE);
    for (const Bytes& u : units) {
        Bytes len(4);
        WriteBE32(len.data(), static_cast<uint32_t>(u.size()));
        Append(payload, len);
        Append(payload, u);
    }
    QBoxFields f;
    f.sampleFlags = sampleFlags;
    Bytes box;
    EXPECT_TRUE(AppendQBox(box, f, payload));
    return box;
}

// Runs the cutter over a stream that arrives in pieces of `chunk` bytes, the way
// the ring fills; returns the H.264 bytes delivered.
Bytes RunQBox(const Bytes& stream, size_t chunk, Bytes* audio = nullptr,
              std::vector<Bytes>* jpegs = nullptr)
{
    QBoxLiveCutter cutter;
    Bytes sample(0x100000);
    Bytes video, sound;
    size_t read = 0, write = 0;
    for (int turns = 0; turns < 100000; ++turns) {
        if (write < stream.size())
            write = std::min(stream.size(), write + chunk);
        std::span<const uint8_t> buffered(stream.data() + read, write - read);
        QBoxCut cut = cutter.Step(buffered, sample, sound);
        if (cut.result == LiveCut::Video && cut.h264)
            video.insert(video.end(), sample.begin(), sample.begin() + cut.sampleLength);
        else if (cut.result == LiveCut::Video && jpegs)
            jpegs->emplace_back(sample.begin(), sample.begin() + cut.sampleLength);
        read += cut.consumed;
        if (write == stream.size() && cut.consumed == 0 && cut.sampleLength == 0)
            break;
    }
    if (audio)
        *audio = sound;
    return video;
}

TEST(QBoxCutting, H264BoxesBecomeStartCodeUnitsWhateverTheArrival)
{
    Bytes stream = H264Box({Payload(20, 1), Payload(300, 2)});
    Append(stream, H264Box({Payload(1000, 3)}, 0x40));
    Append(stream, H264Box({Payload(5, 4)}));
    Bytes expected;
    for (const Bytes& u : {Payload(20, 1), Payload(300, 2), Payload(1000, 3), Payload(5, 4)}) {
        Append(expected, Bytes{0, 0, 0, 1});
        Append(expected, u);
    }
    for (size_t chunk : {1u, 7u, 192u, 5000u})
        EXPECT_EQ(RunQBox(stream, chunk), expected) << chunk;
}

TEST(QBoxCutting, BadUnitLengthClearsTheBoxAndResyncs)
{
    Bytes bad = H264Box({Payload(20, 1), Payload(30, 2)});
    WriteBE32(&bad[28 + 4 + 20], 0x7FFFFFFF); // second length beyond the box
    Bytes stream = bad;
    Append(stream, H264Box({Payload(8, 9)}));
    Bytes expected = {0, 0, 0, 1};
    Append(expected, Payload(20, 1));
    Append(expected, Bytes{0, 0, 0, 1});
    Append(expected, Payload(8, 9));
    EXPECT_EQ(RunQBox(stream, 4096), expected);
}

TEST(QBoxCutting, JpegAndAacBoxesWhenWhole)
{
    Bytes stream;
    QBoxFields jpeg;
    jpeg.streamType = kQBoxStreamJpeg;
    ASSERT_TRUE(AppendQBox(stream, jpeg, Payload(700, 5)));
    QBoxFields aac;
    aac.streamType = kQBoxStreamAac;
    aac.sampleFlags = 0x200;
    Bytes qmed;
    ASSERT_TRUE(AppendQmedPayload(qmed, 3, 2, Payload(90, 6)));
    ASSERT_TRUE(AppendQBox(stream, aac, qmed));
    QBoxFields other;
    other.streamType = 9;
    ASSERT_TRUE(AppendQBox(stream, other, Payload(10, 0)));
    ASSERT_TRUE(AppendQBox(stream, jpeg, Payload(30, 8)));

    Bytes audio;
    std::vector<Bytes> jpegs;
    Bytes video = RunQBox(stream, 100, &audio, &jpegs);
    EXPECT_TRUE(video.empty());
    ASSERT_EQ(jpegs.size(), 2u);
    EXPECT_EQ(jpegs[0], Payload(700, 5));
    EXPECT_EQ(jpegs[1], Payload(30, 8));
    Bytes adts;
    ASSERT_TRUE(AppendAdtsFrame(adts, 3, 2, Payload(90, 6)));
    EXPECT_EQ(audio, adts);
}

TEST(QBoxCutting, BoxesThatCanNeverBeDeliveredArePassedOver)
{
    QBoxLiveCutter cutter;
    Bytes sample(64), audio;
    Bytes box;
    QBoxFields jpeg;
    jpeg.streamType = kQBoxStreamJpeg;
    ASSERT_TRUE(AppendQBox(box, jpeg, Payload(65, 0)));
    QBoxCut cut = cutter.Step(box, sample, audio);
    EXPECT_EQ(cut.result, LiveCut::Drop);
    EXPECT_EQ(cut.consumed, 28u);
    // A size below the header.
    WriteBE32(box.data(), 20);
    cut = cutter.Step(box, sample, audio);
    EXPECT_EQ(cut.result, LiveCut::Drop);
    EXPECT_EQ(cut.consumed, 8u);
    // No "qbox": keep the last 7 bytes.
    Bytes junk(100, 0x33);
    cut = cutter.Step(junk, sample, audio);
    EXPECT_EQ(cut.consumed, 93u);
    // A "qbox" in the first 4 bytes has no room for its size.
    Bytes early = {'q', 'b', 'o', 'x', 0, 0};
    cut = cutter.Step(early, sample, audio);
    EXPECT_EQ(cut.result, LiveCut::Drop);
}

} // namespace
