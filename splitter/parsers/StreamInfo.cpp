#include "StreamInfo.h"

#include "BitReader.h"
#include "ByteSearch.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "H264Syntax.h"
#include "JP2KFieldHeader.h"
#include "win32/trace.h"

#include <bit>
#include <vector>

namespace {

bool ParseMpeg2(std::span<const uint8_t> h, StreamInfo& info)
{
    if (h.size() < 8 || h[0] != 0 || h[1] != 0 || h[2] != 1 || h[3] != 0xB3)
        return false;
    info.width = (h[4] << 4) | (h[5] >> 4);
    info.height = ((h[5] & 15) << 8) + h[6];
    Mpeg2FrameRate(h[7] & 15, info.frameRate, info.frameDuration);
    return true;
}

bool ParseMpeg4(std::span<const uint8_t> h, StreamInfo& info)
{
    if (h.size() <= 12 || h[0] != 0 || h[1] != 0 || h[2] != 1 || h[3] != 0x20)
        return false;
    BitReader br(h.subspan(4));
    uint32_t v = 0;
    bool flag = false;
    br.Skip(1 + 8); // random_accessible_vol, video_object_type_indication
    if (br.ReadFlag(flag) && flag)
        br.Skip(7); // verid, priority
    if (br.Read(4, v) && v == 15)
        br.Skip(16); // extended PAR
    if (br.ReadFlag(flag) && flag) {
        br.Skip(3); // chroma_format, low_delay
        if (br.ReadFlag(flag) && flag)
            br.Skip(79);
    }
    uint32_t shape = 0;
    if (!br.Read(2, shape) || shape != 0)
        return false;
    uint32_t resolution = 0, width = 0, height = 0;
    br.Skip(1);
    br.Read(16, resolution);
    br.Skip(1);
    if (br.ReadFlag(flag) && flag) {
        // fixed_vop_time_increment takes the bits needed for resolution - 1, at least 1.
        unsigned bits = resolution > 1 ? std::bit_width(resolution - 1) : 1;
        br.Skip(bits);
    }
    br.Skip(1);
    br.Read(13, width);
    br.Skip(1);
    br.Read(13, height);
    if (br.Failed())
        return false;
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);
    info.frameRate = 30;
    info.frameDuration = 400000;
    return true;
}

bool ParseSps(std::span<const uint8_t> h, StreamInfo& info)
{
    if (h.size() < 16)
        return false;
    size_t at = 0;
    if (h[0] == 0 && h[1] == 0 && h[2] == 0 && h[3] == 1)
        at = 1;
    if (h[at] != 0 || h[at + 1] != 0 || h[at + 2] != 1 || (h[at + 3] & 31) != 7)
        return false;
    H264Sps sps;
    if (!ParseH264Sps(h.subspan(at + 4), sps))
        return false;
    // The visible picture (a 1080-line stream is coded as 1088 lines and
    // cropped): what the decoder hands out and the window shows.
    int32_t width = 0, height = 0;
    if (!H264VisibleSize(sps, width, height))
        return false;
    // D1-wide frame streams of one field's height are shown as whole frames.
    if (width >= 700 && height < 300)
        height *= 2;
    info.width = width;
    info.height = height;
    info.frameRate = 25;
    info.frameDuration = 400000;
    return true;
}

bool ParseJP2K(std::span<const uint8_t> h, StreamInfo& info)
{
    int32_t width = 0, height = 0;
    if (!IsJP2KFirstFieldStart(h) || !ReadJP2KPictureSize(h, width, height))
        return false;
    info.width = width;
    info.height = height;
    info.fiveSixthsWidth = (h[8] & 0x80) ? 1 : 0;
    // The field header carries the rate (bits 0-4 of byte 6; 0 means 25): the
    // media type's frame duration and everything that divides by the rate
    // need one.
    info.frameRate = (h[6] & 0x1F) != 0 ? (h[6] & 0x1F) : kDeviceDefaultFrameRate;
    info.frameDuration = 10000000 / info.frameRate;
    return true;
}

} // namespace

bool Mpeg2FrameRate(int code, int32_t& rate, int32_t& duration)
{
    static constexpr int32_t kRates[8][2] = {
        {23, 417083}, {24, 416667}, {25, 400000}, {29, 333667},
        {30, 333333}, {50, 200000}, {59, 166834}, {60, 166667},
    };
    if (code < 1 || code > 8)
        return false;
    rate = kRates[code - 1][0];
    duration = kRates[code - 1][1];
    return true;
}

namespace {

bool ParseKind(int32_t codecKind, std::span<const uint8_t> header, StreamInfo& info)
{
    switch (codecKind) {
    case CodecMpeg2:
        return ParseMpeg2(header, info);
    case CodecMpeg4:
        return ParseMpeg4(header, info);
    case CodecDeviceH264:
    case CodecDeviceH264Clocked:
    case CodecFrameQueue:
        return ParseSps(header, info);
    case CodecJP2K:
        return ParseJP2K(header, info);
    case CodecHDH264:
        info.width = 1920;
        info.height = 1080;
        info.frameDuration = 400000;
        info.frameRate = 30;
        return true;
    case CodecMjpeg:
        info.width = 1920;
        info.height = 1080;
        info.frameDuration = 2000000;
        info.frameRate = 5;
        return true;
    default:
        return false;
    }
}

} // namespace

bool ParseStreamInfo(int32_t codecKind, std::span<const uint8_t> header, StreamInfo& info)
{
    const bool parsed = ParseKind(codecKind, header, info);
    TV_TRACE("parsers",
             "ParseStreamInfo(%d, %zu bytes) -> %s: %dx%d, rate %d, duration %d, 5/6 width %d, "
             "interlaced %d",
             static_cast<int>(codecKind), header.size(), parsed ? "true" : "false",
             static_cast<int>(info.width), static_cast<int>(info.height),
             static_cast<int>(info.frameRate), static_cast<int>(info.frameDuration),
             static_cast<int>(info.fiveSixthsWidth), static_cast<int>(info.interlaced));
    return parsed;
}

bool FindDeviceGeometry(std::span<const uint8_t> buffer, DeviceGeometry& geometry)
{
    size_t from = 0;
    while (from < buffer.size()) {
        ptrdiff_t hit = FindPattern(buffer.subspan(from), kDeviceFrameMagic);
        if (hit < 0)
            return false;
        size_t at = from + static_cast<size_t>(hit);
        if (buffer.size() - at < kDeviceHeader40Size)
            return false;
        // The voice flag is read per layout (36-byte headers keep it in byte 4),
        // so a voice frame never supplies the picture size.
        DeviceFrameHeader header;
        if (ReadDeviceFrameHeader(buffer.subspan(at), header) && !header.voice) {
            geometry = DeviceHeaderGeometry(header);
            return true;
        }
        from = at + 1;
    }
    return false;
}

namespace {

// The stored format from the parsed sequence header and, for QBox HD H.264
// and Motion JPEG, the first device header in the buffered bytes.
StreamFormat FormatOf(std::span<const uint8_t> buffered, int32_t codecKind, int32_t containerKind,
                      const StreamInfo& info)
{
    StreamFormat f;
    f.width = info.width;
    f.height = info.height;
    f.frameRate = info.frameRate;
    f.frameDuration = info.frameDuration;
    f.interlaced = info.interlaced;
    DeviceGeometry g;
    if (containerKind == ContainerQBox && (codecKind == CodecHDH264 || codecKind == CodecMjpeg) &&
        FindDeviceGeometry(buffered, g)) {
        f.width = g.width;
        f.height = g.height;
        f.frameRate = g.frameRate;
        f.frameDuration = 10000000 / g.frameRate;
        f.interlaced = codecKind == CodecMjpeg ? 0 : g.interlaced;
        f.pictureMode = g.pictureMode;
    }
    f.displayWidth = info.fiveSixthsWidth
                         ? static_cast<int32_t>(static_cast<int64_t>(f.width) * 5 / 6)
                         : f.width;
    return f;
}

} // namespace

bool DescribeStream(std::span<const uint8_t> buffered, int32_t codecKind, int32_t containerKind,
                    std::span<const uint8_t> sequenceHeader, StreamFormat& format)
{
    StreamInfo info;
    const bool parsed = ParseStreamInfo(codecKind, sequenceHeader, info);
    if (parsed)
        format = FormatOf(buffered, codecKind, containerKind, info);
    TV_TRACE("parsers",
             "DescribeStream(%zu bytes, codec %d, container %d, %zu header bytes) -> %s: %dx%d, "
             "rate %d, duration %d, display width %d, interlaced %d, picture mode %d",
             buffered.size(), static_cast<int>(codecKind), static_cast<int>(containerKind),
             sequenceHeader.size(), parsed ? "true" : "false", static_cast<int>(format.width),
             static_cast<int>(format.height), static_cast<int>(format.frameRate),
             static_cast<int>(format.frameDuration), static_cast<int>(format.displayWidth),
             static_cast<int>(format.interlaced), static_cast<int>(format.pictureMode));
    return parsed;
}
