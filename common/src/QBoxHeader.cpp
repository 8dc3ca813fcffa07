#include "QBoxHeader.h"

#include "ByteOrder.h"

#include <cstring>
#include <limits>

bool ReadQBoxHeader(std::span<const uint8_t> box, QBoxHeader& out)
{
    if (box.size() < kQBoxHeaderSize || std::memcmp(box.data() + 4, kQBoxType, 4) != 0)
        return false;
    const uint8_t* p = box.data();
    QBoxHeader h;
    h.boxSize = ReadBE32(p);
    if (h.boxSize & 0x80000000u)
        return false;
    h.version = p[8];
    h.boxFlags = (uint32_t{p[9]} << 16) | (uint32_t{p[10]} << 8) | p[11];
    h.streamType = ReadBE16(p + 12);
    h.streamId = ReadBE16(p + 14);
    h.sampleFlags = ReadBE32(p + 16);
    h.compositionTime = h.version == 1 ? ReadBE64(p + 20) : ReadBE32(p + 20);
    out = h;
    return true;
}

namespace {

size_t HeaderEnd(const QBoxHeader& h)
{
    return h.version == 1 ? 28 : 24;
}

} // namespace

int64_t QBoxPayloadLength(const QBoxHeader& header, std::span<const uint8_t> box)
{
    size_t end = HeaderEnd(header);
    if (header.HasSampleData()) {
        if (header.boxSize < end)
            return -1;
        return static_cast<int64_t>(header.boxSize) - static_cast<int64_t>(end);
    }
    size_t at = end + 4;
    if (box.size() < at + 4 || header.boxSize < at + 4)
        return -1;
    return ReadBE32(box.data() + at);
}

size_t QBoxPayloadOffset(const QBoxHeader& header)
{
    return header.HasSampleData() ? HeaderEnd(header) : HeaderEnd(header) + 8;
}

bool LocateQBoxMedia(const QBoxHeader& header, std::span<const uint8_t> box, size_t& offset,
                     size_t& length)
{
    int64_t payload = QBoxPayloadLength(header, box);
    if (payload < 0)
        return false;
    uint64_t start = QBoxPayloadOffset(header);
    uint64_t size = static_cast<uint64_t>(payload);
    if (header.sampleFlags & kQBoxSampleFlagExtraHeader) {
        if (size < kQBoxExtraHeaderSize)
            return false;
        start += kQBoxExtraHeaderSize;
        size -= kQBoxExtraHeaderSize;
    }
    if (start + size > header.boxSize || start + size > box.size())
        return false;
    offset = static_cast<size_t>(start);
    length = static_cast<size_t>(size);
    return true;
}

int64_t QBoxTimeTo100ns(uint64_t compositionTime)
{
    constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
    // Split so that the multiplication cannot overflow: t = 9q + r.
    uint64_t q = compositionTime / 9;
    uint64_t r = compositionTime % 9;
    if (q > kMax / 1000)
        return std::numeric_limits<int64_t>::max();
    uint64_t value = q * 1000 + r * 1000 / 9;
    return value > kMax ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(value);
}

bool AppendQBox(std::vector<uint8_t>& stream, const QBoxFields& f, std::span<const uint8_t> payload)
{
    if (f.version > 1 || f.boxFlags > 0xFFFFFF)
        return false;
    size_t end = f.version == 1 ? 28 : 24;
    size_t header = (f.boxFlags & kQBoxFlagSampleData) ? end : end + 8;
    if (payload.size() > 0x7FFFFFFFu - header)
        return false;
    uint8_t h[36] = {};
    WriteBE32(h, static_cast<uint32_t>(header + payload.size()));
    std::memcpy(h + 4, kQBoxType, 4);
    h[8] = f.version;
    h[9] = static_cast<uint8_t>(f.boxFlags >> 16);
    h[10] = static_cast<uint8_t>(f.boxFlags >> 8);
    h[11] = static_cast<uint8_t>(f.boxFlags);
    WriteBE16(h + 12, f.streamType);
    WriteBE16(h + 14, f.streamId);
    WriteBE32(h + 16, f.sampleFlags);
    if (f.version == 1)
        WriteBE64(h + 20, f.compositionTime);
    else
        WriteBE32(h + 20, static_cast<uint32_t>(f.compositionTime));
    if (header != end)
        WriteBE32(h + end + 4, static_cast<uint32_t>(payload.size()));
    stream.insert(stream.end(), h, h + header);
    stream.insert(stream.end(), payload.begin(), payload.end());
    return true;
}
