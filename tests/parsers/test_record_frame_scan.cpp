// Frame boundaries and types the index builder finds in record files, per
// stream family; each stream is scanned through windows of two chunk sizes,
// which must agree.
#include "ByteOrder.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "RecordFrameScan.h"
#include "RecordScanWindow.h"
#include "StreamBuilders.h"
#include "TsWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Frame {
    int64_t position;
    int64_t length;
    int32_t type;
    bool operator==(const Frame&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Frame& f)
{
    return os << "{" << f.position << ", " << f.length << ", " << f.type << "}";
}

using Scan = std::function<FrameScanStatus(const RecordWindow&, ScannedFrame&)>;

// Every frame from position 0 on, as the index builder asks for them.
std::vector<Frame> ScanAll(const std::vector<uint8_t>& bytes, const Scan& scan, size_t chunk,
                           RecordScanResult* end = nullptr)
{
    CScanWindow window(chunk, 5);
    window.Attach(
        [&](int64_t at, uint8_t* out, size_t n) {
            std::memcpy(out, bytes.data() + at, n);
            return true;
        },
        static_cast<int64_t>(bytes.size()));
    std::vector<Frame> frames;
    int64_t position = 0;
    for (;;) {
        ScannedFrame f;
        RecordScanResult r = ScanRecordFrame(window, position, scan, f);
        if (r != RecordScanResult::Found) {
            if (end)
                *end = r;
            return frames;
        }
        const int64_t at = position + static_cast<int64_t>(f.offset);
        frames.push_back({at, static_cast<int64_t>(f.length), f.frameType});
        position = at + static_cast<int64_t>(f.length);
    }
}

// Scans with a small and a large chunk; both must give the same frames.
std::vector<Frame> ScanBoth(const std::vector<uint8_t>& bytes, const Scan& scan,
                            size_t smallChunk = 97, size_t largeChunk = 1 << 16)
{
    std::vector<Frame> small = ScanAll(bytes, scan, smallChunk);
    std::vector<Frame> large = ScanAll(bytes, scan, largeChunk);
    EXPECT_EQ(small, large);
    return large;
}

// ---- H.264 ----

// A slice NAL unit in start-code form: first_mb_in_slice, slice_type, pps 0, a
// 4-bit frame_num and, for field-capable streams, the field flags.
std::vector<uint8_t> Slice(uint8_t header, uint32_t sliceType, uint32_t frameNum, int field,
                           uint32_t firstMb = 0, size_t body = 40)
{
    BitWriter w;
    w.Ue(firstMb);
    w.Ue(sliceType);
    w.Ue(0);
    w.Put(frameNum, 4);
    if (field >= 0) {
        w.PutBit(field > 0);
        if (field > 0)
            w.PutBit(field == 2); // 1 top, 2 bottom
    }
    std::vector<uint8_t> bits = w.Finish();
    std::vector<uint8_t> nal = {0, 0, 0, 1, header};
    Append(nal, bits);
    nal.insert(nal.end(), body, 0x5A);
    return nal;
}

enum Field { Frame_ = -1, NoField = 0, Top = 1, Bottom = 2 };

struct H264Unit {
    enum Kind { Sps, Pps, I, P, B, Idr } kind;
    uint32_t frameNum = 0;
    int field = NoField;
    uint32_t firstMb = 0;
};

std::vector<uint8_t> BuildH264(const std::vector<H264Unit>& units, bool fieldStream,
                               std::vector<int64_t>* starts = nullptr)
{
    SpsFields sps;
    sps.frameMbsOnly = !fieldStream;
    std::vector<uint8_t> s;
    for (const H264Unit& u : units) {
        if (starts)
            starts->push_back(static_cast<int64_t>(s.size()));
        const int field = fieldStream ? u.field : Frame_;
        switch (u.kind) {
        case H264Unit::Sps: {
            std::vector<uint8_t> nal = BuildSps(sps);
            s.push_back(0);
            Append(s, nal);
            break;
        }
        case H264Unit::Pps:
            Append(s, Nal(0x68, 4));
            break;
        case H264Unit::I:
            Append(s, Slice(0x61, 7, u.frameNum, field, u.firstMb));
            break;
        case H264Unit::Idr:
            Append(s, Slice(0x65, 7, u.frameNum, field, u.firstMb));
            break;
        case H264Unit::P:
            Append(s, Slice(0x41, 5, u.frameNum, field, u.firstMb));
            break;
        case H264Unit::B:
            Append(s, Slice(0x01, 6, u.frameNum, field, u.firstMb));
            break;
        }
    }
    return s;
}

Scan H264Scan(H264ScanOptions options = {})
{
    auto sps = std::make_shared<H264Sps>();
    return [sps, options](const RecordWindow& w, ScannedFrame& f) {
        return ScanH264Frame(w, options, *sps, f);
    };
}

struct H264Case {
    const char* name;
    bool fields;
    std::vector<H264Unit> units;
    std::vector<int> frameStarts; // unit index of each frame's start
    std::vector<int32_t> types;
};

using U = H264Unit;

const H264Case kH264Cases[] = {
    {"progressive IPPB",
     false,
     {{U::Sps}, {U::Pps}, {U::Idr}, {U::P, 1}, {U::P, 2}, {U::B, 3}},
     {0, 3, 4, 5},
     {1, 2, 2, 3}},
    {"field pairs, top first",
     true,
     {{U::Sps},
      {U::Pps},
      {U::Idr, 0, Top},
      {U::I, 0, Bottom},
      {U::P, 1, Top},
      {U::P, 1, Bottom},
      {U::P, 2, Top},
      {U::P, 2, Bottom}},
     {0, 4, 6},
     {1, 2, 2}},
    {"field pairs, bottom first",
     true,
     {{U::P, 1, Bottom}, {U::P, 1, Top}, {U::B, 2, Bottom}, {U::B, 2, Top}},
     {0, 2},
     {2, 3}},
    {"fields of different pictures stay apart",
     true,
     {{U::P, 1, Top}, {U::P, 2, Bottom}, {U::P, 3, Top}},
     {0, 1, 2},
     {2, 2, 2}},
    {"further slices of a picture belong to it",
     false,
     {{U::I, 0, NoField}, {U::I, 0, NoField, 99}, {U::P, 1}, {U::P, 1, NoField, 40}, {U::B, 2}},
     {0, 2, 4},
     {1, 2, 3}},
    {"a stream that opens with a P frame",
     false,
     {{U::P, 5}, {U::Sps}, {U::Pps}, {U::I, 0}, {U::P, 1}},
     {0, 1, 4},
     {2, 1, 2}},
};

class H264ScanTest : public testing::TestWithParam<H264Case> {};

} // namespace

TEST_P(H264ScanTest, FramesAndTypes)
{
    const H264Case& c = GetParam();
    std::vector<int64_t> starts;
    const std::vector<uint8_t> bytes = BuildH264(c.units, c.fields, &starts);
    std::vector<Frame> expected;
    for (size_t i = 0; i < c.frameStarts.size(); ++i) {
        const int64_t from = starts[c.frameStarts[i]];
        const int64_t to = i + 1 < c.frameStarts.size() ? starts[c.frameStarts[i + 1]]
                                                        : static_cast<int64_t>(bytes.size());
        expected.push_back({from, to - from, c.types[i]});
    }
    EXPECT_EQ(ScanBoth(bytes, H264Scan()), expected);
}

INSTANTIATE_TEST_SUITE_P(Streams, H264ScanTest, testing::ValuesIn(kH264Cases),
                         [](const testing::TestParamInfo<H264Case>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return n;
                         });

// A window that ends inside a frame asks for more, unless it reaches the end
// of the file, where the frame ends.
TEST(H264ScanEdgeTest, WindowEndingInsideAFrame)
{
    std::vector<int64_t> starts;
    const std::vector<uint8_t> bytes =
        BuildH264({{U::Sps}, {U::Pps}, {U::I, 0}, {U::P, 1}}, false, &starts);
    const std::span<const uint8_t> cut = std::span<const uint8_t>(bytes).first(starts[3] + 2);
    H264Sps sps;
    ScannedFrame f;
    EXPECT_EQ(ScanH264Frame({cut, false}, {}, sps, f), FrameScanStatus::NeedMore);
    ASSERT_EQ(ScanH264Frame({cut, true}, {}, sps, f), FrameScanStatus::Found);
    EXPECT_EQ(f.offset, 0u);
    EXPECT_EQ(f.length, cut.size());
    const std::vector<uint8_t> junk(300, 0x33);
    EXPECT_EQ(ScanH264Frame({junk, false}, {}, sps, f), FrameScanStatus::NeedMore);
    EXPECT_EQ(ScanH264Frame({junk, true}, {}, sps, f), FrameScanStatus::End);
}

// In a device stream, a start code inside a DeviceFrameHeader (here the
// capture time's bytes read 00 00 01 67) or a voice payload is not a NAL unit.
TEST(H264ScanEdgeTest, StartCodesInsideDeviceHeadersAreNotFrames)
{
    std::vector<uint8_t> bytes;
    DeviceFrameFields video;
    video.layout = DeviceHeaderLayout::Header40;
    video.captureTimeUs = 0x0000000000006701LL;
    std::vector<int64_t> starts;
    const std::vector<uint8_t> first = BuildH264({{U::Sps}, {U::Pps}, {U::I, 0}}, false);
    const std::vector<uint8_t> second = BuildH264({{U::P, 1}}, false);
    ASSERT_TRUE(AppendDeviceFrame(bytes, video, first));
    std::vector<uint8_t> voice = {'V', 1, 4, 0, 4, 0, 0, 0, 0, 0, 1, 0x67};
    ASSERT_TRUE(AppendVoiceFrame(bytes, video, voice));
    const int64_t secondHeader = static_cast<int64_t>(bytes.size());
    ASSERT_TRUE(AppendDeviceFrame(bytes, video, second));
    ASSERT_EQ(std::memcmp(bytes.data() + 30, "\0\0\1\x67", 4), 0);

    H264ScanOptions device;
    device.deviceHeaders = true;
    const std::vector<Frame> frames = ScanBoth(bytes, H264Scan(device));
    const std::vector<Frame> expected = {
        {40, secondHeader + 40 - 40, 1},
        {secondHeader + 40, static_cast<int64_t>(bytes.size()) - secondHeader - 40, 2}};
    EXPECT_EQ(frames, expected);
    // Read as a plain byte stream, the header bytes would cut a frame.
    EXPECT_GT(ScanBoth(bytes, H264Scan()).size(), frames.size());
}

// In a transport stream frames start and end at packet starts.
TEST(H264ScanEdgeTest, TransportStreamFramesStartAtPackets)
{
    for (size_t packet : {size_t{188}, size_t{192}}) {
        SCOPED_TRACE(packet);
        TsWriter ts(packet);
        std::vector<uint8_t> bytes;
        std::vector<int64_t> starts;
        const std::vector<std::vector<H264Unit>> pictures = {
            {{U::Sps}, {U::Pps}, {U::I, 0}}, {{U::P, 1}}, {{U::P, 2}}, {{U::Sps}, {U::I, 0}}};
        for (const auto& units : pictures) {
            starts.push_back(static_cast<int64_t>(bytes.size()) + (packet == 192 ? 4 : 0));
            std::vector<uint8_t> es = BuildH264(units, false);
            es.insert(es.end(), 300, 0x77); // more than one packet
            ts.AppendPes(bytes, 0x100, es);
        }
        H264ScanOptions options;
        options.tsPacketSize = packet;
        std::vector<Frame> expected;
        for (size_t i = 0; i < starts.size(); ++i) {
            const int64_t end =
                i + 1 < starts.size() ? starts[i + 1] : static_cast<int64_t>(bytes.size());
            expected.push_back({starts[i], end - starts[i], i == 0 || i == 3 ? 1 : 2});
        }
        EXPECT_EQ(ScanBoth(bytes, H264Scan(options), 211), expected);
    }
}

// ---- MPEG-2 and MPEG-4 ----

namespace {

std::vector<uint8_t> Mpeg2Picture(int type, size_t body = 30)
{
    std::vector<uint8_t> p = {0,    0,    1, 0x00, 0x00, static_cast<uint8_t>((type << 3) | 7),
                              0xFF, 0xF8, 0, 0,    1,    0x01};
    p.insert(p.end(), body, 0x55);
    return p;
}

std::vector<uint8_t> Mpeg4Vop(int codingType, size_t body = 30)
{
    std::vector<uint8_t> p = {0, 0, 1, 0xB6, static_cast<uint8_t>((codingType << 6) | 0x10)};
    p.insert(p.end(), body, 0x55);
    return p;
}

struct MpegCase {
    const char* name;
    int32_t codecKind;
    std::vector<std::vector<uint8_t>> units;
    std::vector<int> frameStarts;
    std::vector<int32_t> types;
};

std::vector<uint8_t> Mpeg2Headers()
{
    std::vector<uint8_t> h = BuildMpeg2SequenceHeader(352, 288, 3);
    Append(h, BuildMpeg2SequenceExtension());
    Append(h, {0, 0, 1, 0xB8, 0, 8, 0, 0x40});
    return h;
}

const MpegCase kMpegCases[] = {
    {"MPEG-2 I P B B P",
     1,
     {Mpeg2Headers(), Mpeg2Picture(1), Mpeg2Picture(2), Mpeg2Picture(3), Mpeg2Picture(3),
      Mpeg2Picture(2)},
     {0, 2, 3, 4, 5},
     {1, 2, 3, 3, 2}},
    {"MPEG-2 intra picture without a sequence header",
     1,
     {Mpeg2Headers(), Mpeg2Picture(1), Mpeg2Picture(2), Mpeg2Picture(1), Mpeg2Picture(4),
      Mpeg2Picture(2)},
     {0, 2, 3, 5},
     {1, 2, 1, 2}},
    {"MPEG-4 VOS, VOL, I, P, B, sprite",
     2,
     {{0, 0, 1, 0xB0, 0x01},
      {0, 0, 1, 0xB5, 0x09},
      {0, 0, 1, 0x00},
      BuildVol({}),
      Mpeg4Vop(0),
      Mpeg4Vop(1),
      Mpeg4Vop(2),
      Mpeg4Vop(3),
      Mpeg4Vop(1)},
     {0, 5, 6, 8},
     {1, 2, 3, 2}},
};

class MpegScanTest : public testing::TestWithParam<MpegCase> {};

} // namespace

TEST_P(MpegScanTest, FramesAndTypes)
{
    const MpegCase& c = GetParam();
    std::vector<uint8_t> bytes;
    std::vector<int64_t> starts;
    for (const auto& u : c.units) {
        starts.push_back(static_cast<int64_t>(bytes.size()));
        Append(bytes, u);
    }
    std::vector<Frame> expected;
    for (size_t i = 0; i < c.frameStarts.size(); ++i) {
        const int64_t from = starts[c.frameStarts[i]];
        const int64_t to = i + 1 < c.frameStarts.size() ? starts[c.frameStarts[i + 1]]
                                                        : static_cast<int64_t>(bytes.size());
        expected.push_back({from, to - from, c.types[i]});
    }
    MpegScanOptions options;
    options.codecKind = c.codecKind;
    EXPECT_EQ(ScanBoth(bytes, [options](const RecordWindow& w,
                                        ScannedFrame& f) { return ScanMpegFrame(w, options, f); }),
              expected);
}

INSTANTIATE_TEST_SUITE_P(Streams, MpegScanTest, testing::ValuesIn(kMpegCases),
                         [](const testing::TestParamInfo<MpegCase>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return n;
                         });

// ---- QBox ----

namespace {

std::vector<uint8_t> LengthPrefixed(std::initializer_list<std::vector<uint8_t>> nals)
{
    std::vector<uint8_t> out;
    for (const auto& n : nals) {
        uint8_t l[4];
        WriteBE32(l, static_cast<uint32_t>(n.size()));
        out.insert(out.end(), l, l + 4);
        Append(out, n);
    }
    return out;
}

std::vector<uint8_t> H264Box(std::vector<uint8_t> payload, uint64_t time)
{
    std::vector<uint8_t> box;
    QBoxFields f;
    f.compositionTime = time;
    EXPECT_TRUE(AppendQBox(box, f, payload));
    return box;
}

std::vector<uint8_t> AacBox()
{
    std::vector<uint8_t> payload;
    EXPECT_TRUE(AppendQmedPayload(payload, 3, 2, std::vector<uint8_t>(20, 0x21)));
    std::vector<uint8_t> box;
    QBoxFields f;
    f.streamType = kQBoxStreamAac;
    EXPECT_TRUE(AppendQBox(box, f, payload));
    return box;
}

Scan QBoxScan(bool mjpeg, size_t maxBox = 0x100000)
{
    QBoxScanOptions options;
    options.motionJpeg = mjpeg;
    options.maxBoxSize = maxBox;
    return
        [options](const RecordWindow& w, ScannedFrame& f) { return ScanQBoxFrame(w, options, f); };
}

} // namespace

// H.264 boxes are frames typed by their first telling NAL unit (P without
// one); AAC boxes, the
// encoder's format header and stray bytes between boxes are passed over; a box
// whose size is not a multiple of 4 still leads to the right next box, whether
// the padding follows it or sits between its header and its payload.
TEST(QBoxScanTest, VideoBoxesAreFrames)
{
    const std::vector<uint8_t> sps = {0x67, 0x42, 0, 30, 0x11};
    const std::vector<uint8_t> sei = {0x06, 5, 1, 0x80};
    std::vector<uint8_t> bytes;
    std::vector<int64_t> starts;
    auto add = [&](const std::vector<uint8_t>& box) {
        starts.push_back(static_cast<int64_t>(bytes.size()));
        Append(bytes, box);
    };
    add(H264Box(LengthPrefixed({sps, {0x68, 1}, {0x65, 0x88, 1, 2, 3}}), 9000));
    add(AacBox());
    add(H264Box(LengthPrefixed({{0x41, 0x9A, 7}}), 12600)); // size 35: not a multiple of 4
    bytes.insert(bytes.end(), {0, 0, 0});                   // padding after it
    add(H264Box(LengthPrefixed({sei, {0x41, 0x9A, 9}}), 16200));
    DeviceFrameFields format;
    ASSERT_TRUE(AppendDeviceFrame(bytes, format, {}));
    // Size 39, padded by 1 between the header and the payload.
    std::vector<uint8_t> padded = H264Box(LengthPrefixed({{0x01, 0xAE, 1, 2, 3, 4, 5}}), 19800);
    padded.insert(padded.begin() + 28, 0xEE);
    add(padded);
    add(H264Box(LengthPrefixed({{0x65, 0x88}}), 23400));
    // No unit tells the type (a PPS alone; a length past the box): P frames.
    add(H264Box(LengthPrefixed({{0x68, 1}}), 27000));
    std::vector<uint8_t> damaged = H264Box(LengthPrefixed({{0x65, 0x88}}), 30600);
    WriteBE32(damaged.data() + 28, 0x1000);
    add(damaged);

    const std::vector<Frame> frames = ScanBoth(bytes, QBoxScan(false));
    ASSERT_EQ(frames.size(), 7u);
    const int64_t boxes[] = {0, 2, 3, 4, 5, 6, 7};
    const int32_t types[] = {1, 2, 2, 3, 1, 2, 2};
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].position, starts[boxes[i]]);
        EXPECT_EQ(frames[i].type, types[i]);
        EXPECT_EQ(frames[i].length, ReadBE32(bytes.data() + starts[boxes[i]]));
    }
    // The box padded in front of its payload is read at its padded place.
    QBoxHeader header;
    ASSERT_TRUE(ReadQBoxHeader(std::span<const uint8_t>(bytes).subspan(starts[4]), header));
    size_t offset = 0, length = 0;
    ASSERT_TRUE(LocateQBoxH264Media(header, std::span<const uint8_t>(bytes).subspan(starts[4]),
                                    offset, length));
    EXPECT_EQ(offset, 29u);
    EXPECT_EQ(length, 11u);
}

// A box padded in front of its units is typed the same whether or not the
// read that brought it ended at its last byte: the scanner waits for the
// padding rather than guess without it.
TEST(QBoxScanTest, PaddedBoxIsTypedTheSameAtAnyWindowEnd)
{
    std::vector<uint8_t> bytes = H264Box(LengthPrefixed({{0x65, 0x88, 1, 2, 3, 4, 5}}), 9000);
    bytes.insert(bytes.begin() + 28, 0xEE); // size 39, units one byte on
    const size_t size = ReadBE32(bytes.data());
    ASSERT_EQ(size % 4, 3u);
    Append(bytes, H264Box(LengthPrefixed({{0x41, 0x9A, 7}}), 12600));
    const Scan scan = QBoxScan(false);

    ScannedFrame whole;
    ASSERT_EQ(scan(RecordWindow{bytes, true}, whole), FrameScanStatus::Found);
    EXPECT_EQ(whole.frameType, 1);
    // The window ends at the box's last byte, before the padding's.
    ScannedFrame cut;
    EXPECT_EQ(scan(RecordWindow{std::span<const uint8_t>(bytes).first(size), false}, cut),
              FrameScanStatus::NeedMore);
    ScannedFrame padded;
    ASSERT_EQ(scan(RecordWindow{std::span<const uint8_t>(bytes).first(size + 1), false}, padded),
              FrameScanStatus::Found);
    EXPECT_EQ(padded.frameType, whole.frameType);
    EXPECT_EQ(padded.length, whole.length);
}

TEST(QBoxScanTest, JpegBoxesAndOversizedBoxes)
{
    std::vector<uint8_t> bytes;
    QBoxFields jpeg;
    jpeg.streamType = kQBoxStreamJpeg;
    ASSERT_TRUE(AppendQBox(bytes, jpeg, std::vector<uint8_t>(100, 0xD8)));
    Append(bytes, AacBox());
    ASSERT_TRUE(AppendQBox(bytes, jpeg, std::vector<uint8_t>(300, 0xD8)));
    const std::vector<Frame> frames = ScanBoth(bytes, QBoxScan(true));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (Frame{0, 128, 1}));
    EXPECT_EQ(frames[1].length, 328);

    RecordScanResult end = RecordScanResult::Found;
    EXPECT_EQ(ScanAll(bytes, QBoxScan(true, 200), 1 << 16, &end).size(), 1u);
    EXPECT_EQ(end, RecordScanResult::Oversize);
}

// ---- JPEG 2000 ----

namespace {

std::vector<uint8_t> Field(bool second, uint32_t number, size_t length)
{
    std::vector<uint8_t> f(kJP2KFieldHeaderSize + length, 0x42);
    JP2KFieldFields fields;
    fields.frameNumber = number;
    fields.captureSeconds = 100;
    fields.captureMicros = number * 40000;
    EXPECT_TRUE(WriteJP2KFieldHeader(f, fields, second, length));
    return f;
}

} // namespace

// A frame is a first field followed by its second; a first field without its
// second, a second without its first and a pair beyond 512000 bytes are not
// frames.
TEST(JP2KScanTest, FieldPairsAreFrames)
{
    std::vector<uint8_t> bytes;
    std::vector<Frame> expected;
    auto pair = [&](uint32_t n, size_t a, size_t b, bool frame) {
        const int64_t at = static_cast<int64_t>(bytes.size());
        Append(bytes, Field(false, n, a));
        Append(bytes, Field(true, n, b));
        if (frame)
            expected.push_back({at, static_cast<int64_t>(bytes.size()) - at, 1});
    };
    pair(1, 500, 400, true);
    Append(bytes, Field(false, 2, 300)); // the first field alone
    pair(3, 200, 100, true);
    Append(bytes, Field(true, 4, 300)); // a second field alone
    pair(5, 300000, 250000, false);     // too long for the read buffer
    pair(6, 100, 100, true);
    bytes.insert(bytes.end(), 50, 0x3E); // trailing bytes
    EXPECT_EQ(ScanBoth(
                  bytes, [](const RecordWindow& w, ScannedFrame& f) { return ScanJP2KFrame(w, f); },
                  150001, 0x200000),
              expected);

    ScannedFrame f;
    ASSERT_EQ(ScanJP2KFrame({bytes, true}, f), FrameScanStatus::Found);
    EXPECT_EQ(f.frameNumber, 1);
    EXPECT_EQ(f.frameRate, 25);
    EXPECT_EQ(f.timestamp, 100 * 1000000LL + 40000);
}

// A packet start needs the packet after it confirmed where the file goes on:
// until the window holds it, the answer waits, so that a longer window cannot
// overturn it.
TEST(TsPacketStartTest, WaitsForThePacketAfter)
{
    std::vector<uint8_t> bytes(3 * 188 + 10, 0x11);
    bytes[0] = bytes[188] = bytes[376] = 0x47;
    std::vector<uint8_t> broken = bytes;
    broken[376] = 0;
    struct Case {
        const std::vector<uint8_t>* bytes;
        size_t windowLength;
        bool reachesEnd;
        ptrdiff_t start;
    };
    const Case cases[] = {
        {&bytes, bytes.size(), false, 188},
        {&bytes, 300, false, kTsPacketUndecided},
        {&bytes, 300, true, 188},
        {&broken, broken.size(), false, -1},
        {&broken, 300, false, kTsPacketUndecided},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.windowLength << " " << c.reachesEnd);
        EXPECT_EQ(
            TsPacketStartBefore(std::span(*c.bytes).first(c.windowLength), 200, 188, c.reachesEnd),
            c.start);
    }
}
