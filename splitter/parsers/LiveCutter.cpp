#include "LiveCutter.h"

#include "ByteOrder.h"
#include "ByteSearch.h"
#include "JP2KFieldHeader.h"
#include "Adts.h"
#include "QBox.h"

#include <algorithm>
#include <cstring>

DeviceFrameCut CutDeviceFrame(std::span<const uint8_t> buffered)
{
    DeviceFrameCut cut;
    ptrdiff_t hit = FindPattern(buffered, kDeviceFrameMagic);
    if (hit < 0)
        return cut;
    size_t at = static_cast<size_t>(hit);
    size_t left = buffered.size() - at;
    cut.consumed = at;
    if (left <= kDeviceHeader40Size) {
        cut.result = LiveCut::NeedMore;
        return cut;
    }
    const uint8_t* h = buffered.data() + at;
    bool layout36 = DeviceHeaderLayoutOf(h[5]) == DeviceHeaderLayout::Header36;
    size_t headerSize = layout36 ? kDeviceHeader36Size : kDeviceHeader40Size;
    int64_t total = layout36 ? static_cast<int32_t>(ReadLE32(h + 20)) : ReadLE16(h + 14);
    bool voice = layout36 ? (h[4] & 0x01) != 0 : (h[5] & 0x08) != 0;
    const bool lengthValid = total >= static_cast<int64_t>(headerSize) &&
                             total - static_cast<int64_t>(headerSize) <= kDeviceMaxPayload;
    const size_t length = lengthValid ? static_cast<size_t>(total) : headerSize;
    // The next frame's header inside this one's length (or its header's, when
    // the length is bad): this frame came short, a datagram lost or the frame
    // cut, and must not take the next one with it.
    const InnerDeviceHeader inner = FindInnerDeviceHeader(buffered.subspan(at), length);
    if (inner.result != LiveCut::NotFound) {
        cut.result = inner.result;
        if (inner.result == LiveCut::Drop)
            cut.consumed = at + inner.offset;
        return cut;
    }
    if (!lengthValid) {
        cut.result = LiveCut::Drop;
        cut.consumed = at + headerSize;
        return cut;
    }
    if (left < length) {
        cut.result = LiveCut::NeedMore;
        return cut;
    }
    cut.result = voice ? LiveCut::Voice : LiveCut::Video;
    cut.continues = !voice && !layout36 && total == 0xFFFF;
    cut.payloadOffset = at + headerSize;
    cut.payloadLength = length - headerSize;
    cut.consumed = at + length;
    return cut;
}

InnerDeviceHeader FindInnerDeviceHeader(std::span<const uint8_t> frame, size_t length)
{
    InnerDeviceHeader found;
    const size_t searchEnd = std::min(frame.size(), length + sizeof(kDeviceFrameMagic) - 1);
    for (size_t from = 1; from < searchEnd;) {
        const ptrdiff_t hit = FindPattern(frame.subspan(from, searchEnd - from), kDeviceFrameMagic);
        if (hit < 0)
            break;
        const size_t inner = from + static_cast<size_t>(hit);
        const std::span<const uint8_t> rest = frame.subspan(inner);
        // Only a magic whose header is not all buffered yet leaves it open.
        if (rest.size() < 6 || rest.size() < DeviceHeaderSize(DeviceHeaderLayoutOf(rest[5]))) {
            found.result = LiveCut::NeedMore;
            return found;
        }
        if (IsDeviceFrameHeader(rest)) {
            found.result = LiveCut::Drop;
            found.offset = inner;
            return found;
        }
        from = inner + 1;
    }
    // The buffered bytes may stop inside a magic that starts within the
    // frame: wait for its rest, or how the bytes happened to arrive would
    // decide whether this frame takes the next one's first bytes with it.
    const size_t end = std::min(frame.size(), length);
    for (size_t at = std::max<size_t>(1, frame.size() >= 3 ? frame.size() - 3 : 0); at < end;
         ++at) {
        if (std::equal(frame.begin() + static_cast<ptrdiff_t>(at), frame.end(),
                       std::begin(kDeviceFrameMagic))) {
            found.result = LiveCut::NeedMore;
            return found;
        }
    }
    return found;
}

bool IsDeviceFrameHeader(std::span<const uint8_t> bytes)
{
    DeviceFrameHeader header;
    return ReadDeviceFrameHeader(bytes, header) &&
           header.totalLength >= static_cast<int64_t>(header.HeaderSize()) &&
           header.PayloadLength() <= kDeviceMaxPayload;
}

size_t CutElementaryUnit(std::span<const uint8_t> buffered)
{
    size_t from = 1;
    while (from < buffered.size()) {
        ptrdiff_t hit = FindStartCode(buffered.subspan(from));
        if (hit < 0)
            break;
        size_t at = from + static_cast<size_t>(hit);
        // A start code with only zeros before it is the read position's own, in
        // its 00 00 00 01 form.
        bool own = std::all_of(buffered.begin(), buffered.begin() + static_cast<ptrdiff_t>(at),
                               [](uint8_t b) { return b == 0; });
        if (!own)
            return at;
        from = at + 1;
    }
    return buffered.size() > 2 ? buffered.size() - 2 : 0;
}

TsPacketCut CutTransportPacket(std::span<const uint8_t> buffered, size_t packetSize,
                               int32_t videoPid)
{
    TsPacketCut cut;
    size_t at = 0;
    if (buffered.empty() || buffered[0] != 0x47) {
        ptrdiff_t sync = FindTsSync(buffered, packetSize);
        if (sync < 0) {
            // Only the offsets the search has ruled out go: once each of them
            // had its four packets' worth of bytes to be tested against. Bytes
            // behind them may hold the stream again, and dropping them as well
            // would depend on how much happened to be buffered.
            size_t searched = 3 * packetSize + 5;
            size_t lastTried =
                searched - 1 + (packetSize == TSParser::kTimestampedPacketSize ? 4 : 0);
            cut.consumed = buffered.size() > lastTried + 3 * packetSize ? searched : 0;
            return cut;
        }
        at = static_cast<size_t>(sync);
    }
    cut.consumed = at;
    size_t needed = std::max(packetSize, TSParser::kPacketSize);
    if (buffered.size() - at < needed) {
        cut.result = LiveCut::NeedMore;
        return cut;
    }
    cut.consumed = at + packetSize;
    TsPacketPayload payload;
    if (TSParser::ExtractPacketPayload(buffered.subspan(at, TSParser::kPacketSize), payload) &&
        payload.pid == videoPid && payload.length > 0) {
        payload.offset += at;
        cut.payload = payload;
        cut.result = LiveCut::Video;
    } else {
        cut.result = LiveCut::Drop;
    }
    return cut;
}

JP2KFrameCut CutJP2KFrame(std::span<const uint8_t> window)
{
    JP2KFrameCut cut;
    size_t from = 0;
    while (from < window.size()) {
        ptrdiff_t hit = FindPattern(window.subspan(from), kDeviceFrameMagic);
        if (hit < 0)
            break;
        size_t first = from + static_cast<size_t>(hit);
        std::span<const uint8_t> rest = window.subspan(first);
        if (rest.size() < kJP2KFieldHeaderSize) {
            cut.result = LiveCut::NeedMore;
            cut.consumed = first;
            return cut;
        }
        JP2KFieldHeader h1;
        if (!ReadJP2KFieldHeader(rest, h1) || h1.secondField) {
            from = first + 1;
            continue;
        }
        size_t second = kJP2KFieldHeaderSize + h1.codestreamLength;
        JP2KFieldHeader h2;
        if (rest.size() < second + kJP2KFieldHeaderSize) {
            cut.result = LiveCut::NeedMore;
            cut.consumed = first;
            return cut;
        }
        if (!ReadJP2KFieldHeader(rest.subspan(second), h2) || !h2.secondField ||
            h2.frameNumber != h1.frameNumber) {
            from = first + 1; // no pair here: look for the next first field
            continue;
        }
        size_t end = second + kJP2KFieldHeaderSize + h2.codestreamLength;
        if (rest.size() < end + 4 || std::memcmp(rest.data() + end, kDeviceFrameMagic, 4) != 0) {
            if (rest.size() < end + 4) {
                cut.result = LiveCut::NeedMore;
                cut.consumed = first;
                return cut;
            }
            from = first + 1;
            continue;
        }
        cut.result = LiveCut::Video;
        cut.frameOffset = first;
        cut.frameLength = end;
        cut.consumed = first + end;
        return cut;
    }
    cut.consumed = window.size() > 3 ? window.size() - 3 : 0;
    return cut;
}

QBoxCut QBoxLiveCutter::ContinueUnits(std::span<const uint8_t> buffered, std::span<uint8_t> sample)
{
    QBoxCut cut;
    size_t in = 0, out = 0;
    for (;;) {
        if (m_unitRemain > 0) {
            size_t n = std::min({m_unitRemain, buffered.size() - in, sample.size() - out});
            if (n == 0)
                break;
            std::memcpy(sample.data() + out, buffered.data() + in, n);
            in += n;
            out += n;
            m_unitRemain -= n;
            m_boxRemain -= n;
            if (m_unitRemain > 0)
                break; // the rest of the unit has not arrived (or no room left)
        }
        if (m_boxRemain < 4) {
            // Bytes too few for another length are padding: the box is done.
            m_boxRemain = 0;
            break;
        }
        if (buffered.size() - in < 4 || sample.size() - out < 4)
            break;
        uint32_t length = ReadBE32(buffered.data() + in);
        if (length == 0 || (length & 0x80000000u) || length > m_boxRemain - 4) {
            Reset();
            break;
        }
        static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
        std::memcpy(sample.data() + out, kStartCode, 4);
        in += 4;
        out += 4;
        m_boxRemain -= 4;
        m_unitRemain = length;
    }
    cut.consumed = in;
    cut.sampleLength = out;
    if (out > 0) {
        cut.result = LiveCut::Video;
        cut.h264 = true;
    }
    return cut;
}

QBoxCut QBoxLiveCutter::Step(std::span<const uint8_t> buffered, std::span<uint8_t> sample,
                             std::vector<uint8_t>& audio)
{
    if (m_boxRemain > 0) {
        QBoxCut cut = ContinueUnits(buffered, sample);
        if (cut.sampleLength > 0)
            return cut;
        if (m_boxRemain > 0) {
            // The box goes on but its next bytes have not arrived yet.
            cut.result = LiveCut::NeedMore;
            return cut;
        }
    }
    QBoxCut cut;
    size_t from = 0;
    ptrdiff_t type = -1;
    while (from < buffered.size()) {
        ptrdiff_t hit = FindPattern(buffered.subspan(from), kQBoxType);
        if (hit < 0)
            break;
        size_t at = from + static_cast<size_t>(hit);
        if (at >= 4) {
            type = static_cast<ptrdiff_t>(at);
            break;
        }
        from = at + 1;
    }
    if (type < 0) {
        cut.result = LiveCut::Drop;
        cut.consumed = buffered.size() > 7 ? buffered.size() - 7 : 0;
        return cut;
    }
    size_t start = static_cast<size_t>(type) - 4;
    cut.consumed = start;
    std::span<const uint8_t> box = buffered.subspan(start);
    if (box.size() < kQBoxHeaderSize) {
        cut.result = LiveCut::NeedMore;
        return cut;
    }
    uint32_t size = ReadBE32(box.data());
    uint16_t streamType = ReadBE16(box.data() + 12);
    uint32_t sampleFlags = ReadBE32(box.data() + 16);
    // Live boxes are version 1 with sample data: the payload is size - 28. A size
    // below that, or with bit 31 set, is no box: pass over its type.
    if (size < kQBoxHeaderSize || (size & 0x80000000u)) {
        cut.result = LiveCut::Drop;
        cut.consumed = start + 8;
        return cut;
    }
    size_t payload = size - kQBoxHeaderSize;
    size_t skip = (sampleFlags & kQBoxSampleFlagExtraHeader) ? kQBoxExtraHeaderSize : 0;
    if (IsQBoxH264Stream(streamType)) {
        if (payload < skip) {
            cut.result = LiveCut::Drop;
            cut.consumed = start + kQBoxHeaderSize;
            return cut;
        }
        if (box.size() < kQBoxHeaderSize + skip) {
            cut.result = LiveCut::NeedMore;
            return cut;
        }
        m_boxRemain = payload - skip;
        m_unitRemain = 0;
        cut.result = LiveCut::NeedMore; // units are copied from the next step on
        cut.consumed = start + kQBoxHeaderSize + skip;
        return cut;
    }
    if (streamType == kQBoxStreamJpeg || streamType == kQBoxStreamAac) {
        // A box that could never be delivered would hold the stream forever.
        if (payload < skip || payload - skip > sample.size()) {
            cut.result = LiveCut::Drop;
            cut.consumed = start + kQBoxHeaderSize;
            return cut;
        }
        if (box.size() < size) {
            cut.result = LiveCut::NeedMore;
            return cut;
        }
        cut.consumed = start + size;
        if (streamType == kQBoxStreamJpeg) {
            size_t length = payload - skip;
            std::memcpy(sample.data(), box.data() + kQBoxHeaderSize + skip, length);
            cut.sampleLength = length;
            cut.result = LiveCut::Video;
            return cut;
        }
        std::span<const uint8_t> media = box.subspan(kQBoxHeaderSize + skip, payload - skip);
        cut.result =
            AppendQmedMediaAsAdts(sampleFlags, media, audio) ? LiveCut::Audio : LiveCut::Drop;
        return cut;
    }
    cut.result = LiveCut::Drop;
    cut.consumed = start + kQBoxHeaderSize;
    return cut;
}
