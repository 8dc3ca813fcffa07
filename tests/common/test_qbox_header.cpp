// The QBox header: both versions, with and without the sample-data flag, byte
// by byte as the table lays them out; payload and media location; time units.
#include "ByteLayout.h"
#include "ByteOrder.h"
#include "QBoxHeader.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Box(const QBoxFields& f, size_t payload)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> body(payload);
    for (size_t i = 0; i < payload; ++i)
        body[i] = static_cast<uint8_t>(i);
    EXPECT_TRUE(AppendQBox(out, f, body));
    return out;
}

TEST(QBoxHeader, VersionOneRoundTrip)
{
    QBoxFields f;
    f.streamType = kQBoxStreamJpeg;
    f.streamId = 7;
    f.sampleFlags = 0x40;
    f.compositionTime = 0x1122334455ULL;
    std::vector<uint8_t> box = Box(f, 100);
    ASSERT_EQ(box.size(), 128u);
    QBoxHeader h;
    ASSERT_TRUE(ReadQBoxHeader(box, h));
    EXPECT_EQ(h.boxSize, 128u);
    EXPECT_EQ(h.version, 1);
    EXPECT_TRUE(h.HasSampleData());
    EXPECT_EQ(h.streamType, kQBoxStreamJpeg);
    EXPECT_EQ(h.streamId, 7);
    EXPECT_EQ(h.sampleFlags, 0x40u);
    EXPECT_EQ(h.compositionTime, 0x1122334455ULL);
    EXPECT_EQ(QBoxPayloadLength(h, box), 100);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(LocateQBoxMedia(h, box, offset, length));
    EXPECT_EQ(offset, 28u + 16u);
    EXPECT_EQ(length, 84u);
}

TEST(QBoxHeader, VersionZeroRoundTrip)
{
    QBoxFields f;
    f.version = 0;
    f.compositionTime = 0x1FFFFFFFFULL; // only 32 bits are kept
    std::vector<uint8_t> box = Box(f, 10);
    ASSERT_EQ(box.size(), 34u);
    box.resize(40); // the reader wants 28 buffered bytes
    QBoxHeader h;
    ASSERT_TRUE(ReadQBoxHeader(box, h));
    EXPECT_EQ(h.version, 0);
    EXPECT_EQ(h.compositionTime, 0xFFFFFFFFULL);
    EXPECT_EQ(QBoxPayloadLength(h, box), 10);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(LocateQBoxMedia(h, box, offset, length));
    EXPECT_EQ(offset, 24u);
    EXPECT_EQ(length, 10u);
}

TEST(QBoxHeader, ExplicitPayloadLengthWithoutSampleDataFlag)
{
    for (uint8_t version : {0, 1}) {
        QBoxFields f;
        f.version = version;
        f.boxFlags = 0;
        std::vector<uint8_t> box = Box(f, 20);
        QBoxHeader h;
        ASSERT_TRUE(ReadQBoxHeader(box, h));
        EXPECT_FALSE(h.HasSampleData());
        size_t lengthAt = version == 1 ? 32 : 28;
        EXPECT_EQ(ReadBE32(&box[lengthAt]), 20u);
        EXPECT_EQ(QBoxPayloadLength(h, box), 20);
        size_t offset = 0, length = 0;
        ASSERT_TRUE(LocateQBoxMedia(h, box, offset, length));
        EXPECT_EQ(offset, lengthAt + 4);
        EXPECT_EQ(box[offset + 5], 5);
        // A stated length beyond the box is refused.
        WriteBE32(&box[lengthAt], 21);
        EXPECT_FALSE(LocateQBoxMedia(h, box, offset, length));
        // Without the length word buffered the length is unknown.
        EXPECT_EQ(QBoxPayloadLength(h, std::span(box).first(lengthAt + 3)), -1);
    }
}

TEST(QBoxHeader, RejectsTopBitShortAndForeign)
{
    std::vector<uint8_t> box = Box({}, 4);
    QBoxHeader h;
    EXPECT_FALSE(ReadQBoxHeader(std::span(box).first(27), h));
    std::vector<uint8_t> bad = box;
    bad[0] |= 0x80;
    EXPECT_FALSE(ReadQBoxHeader(bad, h));
    bad = box;
    bad[4] = 'Q';
    EXPECT_FALSE(ReadQBoxHeader(bad, h));
    // A size smaller than the header has no payload.
    bad = box;
    WriteBE32(&bad[0], 20);
    ASSERT_TRUE(ReadQBoxHeader(bad, h));
    EXPECT_EQ(QBoxPayloadLength(h, bad), -1);
    size_t offset = 0, length = 0;
    EXPECT_FALSE(LocateQBoxMedia(h, bad, offset, length));
    // Extra-header flag on a payload shorter than 16 bytes.
    bad = box;
    WriteBE32(&bad[16], 0x40);
    ASSERT_TRUE(ReadQBoxHeader(bad, h));
    EXPECT_FALSE(LocateQBoxMedia(h, bad, offset, length));
    // A box running past the buffered bytes.
    ASSERT_TRUE(ReadQBoxHeader(box, h));
    EXPECT_FALSE(LocateQBoxMedia(h, std::span(box).first(31), offset, length));
}

TEST(QBoxHeader, TimestampsTo100ns)
{
    EXPECT_EQ(QBoxTimeTo100ns(0), 0);
    EXPECT_EQ(QBoxTimeTo100ns(90000), 10000000); // one second
    EXPECT_EQ(QBoxTimeTo100ns(9), 1000);
    EXPECT_EQ(QBoxTimeTo100ns(10), 1111); // truncates like x * 1000 / 9
    EXPECT_EQ(QBoxTimeTo100ns(0xFFFFFFFFULL), static_cast<int64_t>(0xFFFFFFFFULL * 1000 / 9));
    EXPECT_EQ(QBoxTimeTo100ns(std::numeric_limits<uint64_t>::max()),
              std::numeric_limits<int64_t>::max());
}

TEST(QBoxHeader, WriterLimits)
{
    std::vector<uint8_t> out;
    QBoxFields f;
    f.version = 2;
    EXPECT_FALSE(AppendQBox(out, f, {}));
    f.version = 1;
    f.boxFlags = 0x1000000;
    EXPECT_FALSE(AppendQBox(out, f, {}));
    EXPECT_TRUE(out.empty());
}

// ---- Fixed vectors: the box header's table, byte by byte ----

struct QBoxVector {
    const char* name;
    QBoxFields fields;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> bytes; // the whole box as the table lays it out
    int64_t payloadLength;
    size_t mediaOffset, mediaLength;
};

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<uint8_t> kMedia = {0xDE, 0xAD, 0xBE, 0xEF};
const std::vector<uint8_t> kExtraAndMedia =
    Concat(std::vector<uint8_t>(16, 0x11), {0xDE, 0xAD, 0xBE, 0xEF});

const QBoxVector kQBoxVectors[] = {
    // Version 1, sample data: 64-bit time at 20, payload from 28 (box - 28).
    // Sample flag 0x40: 16 further header bytes before the media.
    {"Version1SampleDataExtraHeader",
     {.version = 1,
      .boxFlags = kQBoxFlagSampleData,
      .streamType = kQBoxStreamJpeg,
      .streamId = 7,
      .sampleFlags = 0x40,
      .compositionTime = 0x1122334455ULL},
     kExtraAndMedia,
     Concat(LaidOut(28, {{0, {0x00, 0x00, 0x00, 0x30, 'q', 'b', 'o', 'x'}},
                         {8, {0x01, 0x00, 0x00, 0x01, 0x00, 0x0D, 0x00, 0x07}},
                         {16, {0x00, 0x00, 0x00, 0x40}},
                         {20, {0x00, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55}}}),
            kExtraAndMedia),
     20,
     44,
     4},
    // Version 0, sample data: 32-bit time at 20, payload from 24 (box - 24).
    {"Version0SampleData",
     {.version = 0,
      .streamType = kQBoxStreamH264,
      .streamId = 0x102,
      .compositionTime = 0x89ABCDEF},
     kMedia,
     Concat(LaidOut(24, {{0, {0x00, 0x00, 0x00, 0x1C, 'q', 'b', 'o', 'x'}},
                         {8, {0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x01, 0x02}},
                         {20, {0x89, 0xAB, 0xCD, 0xEF}}}),
            kMedia),
     4,
     24,
     4},
    // Version 0 without sample data: the length at 28, the payload after it.
    {"Version0StatedLength",
     {.version = 0,
      .boxFlags = 0,
      .streamType = kQBoxStreamAac,
      .streamId = 1,
      .sampleFlags = 0x200,
      .compositionTime = 90000},
     kMedia,
     Concat(LaidOut(32, {{0, {0x00, 0x00, 0x00, 0x24, 'q', 'b', 'o', 'x'}},
                         {12, {0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00}},
                         {20, {0x00, 0x01, 0x5F, 0x90}},
                         {28, {0x00, 0x00, 0x00, 0x04}}}),
            kMedia),
     4,
     32,
     4},
    // Version 1 without sample data: the length at 32.
    {"Version1StatedLength",
     {.version = 1, .boxFlags = 0, .streamType = kQBoxStreamH264Alt, .compositionTime = 1},
     kMedia,
     Concat(LaidOut(36, {{0, {0x00, 0x00, 0x00, 0x28, 'q', 'b', 'o', 'x', 0x01}},
                         {12, {0x00, 0x05}},
                         {27, {0x01}},
                         {32, {0x00, 0x00, 0x00, 0x04}}}),
            kMedia),
     4,
     36,
     4},
};

class QBoxVectors : public ::testing::TestWithParam<QBoxVector> {};

TEST_P(QBoxVectors, WriterProducesAndReaderDecodesTheTableLayout)
{
    const QBoxVector& v = GetParam();
    std::vector<uint8_t> written;
    ASSERT_TRUE(AppendQBox(written, v.fields, v.payload));
    EXPECT_EQ(written, v.bytes) << ByteDiff(written, v.bytes);

    QBoxHeader h;
    ASSERT_TRUE(ReadQBoxHeader(v.bytes, h));
    EXPECT_EQ(h.boxSize, v.bytes.size());
    EXPECT_EQ(h.version, v.fields.version);
    EXPECT_EQ(h.boxFlags, v.fields.boxFlags);
    EXPECT_EQ(h.streamType, v.fields.streamType);
    EXPECT_EQ(h.streamId, v.fields.streamId);
    EXPECT_EQ(h.sampleFlags, v.fields.sampleFlags);
    EXPECT_EQ(h.compositionTime, v.fields.compositionTime);
    EXPECT_EQ(QBoxPayloadLength(h, v.bytes), v.payloadLength);
    size_t offset = 0, length = 0;
    ASSERT_TRUE(LocateQBoxMedia(h, v.bytes, offset, length));
    EXPECT_EQ(offset, v.mediaOffset);
    EXPECT_EQ(length, v.mediaLength);
    EXPECT_EQ(std::vector<uint8_t>(v.bytes.begin() + static_cast<ptrdiff_t>(offset),
                                   v.bytes.begin() + static_cast<ptrdiff_t>(offset + length)),
              kMedia);
}

INSTANTIATE_TEST_SUITE_P(Table, QBoxVectors, ::testing::ValuesIn(kQBoxVectors), CaseName());

} // namespace
