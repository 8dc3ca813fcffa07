#include "QBox.h"

#include "Adts.h"
#include "ByteOrder.h"
#include "ByteSearch.h"

#include <algorithm>
#include <cstring>

bool QBoxWalker::Next(QBoxRef& box)
{
    while (!m_done && m_search < m_buffer.size()) {
        ptrdiff_t hit = FindPattern(m_buffer.subspan(m_search), kQBoxType);
        if (hit < 0)
            break;
        size_t type = m_search + static_cast<size_t>(hit);
        // type >= 4 holds: the search never starts before offset 4.
        size_t start = type - 4;
        if (m_buffer.size() - start < kQBoxHeaderSize)
            break;
        uint32_t size = ReadBE32(m_buffer.data() + start);
        if (size == 0 || (size & 0x80000000u)) {
            m_done = true;
            return false;
        }
        m_search = type + size;
        QBoxHeader header;
        if (!ReadQBoxHeader(m_buffer.subspan(start), header))
            continue;
        size_t available = m_buffer.size() - start;
        box.offset = start;
        box.header = header;
        box.complete = size <= available;
        box.bytes = m_buffer.subspan(start, box.complete ? size : available);
        return true;
    }
    m_done = true;
    return false;
}

namespace {

// Length of the NAL unit at `at`, 0 when the length word is invalid.
size_t NalLengthAt(std::span<const uint8_t> payload, size_t at)
{
    if (payload.size() - at < 4)
        return 0;
    uint32_t length = ReadBE32(payload.data() + at);
    if (length == 0 || (length & 0x80000000u) || length > payload.size() - at - 4)
        return 0;
    return length;
}

} // namespace

size_t AppendNalUnitsAsStartCodes(std::span<const uint8_t> payload, std::vector<uint8_t>& out,
                                  std::vector<size_t>* unitStarts)
{
    static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
    size_t units = 0;
    size_t at = 0;
    while (at < payload.size()) {
        size_t length = NalLengthAt(payload, at);
        if (length == 0)
            break;
        if (unitStarts)
            unitStarts->push_back(out.size());
        out.insert(out.end(), kStartCode, kStartCode + 4);
        out.insert(out.end(), payload.begin() + static_cast<ptrdiff_t>(at + 4),
                   payload.begin() + static_cast<ptrdiff_t>(at + 4 + length));
        at += 4 + length;
        ++units;
    }
    return units;
}

namespace {

// Every 4-byte length valid and the last unit ending exactly at the end.
bool NalLengthsChain(std::span<const uint8_t> payload)
{
    size_t at = 0;
    while (at < payload.size()) {
        size_t length = NalLengthAt(payload, at);
        if (length == 0)
            return false;
        at += 4 + length;
    }
    return at == payload.size() && at > 0;
}

} // namespace

bool LocateQBoxH264Media(const QBoxHeader& header, std::span<const uint8_t> bytes, size_t& offset,
                         size_t& length)
{
    size_t boxBytes = std::min<size_t>(header.boxSize, bytes.size());
    size_t at = 0, n = 0;
    if (!LocateQBoxMedia(header, bytes.first(boxBytes), at, n))
        return false;
    offset = at;
    length = n;
    if (NalLengthsChain(bytes.subspan(at, n)) || header.boxSize % 4 == 0)
        return true;
    size_t padded = at + (4 - header.boxSize % 4);
    if (padded <= bytes.size() && bytes.size() - padded >= n &&
        NalLengthsChain(bytes.subspan(padded, n)))
        offset = padded;
    return true;
}

size_t RewriteNalLengthsInPlace(std::span<uint8_t> payload)
{
    size_t units = 0;
    size_t at = 0;
    while (at < payload.size()) {
        size_t length = NalLengthAt(payload, at);
        if (length == 0)
            break;
        payload[at] = 0;
        payload[at + 1] = 0;
        payload[at + 2] = 0;
        payload[at + 3] = 1;
        at += 4 + length;
        ++units;
    }
    return units;
}

bool ReadQmedHeader(std::span<const uint8_t> payload, QmedAacConfig& config)
{
    if (payload.size() < kQmedMinHeaderSize || std::memcmp(payload.data() + 4, kQmedType, 4) != 0)
        return false;
    uint32_t headerSize = ReadBE32(payload.data());
    if (headerSize < kQmedMinHeaderSize || headerSize > payload.size())
        return false;
    uint32_t value = ReadBE32(payload.data() + 36);
    if (value == 0 || (value & 0x80000000u))
        return false;
    uint8_t b40 = payload[40];
    uint8_t b41 = payload[41];
    QmedAacConfig c;
    c.headerSize = headerSize;
    c.objectType = b40 >> 3;
    c.samplingIndex = static_cast<uint8_t>(((b40 & 7) << 1) | (b41 >> 7));
    c.channels = (b41 >> 3) & 15;
    if (c.objectType != 2 || c.samplingIndex > 12 || (c.channels != 1 && c.channels != 2))
        return false;
    config = c;
    return true;
}

bool AppendQmedPayload(std::vector<uint8_t>& out, uint8_t samplingIndex, uint8_t channels,
                       std::span<const uint8_t> rawFrame, uint32_t value36, uint32_t headerSize)
{
    if (headerSize < kQmedMinHeaderSize || headerSize > 0x10000 || samplingIndex > 12 ||
        (channels != 1 && channels != 2) || value36 == 0 || (value36 & 0x80000000u))
        return false;
    std::vector<uint8_t> header(headerSize, 0);
    WriteBE32(header.data(), headerSize);
    std::memcpy(header.data() + 4, kQmedType, 4);
    WriteBE32(header.data() + 36, value36);
    header[40] = static_cast<uint8_t>((2 << 3) | (samplingIndex >> 1));
    header[41] = static_cast<uint8_t>(((samplingIndex & 1) << 7) | (channels << 3));
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), rawFrame.begin(), rawFrame.end());
    return true;
}

bool AppendQmedMediaAsAdts(uint32_t sampleFlags, std::span<const uint8_t> media,
                           std::vector<uint8_t>& out)
{
    QmedAacConfig config;
    if (!SampleFlagsSayQmed(sampleFlags) || !ReadQmedHeader(media, config))
        return false;
    return AppendAdtsFrame(out, config.samplingIndex, config.channels,
                           media.subspan(config.headerSize));
}

bool AppendQBoxAacAsAdts(const QBoxRef& box, std::vector<uint8_t>& out)
{
    if (box.header.streamType != kQBoxStreamAac || !box.complete)
        return false;
    size_t offset = 0, length = 0;
    if (!LocateQBoxMedia(box.header, box.bytes, offset, length))
        return false;
    return AppendQmedMediaAsAdts(box.header.sampleFlags, box.bytes.subspan(offset, length), out);
}
