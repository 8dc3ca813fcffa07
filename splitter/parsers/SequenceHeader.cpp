#include "SequenceHeader.h"

#include "ByteSearch.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "win32/trace.h"

#include <cstring>
#include <vector>

namespace {

// Next start code at or after `from` whose code byte is inside region; -1 if none.
ptrdiff_t NextStartCode(std::span<const uint8_t> region, size_t from)
{
    if (from >= region.size())
        return -1;
    ptrdiff_t hit = FindStartCode(region.subspan(from));
    if (hit < 0)
        return -1;
    size_t at = from + static_cast<size_t>(hit);
    return at + 3 < region.size() ? static_cast<ptrdiff_t>(at) : -1;
}

size_t Take(std::span<const uint8_t> region, size_t from, size_t to, std::span<uint8_t> dest)
{
    size_t length = to - from;
    if (length == 0 || length > dest.size())
        return 0;
    std::memcpy(dest.data(), region.data() + from, length);
    return length;
}

size_t ExtractMpeg2(std::span<const uint8_t> region, std::span<uint8_t> dest)
{
    ptrdiff_t p = NextStartCode(region, 0);
    while (p >= 0) {
        size_t at = static_cast<size_t>(p);
        ptrdiff_t q = NextStartCode(region, at + 3);
        if (region[at + 3] != 0xB3) {
            p = q;
            continue;
        }
        if (q < 0)
            return 0;
        size_t ext = static_cast<size_t>(q);
        if (region[ext + 3] == 0xB5 && ext + 4 < region.size() && (region[ext + 4] >> 4) == 1) {
            ptrdiff_t r = NextStartCode(region, ext + 3);
            if (r < 0)
                return 0;
            size_t taken = Take(region, at, static_cast<size_t>(r), dest);
            if (taken)
                return taken;
        }
        p = q;
    }
    return 0;
}

size_t ExtractMpeg4(std::span<const uint8_t> region, std::span<uint8_t> dest)
{
    ptrdiff_t p = NextStartCode(region, 0);
    while (p >= 0) {
        size_t at = static_cast<size_t>(p);
        ptrdiff_t q = NextStartCode(region, at + 3);
        if (region[at + 3] == 0x20) {
            if (q < 0)
                return 0;
            size_t taken = Take(region, at, static_cast<size_t>(q), dest);
            if (taken)
                return taken;
        }
        p = q;
    }
    return 0;
}

size_t ExtractH264(std::span<const uint8_t> region, std::span<uint8_t> dest)
{
    ptrdiff_t sps = -1;
    bool pps = false;
    // The first start code after the last PPS whose NAL header has bit 7 clear,
    // whatever its value: where the parameter sets end when the NAL that the
    // search counts comes only after a long unit it passes over (the encoder's
    // SEI, nal_ref_idc 0, in front of the first key picture's slices).
    ptrdiff_t afterPps = -1;
    for (ptrdiff_t p = NextStartCode(region, 0); p >= 0;
         p = NextStartCode(region, static_cast<size_t>(p) + 3)) {
        uint8_t n = region[static_cast<size_t>(p) + 3];
        if (pps && afterPps < 0 && !(n & 0x80) && (n & 31) != 7 && (n & 31) != 8)
            afterPps = p;
        if ((n & 0x80) || n <= 32)
            continue; // not a NAL header this search counts
        int type = n & 31;
        if (type == 7) {
            if (sps < 0)
                sps = p;
        } else if (type == 8) {
            if (sps >= 0) {
                pps = true;
                afterPps = -1;
            }
        } else if (sps >= 0 && pps) {
            size_t taken = Take(region, static_cast<size_t>(sps), static_cast<size_t>(p), dest);
            if (!taken && afterPps > sps)
                taken = Take(region, static_cast<size_t>(sps), static_cast<size_t>(afterPps), dest);
            if (taken)
                return taken;
            sps = -1; // too long: look for a later SPS
            pps = false;
            afterPps = -1;
        }
    }
    return 0;
}

size_t ExtractJP2K(std::span<const uint8_t> buffer, std::span<uint8_t> dest)
{
    if (dest.size() < kJP2KSequenceHeaderSize || buffer.size() <= kJP2KSequenceSearchMargin)
        return 0;
    std::span<const uint8_t> region = buffer.first(buffer.size() - kJP2KSequenceSearchMargin);
    size_t from = 0;
    while (from < region.size()) {
        ptrdiff_t hit = FindPattern(region.subspan(from), kDeviceFrameMagic);
        if (hit < 0)
            return 0;
        size_t at = from + static_cast<size_t>(hit);
        // at + 160 <= buffer.size() because the magic lies inside region.
        if (IsJP2KFirstFieldStart(buffer.subspan(at))) {
            std::memcpy(dest.data(), buffer.data() + at, kJP2KSequenceHeaderSize);
            return kJP2KSequenceHeaderSize;
        }
        from = at + 1;
    }
    return 0;
}

// Follows the NAL headers as they are appended to learn when the rewritten bytes
// already hold an SPS, a PPS and a further NAL with the search margin behind it.
class NalProgress {
public:
    void Unit(uint8_t header, size_t startCode)
    {
        if ((header & 0x80) || header <= 32 || m_done)
            return;
        int type = header & 31;
        if (type == 7)
            m_sps = true;
        else if (type == 8 && m_sps)
            m_pps = true;
        else if (m_sps && m_pps) {
            m_done = true;
            m_end = startCode;
        }
    }
    // True once the bytes up to `size` are enough for the search to see the header.
    bool Enough(size_t size) const { return m_done && size > m_end + 4 + kSequenceSearchMargin; }

private:
    bool m_sps = false, m_pps = false, m_done = false;
    size_t m_end = 0;
};

// The H.264 payloads of the complete boxes, each NAL unit behind 00 00 00 01. With
// stopEarly, collecting ends once the bytes gathered hold a whole SPS/PPS sequence
// with the search margin behind it: a search over more would find the same first.
std::vector<uint8_t> QBoxH264AsStartCodes(std::span<const uint8_t> buffer, bool stopEarly)
{
    std::vector<uint8_t> out;
    out.reserve(stopEarly ? 4096 : buffer.size());
    NalProgress progress;
    std::vector<size_t> starts;
    QBoxWalker walker(buffer);
    QBoxRef box;
    while (walker.Next(box)) {
        if (!box.complete || !IsQBoxH264Stream(box.header.streamType))
            continue;
        size_t offset = 0, length = 0;
        if (!LocateQBoxMedia(box.header, box.bytes, offset, length))
            continue;
        starts.clear();
        AppendNalUnitsAsStartCodes(box.bytes.subspan(offset, length), out, &starts);
        if (!stopEarly)
            continue;
        // Each unit: 00 00 00 01, then its NAL header (units are never empty).
        for (size_t at : starts)
            progress.Unit(out[at + 4], at + 1);
        if (progress.Enough(out.size()))
            break;
    }
    return out;
}

size_t ExtractForKind(std::span<const uint8_t> buffer, int32_t codecKind, int32_t containerKind,
                      std::span<uint8_t> dest)
{
    if (codecKind == CodecMjpeg)
        return dest.size();
    if (codecKind == CodecJP2K)
        return ExtractJP2K(buffer, dest);

    if (IsH264Kind(codecKind) && containerKind == ContainerQBox) {
        // Most streams carry their SPS and PPS in the first boxes: try those first.
        std::vector<uint8_t> rewritten = QBoxH264AsStartCodes(buffer, true);
        if (rewritten.size() > kSequenceSearchMargin) {
            size_t n = ExtractH264(
                std::span<const uint8_t>(rewritten).first(rewritten.size() - kSequenceSearchMargin),
                dest);
            if (n)
                return n;
        }
        rewritten = QBoxH264AsStartCodes(buffer, false);
        if (rewritten.size() <= kSequenceSearchMargin)
            return 0;
        return ExtractH264(
            std::span<const uint8_t>(rewritten).first(rewritten.size() - kSequenceSearchMargin),
            dest);
    }
    if (buffer.size() <= kSequenceSearchMargin)
        return 0;
    std::span<const uint8_t> region = buffer.first(buffer.size() - kSequenceSearchMargin);
    switch (codecKind) {
    case CodecMpeg2:
        return ExtractMpeg2(region, dest);
    case CodecMpeg4:
        return ExtractMpeg4(region, dest);
    default:
        return IsH264Kind(codecKind) ? ExtractH264(region, dest) : 0;
    }
}

} // namespace

size_t ExtractSequenceHeader(std::span<const uint8_t> buffer, int32_t codecKind,
                             int32_t containerKind, std::span<uint8_t> dest)
{
    const size_t taken = ExtractForKind(buffer, codecKind, containerKind, dest);
    TV_TRACE("parsers",
             "ExtractSequenceHeader(%zu bytes, codec %d, container %d, %zu-byte dest) -> %zu",
             buffer.size(), static_cast<int>(codecKind), static_cast<int>(containerKind),
             dest.size(), taken);
    return taken;
}
