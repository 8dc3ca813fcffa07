#include "ByteOrder.h"
#include "QBoxHeader.h"

#include <gtest/gtest.h>

#include <limits>
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

} // namespace
