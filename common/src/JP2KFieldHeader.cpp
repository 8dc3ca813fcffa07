#include "JP2KFieldHeader.h"

#include "ByteOrder.h"
#include "DeviceFrameHeader.h"

#include <cstring>

namespace {

bool HasMagicAndFill(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kJP2KFieldHeaderSize || !HasDeviceFrameMagic(bytes))
        return false;
    const uint8_t* m = bytes.data() + kJP2KMarkerOffset;
    return m[0] == 0xFF && m[1] == 0xFF && m[2] == 0xFF;
}

} // namespace

bool IsJP2KFirstFieldStart(std::span<const uint8_t> bytes)
{
    return HasMagicAndFill(bytes) && (bytes[6] & 0x20) == 0;
}

bool HasJP2KFieldMarkers(std::span<const uint8_t> bytes)
{
    if (!HasMagicAndFill(bytes))
        return false;
    uint8_t last = bytes[kJP2KMarkerOffset + 3];
    return last == 0xF0 || last == 0xF1;
}

bool ReadJP2KFieldHeader(std::span<const uint8_t> bytes, JP2KFieldHeader& out)
{
    if (!HasJP2KFieldMarkers(bytes))
        return false;
    const uint8_t* p = bytes.data();
    JP2KFieldHeader h;
    h.secondField = (p[6] & 0x20) != 0;
    h.frameRate = p[6] & 0x1F;
    h.fiveSixthsWidth = (p[8] & 0x80) != 0;
    h.codestreamLength = ReadBE32(p + 26);
    if (h.codestreamLength > kJP2KMaxCodestreamLength)
        h.codestreamLength = kJP2KMaxCodestreamLength;
    h.captureSeconds = ReadBE32(p + 32);
    h.captureMicros = ReadBE32(p + 36);
    h.marker = p[kJP2KMarkerOffset + 3];
    h.frameNumber = ReadBE32(p + 132);
    out = h;
    return true;
}

bool ReadJP2KPictureSize(std::span<const uint8_t> bytes, int32_t& width, int32_t& height)
{
    if (bytes.size() < kJP2KSequenceHeaderSize)
        return false;
    width = ReadBE16(bytes.data() + 154);
    height = ReadBE16(bytes.data() + 158);
    return true;
}

bool WriteJP2KFieldHeader(std::span<uint8_t> out, const JP2KFieldFields& f, bool secondField,
                          size_t codestreamLength)
{
    if (out.size() < kJP2KFieldHeaderSize || f.frameRate < 0 || f.frameRate > 31 ||
        (f.marker != 0xF0 && f.marker != 0xF1) || codestreamLength > kJP2KMaxCodestreamLength)
        return false;
    uint8_t* p = out.data();
    std::memset(p, 0, kJP2KFieldHeaderSize);
    std::memcpy(p, kDeviceFrameMagic, 4);
    p[6] = static_cast<uint8_t>(f.frameRate | (secondField ? 0x20 : 0));
    p[8] = f.fiveSixthsWidth ? 0x80 : 0x00;
    WriteBE32(p + 26, static_cast<uint32_t>(codestreamLength));
    WriteBE32(p + 32, f.captureSeconds);
    WriteBE32(p + 36, f.captureMicros);
    p[128] = p[129] = p[130] = 0xFF;
    p[131] = f.marker;
    WriteBE32(p + 132, f.frameNumber);
    return true;
}

bool AppendJP2KFrame(std::vector<uint8_t>& stream, const JP2KFieldFields& fields,
                     std::span<const uint8_t> firstCodestream,
                     std::span<const uint8_t> secondCodestream)
{
    uint8_t first[kJP2KFieldHeaderSize];
    uint8_t second[kJP2KFieldHeaderSize];
    if (!WriteJP2KFieldHeader(first, fields, false, firstCodestream.size()) ||
        !WriteJP2KFieldHeader(second, fields, true, secondCodestream.size()))
        return false;
    stream.insert(stream.end(), first, first + kJP2KFieldHeaderSize);
    stream.insert(stream.end(), firstCodestream.begin(), firstCodestream.end());
    stream.insert(stream.end(), second, second + kJP2KFieldHeaderSize);
    stream.insert(stream.end(), secondCodestream.begin(), secondCodestream.end());
    return true;
}
