#include "DeviceFrameHeader.h"

#include "ByteOrder.h"

#include <cstring>

DeviceHeaderLayout DeviceHeaderLayoutOf(uint8_t byte5)
{
    switch (byte5 >> 4) {
    case 1:
        return DeviceHeaderLayout::Header40;
    case 2:
        return DeviceHeaderLayout::Header36;
    default:
        return DeviceHeaderLayout::Unknown;
    }
}

size_t DeviceHeaderSize(DeviceHeaderLayout layout)
{
    switch (layout) {
    case DeviceHeaderLayout::Header40:
        return kDeviceHeader40Size;
    case DeviceHeaderLayout::Header36:
        return kDeviceHeader36Size;
    default:
        return 0;
    }
}

bool HasDeviceFrameMagic(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.data(), kDeviceFrameMagic, 4) == 0;
}

bool ReadDeviceFrameHeader(std::span<const uint8_t> bytes, DeviceFrameHeader& out)
{
    if (bytes.size() < 6 || !HasDeviceFrameMagic(bytes))
        return false;
    DeviceHeaderLayout layout = DeviceHeaderLayoutOf(bytes[5]);
    size_t size = DeviceHeaderSize(layout);
    if (size == 0 || bytes.size() < size)
        return false;
    const uint8_t* p = bytes.data();
    DeviceFrameHeader h;
    h.layout = layout;
    h.width = static_cast<int16_t>(ReadLE16(p + 10));
    h.heightField = static_cast<int16_t>(ReadLE16(p + 12));
    if (layout == DeviceHeaderLayout::Header40) {
        h.voice = (p[5] & 0x08) != 0;
        h.frameRate = p[6] & 0x1F;
        h.resolutionCode = p[6] >> 5;
        h.totalLength = ReadLE16(p + 14);
        h.captureTimeUs = static_cast<int64_t>(ReadLE64(p + 32));
    } else {
        h.voice = (p[4] & 0x01) != 0;
        h.frameRate = p[6] & 0x7F;
        h.progressive = (p[7] & 0x80) != 0;
        h.frameType = (p[13] >> 4) & 7;
        h.totalLength = static_cast<int32_t>(ReadLE32(p + 20));
        h.captureSeconds = ReadLE32(p + 28);
        h.captureMicros = ReadLE32(p + 32);
    }
    if (h.frameRate == 0)
        h.frameRate = kDeviceDefaultFrameRate;
    out = h;
    return true;
}

DeviceGeometry DeviceHeaderGeometry(const DeviceFrameHeader& header)
{
    DeviceGeometry g;
    g.frameRate = header.frameRate > 0 ? header.frameRate : kDeviceDefaultFrameRate;
    g.width = header.width;
    if (header.layout == DeviceHeaderLayout::Header36) {
        uint16_t field = static_cast<uint16_t>(header.heightField);
        g.height = field & 0x3FFF;
        g.pictureMode = field >> 14;
        g.interlaced = header.progressive ? 0 : 1;
        if (g.pictureMode != 0) {
            g.width = 1600;
            g.height = 1080;
        }
        return g;
    }
    g.height = header.heightField;
    switch (header.resolutionCode) {
    case 0:
    case 1:
    case 2:
        g.interlaced = 1;
        break;
    case 6:
        g.pictureMode = 3;
        g.width = 1600;
        g.height = 1080;
        break;
    case 7:
        g.pictureMode = 7;
        g.width = 1600;
        g.height = 1200;
        break;
    default: // 3, 4, 5
        break;
    }
    return g;
}

bool WriteDeviceFrameHeader(std::span<uint8_t> out, const DeviceFrameFields& f,
                            size_t payloadLength)
{
    size_t size = DeviceHeaderSize(f.layout);
    if (size == 0 || out.size() < size)
        return false;
    uint8_t* p = out.data();
    if (f.layout == DeviceHeaderLayout::Header40) {
        if (f.frameRate < 0 || f.frameRate > 31 || f.resolutionCode < 0 || f.resolutionCode > 7)
            return false;
        if (payloadLength > 0xFFFF - size)
            return false;
        std::memset(p, 0, size);
        std::memcpy(p, kDeviceFrameMagic, 4);
        p[5] = static_cast<uint8_t>(0x10 | (f.voice ? 0x08 : 0));
        p[6] = static_cast<uint8_t>(f.frameRate | (f.resolutionCode << 5));
        WriteLE16(p + 10, static_cast<uint16_t>(f.width));
        WriteLE16(p + 12, static_cast<uint16_t>(f.height));
        WriteLE16(p + 14, static_cast<uint16_t>(size + payloadLength));
        WriteLE64(p + 32, static_cast<uint64_t>(f.captureTimeUs));
        return true;
    }
    if (f.frameRate < 0 || f.frameRate > 127 || f.height < 0 || f.height > 0x3FFF ||
        f.pictureMode < 0 || f.pictureMode > 3 || f.frameType < 0 || f.frameType > 7)
        return false;
    if (payloadLength > static_cast<size_t>(kDeviceMaxPayload))
        return false;
    std::memset(p, 0, size);
    std::memcpy(p, kDeviceFrameMagic, 4);
    p[4] = f.voice ? 0x01 : 0x00;
    p[5] = 0x20;
    p[6] = static_cast<uint8_t>(f.frameRate);
    p[7] = f.progressive ? 0x80 : 0x00;
    WriteLE16(p + 10, static_cast<uint16_t>(f.width));
    WriteLE16(p + 12, static_cast<uint16_t>(f.height | (f.pictureMode << 14)));
    p[13] = static_cast<uint8_t>(p[13] | (f.frameType << 4));
    WriteLE32(p + 20, static_cast<uint32_t>(size + payloadLength));
    WriteLE32(p + 28, f.captureSeconds);
    WriteLE32(p + 32, f.captureMicros);
    return true;
}

bool AppendDeviceFrame(std::vector<uint8_t>& stream, const DeviceFrameFields& fields,
                       std::span<const uint8_t> payload)
{
    uint8_t header[kDeviceHeader40Size];
    if (!WriteDeviceFrameHeader(header, fields, payload.size()))
        return false;
    size_t size = DeviceHeaderSize(fields.layout);
    stream.insert(stream.end(), header, header + size);
    stream.insert(stream.end(), payload.begin(), payload.end());
    return true;
}

bool AppendVoiceFrame(std::vector<uint8_t>& stream, DeviceFrameFields fields,
                      std::span<const uint8_t> voicePayload)
{
    fields.voice = true;
    return AppendDeviceFrame(stream, fields, voicePayload);
}
