// The delivery thread's live step, per kind, on streams built byte by byte:
// what each turn hands on, what it drops and how long it asks to wait.
#include "CLiveStepReplay.h"
#include "StreamBuilders.h"

#include "Adts.h"
#include "ByteOrder.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "TsWriter.h"
#include "VoiceFrame.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Kind = LiveStepResult::Kind;

Bytes Payload(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

Bytes DeviceFrame(DeviceHeaderLayout layout, const Bytes& payload, bool voice = false,
                  int64_t timeUs = 0)
{
    DeviceFrameFields f;
    f.layout = layout;
    f.voice = voice;
    f.captureTimeUs = timeUs;
    f.captureSeconds = static_cast<uint32_t>(timeUs / 1000000);
    f.captureMicros = static_cast<uint32_t>(timeUs % 1000000);
    Bytes out;
    EXPECT_TRUE(AppendDeviceFrame(out, f, payload));
    return out;
}

std::vector<Bytes> VideoOf(const std::vector<LiveUnit>& units)
{
    std::vector<Bytes> v;
    for (const LiveUnit& u : units)
        if (u.kind == Kind::Video)
            v.push_back(u.bytes);
    return v;
}

// Device frames of CodecKind 3: video payloads and voice payloads of either
// layout, with garbage, a header whose total is shorter than itself, and a
// truncated frame at the end (held back until it is whole).
TEST(LiveStepDevice, FramesVoiceGarbageAndShortHeaders)
{
    for (DeviceHeaderLayout layout : {DeviceHeaderLayout::Header40, DeviceHeaderLayout::Header36}) {
        const size_t header = DeviceHeaderSize(layout);
        Bytes stream = Payload(300, 1); // garbage in front of the first frame
        Append(stream, DeviceFrame(layout, Payload(500, 2)));
        Append(stream, DeviceFrame(layout, Payload(160, 3), true));
        Bytes bad = DeviceFrame(layout, {});
        if (layout == DeviceHeaderLayout::Header40)
            WriteLE16(bad.data() + 14, 39);
        else
            WriteLE32(bad.data() + 20, 35);
        Append(stream, bad);
        Append(stream, Payload(17, 9)); // garbage after a dropped header
        Append(stream, DeviceFrame(layout, Payload(700, 4)));
        Bytes last = DeviceFrame(layout, Payload(900, 5));
        Append(stream, Bytes(last.begin(), last.begin() + 400));

        CLiveStepReplay replay(CodecDeviceH264, ContainerUnknown, -1);
        replay.Push(stream);
        EXPECT_EQ(replay.Step().Framing(), DeviceFraming::Device);
        const auto& units = replay.Units();
        ASSERT_EQ(units.size(), 3u) << header;
        EXPECT_EQ(units[0].kind, Kind::Video);
        EXPECT_EQ(units[0].bytes, Payload(500, 2));
        EXPECT_EQ(units[1].kind, Kind::Voice);
        EXPECT_EQ(units[1].bytes, Payload(160, 3));
        EXPECT_EQ(units[2].bytes, Payload(700, 4));
        // The truncated frame waits at the read position, whole.
        EXPECT_EQ(replay.Ring().Buffered(), 400u);
        replay.Push(std::span(last).subspan(400));
        ASSERT_EQ(replay.Units().size(), 4u);
        EXPECT_EQ(replay.Units()[3].bytes, Payload(900, 5));
    }
}

// A picture longer than a 40-byte header's 16-bit length goes out in
// consecutive frames, all but the last with the length full: one sample of all
// the pieces once the last is buffered, however the bytes arrive. A frame of
// another kind behind a full piece ends the picture there.
TEST(LiveStepDevice, PiecesOfALargerPictureJoined)
{
    const size_t full = 0xFFFF - kDeviceHeader40Size;
    const Bytes a = Payload(full, 1), b = Payload(full, 2), c = Payload(1279, 3);
    const Bytes next = Payload(800, 4);
    Bytes joined = a;
    Append(joined, b);
    Append(joined, c);
    struct Case {
        const char* name;
        std::vector<Bytes> frames;
        size_t chunk; // bytes a push (0: all at once)
        std::vector<Bytes> video;
    };
    const Bytes voice = DeviceFrame(DeviceHeaderLayout::Header40, Payload(160, 5), true);
    const Case cases[] = {
        {"whole",
         {DeviceFrame(DeviceHeaderLayout::Header40, a),
          DeviceFrame(DeviceHeaderLayout::Header40, b),
          DeviceFrame(DeviceHeaderLayout::Header40, c),
          DeviceFrame(DeviceHeaderLayout::Header40, next)},
         0,
         {joined, next}},
        {"datagrams",
         {DeviceFrame(DeviceHeaderLayout::Header40, a),
          DeviceFrame(DeviceHeaderLayout::Header40, b),
          DeviceFrame(DeviceHeaderLayout::Header40, c),
          DeviceFrame(DeviceHeaderLayout::Header40, next)},
         1400,
         {joined, next}},
        {"voice behind a full piece",
         {DeviceFrame(DeviceHeaderLayout::Header40, a), voice,
          DeviceFrame(DeviceHeaderLayout::Header40, next)},
         0,
         {a, next}},
    };
    for (const Case& t : cases) {
        Bytes stream;
        for (const Bytes& f : t.frames)
            Append(stream, f);
        CLiveStepReplay replay(CodecDeviceH264, ContainerUnknown, -1);
        const size_t chunk = t.chunk ? t.chunk : stream.size();
        for (size_t at = 0; at < stream.size(); at += chunk) {
            const size_t n = std::min(chunk, stream.size() - at);
            replay.Push(std::span(stream).subspan(at, n));
            // Nothing of the picture leaves before its last piece is in.
            if (at + n < stream.size() - t.frames.back().size()) {
                EXPECT_TRUE(VideoOf(replay.Units()).empty()) << t.name << " at " << at;
            }
        }
        replay.Drain();
        EXPECT_EQ(VideoOf(replay.Units()), t.video) << t.name;
    }
}

// A NAL unit behind a 3-byte start code (the next unit's 00 00 01 ends it, so a
// 4-byte start code would leave its first zero to the unit before).
Bytes ShortNal(uint8_t header, size_t bodyLength)
{
    Bytes n = Nal(header, bodyLength);
    return Bytes(n.begin() + 1, n.end());
}

// A "device H.264" stream without device headers is an elementary stream: one
// sample per NAL unit, each with its start code.
TEST(LiveStepElementary, OneSamplePerNalUnitWithItsStartCode)
{
    std::vector<Bytes> nals = {ShortNal(0x67, 20), ShortNal(0x68, 4), ShortNal(0x65, 900),
                               ShortNal(0x41, 300)};
    Bytes stream;
    for (const Bytes& n : nals)
        Append(stream, n);
    Append(stream, ShortNal(0x41, 10)); // its end is not known yet
    for (int32_t kind : {CodecDeviceH264, CodecHDH264, CodecMpeg2}) {
        CLiveStepReplay replay(kind, ContainerUnknown, -1);
        replay.Push(stream);
        if (kind == CodecDeviceH264) {
            EXPECT_EQ(replay.Step().Framing(), DeviceFraming::Elementary);
        }
        EXPECT_EQ(VideoOf(replay.Units()), nals) << kind;
        for (const LiveUnit& u : replay.Units())
            EXPECT_TRUE(u.piece);
    }
}

// A unit longer than the sample buffer goes out in pieces instead of blocking
// the stream.
TEST(LiveStepElementary, UnitLongerThanTheSampleGoesInPieces)
{
    Bytes stream = ShortNal(0x65, 5000);
    Append(stream, ShortNal(0x41, 300));
    CLiveStepReplay replay(CodecHDH264, ContainerUnknown, -1, 2048);
    replay.Push(stream);
    std::vector<Bytes> video = VideoOf(replay.Units());
    // 5004 bytes as 2048 + 2048 + 908, then the last unit but its final 2 bytes
    // (its end is not known).
    ASSERT_EQ(video.size(), 4u);
    EXPECT_EQ(video[0].size(), 2048u);
    EXPECT_EQ(video[1].size(), 2048u);
    EXPECT_EQ(video[2].size(), 908u);
    Bytes joined = JoinPieces(replay.Units())[0].bytes;
    EXPECT_EQ(joined, Bytes(stream.begin(), stream.end() - 2));
}

TEST(LiveStep, FewerThan192BytesWait)
{
    CLiveStep step;
    step.Configure(CodecMpeg2, ContainerUnknown, -1);
    CReceiveRing ring(4096);
    Bytes stream = Nal(0xB3, 200);
    ring.Append(std::span(stream).first(191));
    Bytes sample(4096), audio;
    LiveStepResult r = step.Step(ring, sample, audio);
    EXPECT_EQ(r.kind, Kind::Wait);
    EXPECT_EQ(r.sleepMs, 1u);
    EXPECT_EQ(ring.Buffered(), 191u);
    ring.Append(std::span(stream).subspan(191));
    r = step.Step(ring, sample, audio);
    EXPECT_EQ(r.kind, Kind::Video);
}

TEST(LiveStepTransport, PayloadsOfTheVideoPid)
{
    for (size_t packetSize : {size_t{188}, size_t{192}}) {
        TsWriter w(packetSize);
        Bytes stream(50, 0x11);
        w.AppendPes(stream, 0x100, Payload(400, 1));
        w.AppendPes(stream, 0x200, Payload(100, 2));
        w.AppendPes(stream, 0x100, Payload(150, 3));
        for (int i = 0; i < 4; ++i)
            w.AppendPacket(stream, 0x300, false, Payload(184, 4)); // lets the last video out
        CLiveStepReplay replay(packetSize == 192 ? CodecHDH264 : CodecDeviceH264,
                               ContainerTransport, 0x100);
        replay.Push(stream);
        Bytes video;
        for (const Bytes& v : VideoOf(replay.Units()))
            Append(video, v);
        Bytes expected = Payload(400, 1);
        Append(expected, Payload(150, 3));
        EXPECT_EQ(video, expected) << packetSize;
    }
}

TEST(LiveStepJpeg2000, FieldPairsAsOneSample)
{
    JP2KFieldFields f;
    Bytes stream = Payload(90, 8);
    Bytes frames[3];
    for (uint32_t n = 0; n < 3; ++n) {
        f.frameNumber = n;
        ASSERT_TRUE(AppendJP2KFrame(frames[n], f, Payload(1000 + n, 1), Payload(800, 2)));
        Append(stream, frames[n]);
    }
    CLiveStepReplay replay(CodecJP2K, ContainerUnknown, -1);
    replay.Push(stream);
    // The last pair waits for the header that shows it is complete.
    std::vector<Bytes> video = VideoOf(replay.Units());
    ASSERT_EQ(video.size(), 2u);
    EXPECT_EQ(video[0], frames[0]);
    EXPECT_EQ(video[1], frames[1]);
}

TEST(LiveStepQBox, H264UnitsJpegBoxesAndAac)
{
    Bytes h264Payload;
    for (size_t n : {size_t{30}, size_t{400}}) {
        Bytes len(4);
        WriteBE32(len.data(), static_cast<uint32_t>(n));
        Append(h264Payload, len);
        Append(h264Payload, Payload(n, static_cast<uint8_t>(n)));
    }
    Bytes aac;
    ASSERT_TRUE(AppendQmedPayload(aac, 3, 2, Payload(100, 6)));
    Bytes stream;
    QBoxFields f;
    ASSERT_TRUE(AppendQBox(stream, f, h264Payload));
    f.streamType = kQBoxStreamAac;
    // Only the sample flags 0x200 with bit 0 clear announce the "qmed" header:
    // AAC boxes without them are passed over however plausible their payload.
    for (uint32_t flags : {0x000u, 0x201u, 0x200u, 0x001u}) {
        f.sampleFlags = flags;
        ASSERT_TRUE(AppendQBox(stream, f, aac));
    }
    f.sampleFlags = 0;
    f.streamType = kQBoxStreamJpeg;
    ASSERT_TRUE(AppendQBox(stream, f, Payload(600, 7)));
    Append(stream, Bytes(200, 0)); // room behind the last box

    CLiveStepReplay replay(CodecHDH264, ContainerQBox, -1);
    replay.Push(stream);
    std::vector<LiveUnit> units = JoinPieces(replay.Units());
    ASSERT_EQ(units.size(), 3u);
    Bytes expected = {0, 0, 0, 1};
    Append(expected, Payload(30, 30));
    Append(expected, {0, 0, 0, 1});
    Append(expected, Payload(400, static_cast<uint8_t>(400)));
    EXPECT_EQ(units[0].bytes, expected);
    EXPECT_EQ(units[1].kind, Kind::Aac);
    Bytes adts;
    ASSERT_TRUE(AppendAdtsFrame(adts, 3, 2, Payload(100, 6)));
    EXPECT_EQ(units[1].bytes, adts);
    EXPECT_EQ(units[2].bytes, Payload(600, 7));
    EXPECT_FALSE(units[2].piece);
}

// CodecKind 256: a prebuffer, frames whole with their headers and capture times
// per layout, and the lengths that would lose the read position.
TEST(LiveStepClocked, PrebufferThenWholeFramesWithTheirTimes)
{
    Bytes stream;
    std::vector<Bytes> frames;
    for (int i = 0; i < 40; ++i) {
        DeviceHeaderLayout layout =
            i % 2 ? DeviceHeaderLayout::Header36 : DeviceHeaderLayout::Header40;
        frames.push_back(DeviceFrame(layout, Payload(1000, static_cast<uint8_t>(i)), false,
                                     1000000000LL + i * 40000));
        Append(stream, frames.back());
    }
    CLiveStepReplay replay(CodecDeviceH264Clocked, ContainerRaw, -1);
    PrebufferLevels levels;
    levels.initial = 30000;
    replay.Step().SetPrebufferLevels(levels);
    replay.Push(std::span(stream).first(29000));
    EXPECT_TRUE(replay.Units().empty()); // prebuffering
    EXPECT_TRUE(replay.Step().Prebuffering());
    replay.Push(std::span(stream).subspan(29000));
    EXPECT_EQ(replay.Step().PrebufferThreshold(), 51200u); // the first fill is done
    // Below 2048 bytes the stream prebuffers again.
    const auto& units = replay.Units();
    ASSERT_EQ(units.size(), frames.size() - 1);
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(units[i].bytes, frames[i]) << i;
        EXPECT_TRUE(units[i].clocked);
        EXPECT_EQ(units[i].captureTimeUs, 1000000000LL + static_cast<int64_t>(i) * 40000) << i;
    }
    EXPECT_TRUE(replay.Step().Prebuffering());
}

// The video frames a capture-time-paced stream gives without a prebuffer; the
// stream's end (3000 zero bytes) keeps it above the 2048-byte low mark.
std::vector<Bytes> ClockedFramesOf(Bytes stream)
{
    Append(stream, Bytes(3000, 0));
    CLiveStepReplay replay(CodecDeviceH264Clocked, ContainerRaw, -1);
    PrebufferLevels levels;
    levels.initial = 0;
    replay.Step().SetPrebufferLevels(levels);
    replay.Push(stream);
    return VideoOf(replay.Units());
}

TEST(LiveStepClocked, LengthsThatWouldLoseThePlace)
{
    struct Case {
        const char* name;
        DeviceHeaderLayout layout;
        int64_t total;
        size_t dropped; // bytes passed over before the good frame
    };
    const Case cases[] = {
        {"40-byte total 0", DeviceHeaderLayout::Header40, 0, 40},
        {"40-byte total 39", DeviceHeaderLayout::Header40, 39, 40},
        {"36-byte total 20", DeviceHeaderLayout::Header36, 20, 36},
        {"36-byte total -5", DeviceHeaderLayout::Header36, -5, 36},
        {"36-byte total 2000000", DeviceHeaderLayout::Header36, 2000000, 4},
    };
    for (const Case& c : cases) {
        Bytes bad = DeviceFrame(c.layout, {});
        if (c.layout == DeviceHeaderLayout::Header40)
            WriteLE16(bad.data() + 14, static_cast<uint16_t>(c.total));
        else
            WriteLE32(bad.data() + 20, static_cast<uint32_t>(c.total));
        Bytes good = DeviceFrame(DeviceHeaderLayout::Header40, Payload(3000, 1), false, 5);
        Bytes stream = bad;
        Append(stream, good);
        EXPECT_EQ(ClockedFramesOf(stream), std::vector<Bytes>{good}) << c.name;
    }
}

// A frame that lost bytes (a datagram) holds the next frame's header within
// its length: it is dropped up to that header, and the frames after it come
// through whole. The magic inside a payload, with no header after it, is no
// header.
TEST(LiveStepClocked, AFrameThatCameShortDoesNotTakeTheNextOne)
{
    struct Case {
        const char* name;
        DeviceHeaderLayout layout;
        size_t lost;         // bytes missing from the end of the first frame
        bool magicInPayload; // the first frame's payload holds ">>>>" and junk
    };
    const Case cases[] = {
        {"40-byte, one byte lost", DeviceHeaderLayout::Header40, 1, false},
        {"40-byte, a datagram lost", DeviceHeaderLayout::Header40, 1400, false},
        {"36-byte, a datagram lost", DeviceHeaderLayout::Header36, 1400, false},
        {"36-byte, only the header came", DeviceHeaderLayout::Header36, 3000, false},
        {"40-byte, magic in the payload, nothing lost", DeviceHeaderLayout::Header40, 0, true},
    };
    for (const Case& c : cases) {
        Bytes payload = Payload(3000, 9);
        if (c.magicInPayload)
            std::copy(std::begin(kDeviceFrameMagic), std::end(kDeviceFrameMagic),
                      payload.begin() + 500);
        Bytes first = DeviceFrame(c.layout, payload, false, 1);
        first.resize(first.size() - c.lost);
        Bytes second = DeviceFrame(DeviceHeaderLayout::Header40, Payload(3000, 2), false, 2);
        Bytes third = DeviceFrame(DeviceHeaderLayout::Header36, Payload(2000, 3), false, 3);
        Bytes stream = first;
        Append(stream, second);
        Append(stream, third);
        std::vector<Bytes> expected = {second, third};
        if (c.lost == 0)
            expected.insert(expected.begin(), first);
        EXPECT_EQ(ClockedFramesOf(stream), expected) << c.name;
    }
}

// A frame that came one to three bytes short: its length reaches into the
// next frame's header. Whether the bytes came at once or split anywhere around
// that header, the short frame is dropped and the next two come whole (the
// split just after the short frame's length once let it take the next
// header's first bytes and lose that frame too).
TEST(LiveStepDevice, AFrameShortByLessThanAMagicDoesNotDependOnHowBytesArrive)
{
    struct Kind {
        const char* name;
        int32_t codecKind;
        int32_t containerKind;
        bool wholeFrames; // the clocked kind hands on frames with their headers
    };
    const Kind kinds[] = {{"device", CodecDeviceH264, ContainerUnknown, false},
                          {"clocked", CodecDeviceH264Clocked, ContainerRaw, true}};
    for (const Kind& k : kinds) {
        for (size_t lost = 1; lost <= 3; ++lost) {
            Bytes first = DeviceFrame(DeviceHeaderLayout::Header40, Payload(1000, 1), false, 1);
            first.resize(first.size() - lost);
            const Bytes second =
                DeviceFrame(DeviceHeaderLayout::Header40, Payload(1500, 2), false, 2);
            const Bytes third =
                DeviceFrame(DeviceHeaderLayout::Header36, Payload(800, 3), false, 3);
            const std::vector<Bytes> expected =
                k.wholeFrames ? std::vector<Bytes>{second, third}
                              : std::vector<Bytes>{Payload(1500, 2), Payload(800, 3)};
            Bytes stream = first;
            Append(stream, second);
            Append(stream, third);
            const size_t declaredEnd = first.size() + lost;
            for (size_t split = first.size() - 1; split <= declaredEnd + 4; ++split) {
                SCOPED_TRACE(testing::Message()
                             << k.name << ", " << lost << " lost, split at " << split);
                CLiveStepReplay replay(k.codecKind, k.containerKind, -1);
                replay.Step().SetFraming(DeviceFraming::Device);
                // No prebuffering: it only delays, and its refill depends on arrival.
                replay.Step().SetPrebufferLevels(PrebufferLevels{0, 0, 0});
                replay.Push(std::span(stream).first(split));
                replay.Push(std::span(stream).subspan(split));
                EXPECT_EQ(VideoOf(replay.Units()), expected);
            }
        }
    }
}

// A threshold as large as the ring (configuration value 10000) is reached at
// 7/8 of the ring, since pushes that do not fill it to the last byte would
// overflow it first.
TEST(LiveStepClocked, ThresholdOfTheWholeRingIsReachable)
{
    CLiveStep step;
    step.Configure(CodecDeviceH264Clocked, ContainerRaw, -1);
    PrebufferLevels levels;
    levels.initial = 0x400000;
    step.SetPrebufferLevels(levels);
    CReceiveRing ring(0x400000);
    Bytes frame = DeviceFrame(DeviceHeaderLayout::Header40, Payload(60000, 1), false, 7);
    Bytes sample(0x100000), audio;
    while (ring.Buffered() + frame.size() < 0x380000)
        ring.Append(frame);
    EXPECT_EQ(step.Step(ring, sample, audio).kind, Kind::Wait);
    ring.Append(frame);
    EXPECT_EQ(step.Step(ring, sample, audio).kind, Kind::Video);
}

} // namespace
