#include "StreamDetect.h"

#include "ByteOrder.h"
#include "ByteSearch.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "QBoxHeader.h"
#include "win32/trace.h"

#include <algorithm>
#include <cstring>

bool PassesTimeCodeTest(uint32_t value)
{
    return ((value >> 13) & 31) <= 23 && ((value >> 7) & 63) < 60 && (value & 63) < 60 &&
           ((value >> 6) & 1) != 0;
}

namespace {

void ScoreStartCode(const uint8_t* p, size_t left, StreamScores& s)
{
    // p points at 00 00 01 n with at least 4 bytes left.
    uint8_t n = p[3];
    switch (n) {
    case 0xB3:
        s.S += 1;
        if (left >= 8 && PassesTimeCodeTest(ReadBE32(p + 4) >> 14))
            s.V += 1;
        return;
    case 0xB8:
        if (left >= 8 && PassesTimeCodeTest(ReadBE32(p + 4) >> 13))
            s.S += 2;
        return;
    case 0xB6:
        s.V += 1;
        return;
    default:
        break;
    }
    if ((n & 0x80) == 0 && n > 32 && n != 0x47 && (n & 31) == 7 && left >= 5) {
        uint8_t profile = p[4];
        if (profile == 66 || profile == 77 || profile == 88)
            s.B += 5;
        else if (profile == 100)
            s.H += 5;
    }
}

} // namespace

StreamScores ScoreStream(std::span<const uint8_t> buffer)
{
    StreamScores s;
    const uint8_t* base = buffer.data();
    size_t size = buffer.size();
    if (size < 4)
        return s;
    // Start codes: find the 01 and look behind it; a word needs 4 bytes.
    size_t i = 2;
    while (i + 1 < size) {
        const void* hit = std::memchr(base + i, 0x01, size - 1 - i);
        if (!hit)
            break;
        i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - base);
        if (base[i - 1] == 0 && base[i - 2] == 0)
            ScoreStartCode(base + i - 2, size - (i - 2), s);
        ++i;
    }
    static constexpr uint8_t kSocSiz[4] = {0xFF, 0x4F, 0xFF, 0x51};
    size_t from = 0;
    for (;;) {
        ptrdiff_t hit = FindPattern(buffer.subspan(from), kSocSiz);
        if (hit < 0)
            break;
        s.J += 1;
        from += static_cast<size_t>(hit) + 1;
    }
    return s;
}

int32_t DecideCodecKind(const StreamScores& s, bool streamEnd)
{
    // A live stream waits for marks above a floor of 5; at its end there are
    // no more to wait for, and the same order decides without the floor.
    const int64_t floor = streamEnd ? 0 : 5;
    const int64_t sp = std::max<int64_t>(s.S, floor);
    if (!streamEnd && std::max({sp, s.V, s.B, s.J, s.H}) < 6)
        return CodecUnknown;
    if (s.H > std::max({sp, s.V, s.B, s.J}))
        return CodecHDH264;
    if (s.J > std::max({sp, s.V, s.B}))
        return CodecJP2K;
    if (s.B > std::max(sp, s.V))
        return CodecDeviceH264;
    if (s.V > sp)
        return CodecMpeg4;
    return s.S > floor ? CodecMpeg2 : CodecUnknown;
}

void DetectQBox(std::span<const uint8_t> buffer, StreamKinds& kinds)
{
    size_t search = 4;
    while (search < buffer.size()) {
        ptrdiff_t hit = FindPattern(buffer.subspan(search), kQBoxType);
        if (hit < 0)
            return;
        size_t p = search + static_cast<size_t>(hit);
        if (buffer.size() - p < 24)
            return; // the 28-byte header is not all here yet
        kinds.containerKind = ContainerQBox;
        uint16_t type = ReadBE16(buffer.data() + p + 8);
        if (type == kQBoxStreamH264 || type == kQBoxStreamH264Alt)
            kinds.codecKind = CodecHDH264;
        else if (type == kQBoxStreamJpeg)
            kinds.codecKind = CodecMjpeg;
        uint32_t size = ReadBE32(buffer.data() + p - 4);
        if (size == 0 || (size & 0x80000000u))
            return;
        search = p + size;
    }
}

void DetectStream(std::span<const uint8_t> buffer, StreamKinds& kinds, TSParser& ts, bool streamEnd)
{
    const StreamKinds given = kinds;
    DetectQBox(buffer, kinds);
    if ((kinds.codecKind == 0 || kinds.containerKind == 0) && !buffer.empty()) {
        if (ts.InitParser(buffer.data(), buffer.size()) == 0 && ts.FindProgram()) {
            kinds.containerKind = ContainerTransport;
            kinds.codecKind = ts.GetCodecKind();
        }
    }
    if (kinds.codecKind == 0) {
        const StreamScores scores = ScoreStream(buffer);
        kinds.codecKind = DecideCodecKind(scores, streamEnd);
    }
    TV_TRACE("parsers",
             "DetectStream(%zu bytes%s, codec %d, container %d) -> codec %d, container %d",
             buffer.size(), streamEnd ? " to the end" : "", static_cast<int>(given.codecKind),
             static_cast<int>(given.containerKind), static_cast<int>(kinds.codecKind),
             static_cast<int>(kinds.containerKind));
}
