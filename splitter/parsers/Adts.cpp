#include "Adts.h"

bool WriteAdtsHeader(uint8_t out[kAdtsHeaderSize], uint8_t samplingIndex, uint8_t channels,
                     size_t rawLength)
{
    if (samplingIndex > 12 || (channels != 1 && channels != 2) ||
        rawLength > kAdtsMaxFrameLength - kAdtsHeaderSize)
        return false;
    size_t l = rawLength + kAdtsHeaderSize;
    out[0] = 0xFF;
    out[1] = 0xF1;
    out[2] = static_cast<uint8_t>(0x40 | (samplingIndex << 2));
    out[3] = static_cast<uint8_t>((channels << 6) | ((l >> 11) & 3));
    out[4] = static_cast<uint8_t>((l >> 3) & 0xFF);
    out[5] = static_cast<uint8_t>(((l << 5) | 0x1F) & 0xFF);
    out[6] = 0xFC;
    return true;
}

bool AppendAdtsFrame(std::vector<uint8_t>& out, uint8_t samplingIndex, uint8_t channels,
                     std::span<const uint8_t> rawFrame)
{
    uint8_t header[kAdtsHeaderSize];
    if (!WriteAdtsHeader(header, samplingIndex, channels, rawFrame.size()))
        return false;
    out.insert(out.end(), header, header + kAdtsHeaderSize);
    out.insert(out.end(), rawFrame.begin(), rawFrame.end());
    return true;
}

bool ReadAdtsFrameLength(std::span<const uint8_t> bytes, size_t& length)
{
    if (bytes.size() < kAdtsHeaderSize || bytes[0] != 0xFF || (bytes[1] & 0xF0) != 0xF0)
        return false;
    const size_t l = (static_cast<size_t>(bytes[3] & 3) << 11) |
                     (static_cast<size_t>(bytes[4]) << 3) | (bytes[5] >> 5);
    if (l < kAdtsHeaderSize)
        return false;
    length = l;
    return true;
}

size_t FindAdtsSync(std::span<const uint8_t> bytes, size_t from)
{
    for (size_t i = from; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] & 0xF0) == 0xF0)
            return i;
    }
    return bytes.size();
}
