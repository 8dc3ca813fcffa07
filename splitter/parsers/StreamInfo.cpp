#include "StreamInfo.h"

#include "BitReader.h"
#include "ByteSearch.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
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

bool SkipScalingList(BitReader& br, int size)
{
    int32_t last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            int32_t delta = 0;
            if (!br.ReadSe(delta))
                return false;
            next = static_cast<int32_t>((int64_t{last} + delta + 256) % 256);
        }
        if (next != 0)
            last = next;
    }
    return true;
}

bool HasChromaFields(uint8_t profile)
{
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        return true;
    default:
        return false;
    }
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
    // The SPS payload with emulation-prevention bytes (00 00 03) removed.
    std::vector<uint8_t> rbsp;
    rbsp.reserve(h.size());
    int zeros = 0;
    for (size_t i = at + 4; i < h.size(); ++i) {
        if (zeros >= 2 && h[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = h[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(h[i]);
    }
    if (rbsp.size() < 3 || rbsp[0] == 0 || rbsp[2] == 0)
        return false; // profile_idc, level_idc
    uint8_t profile = rbsp[0];
    BitReader br(std::span<const uint8_t>(rbsp).subspan(3));
    uint32_t v = 0;
    bool flag = false;
    br.ReadUe(v); // seq_parameter_set_id
    if (HasChromaFields(profile)) {
        uint32_t chroma = 0;
        br.ReadUe(chroma);
        if (chroma == 3)
            br.Skip(1);
        br.ReadUe(v); // bit depths
        br.ReadUe(v);
        br.Skip(1);
        if (br.ReadFlag(flag) && flag) {
            int lists = chroma == 3 ? 12 : 8;
            for (int i = 0; i < lists && !br.Failed(); ++i) {
                if (br.ReadFlag(flag) && flag)
                    SkipScalingList(br, i < 6 ? 16 : 64);
            }
        }
    }
    br.ReadUe(v); // log2_max_frame_num_minus4
    uint32_t pocType = 0;
    br.ReadUe(pocType);
    if (pocType == 0) {
        br.ReadUe(v);
    } else if (pocType == 1) {
        br.Skip(1);
        br.ReadUe(v);
        br.ReadUe(v);
        uint32_t cycle = 0;
        br.ReadUe(cycle);
        for (uint32_t i = 0; i < cycle && !br.Failed(); ++i)
            br.ReadUe(v);
    }
    br.ReadUe(v); // num_ref_frames
    br.Skip(1);
    uint32_t widthMbs = 0, heightUnits = 0;
    br.ReadUe(widthMbs);
    br.ReadUe(heightUnits);
    br.Skip(1); // frame_mbs_only_flag
    if (br.Failed() || widthMbs > 0xFFFF || heightUnits > 0xFFFF)
        return false;
    int32_t width = static_cast<int32_t>(widthMbs + 1) * 16;
    int32_t height = static_cast<int32_t>(heightUnits + 1) * 16;
    // Field-coded D1 streams describe one field; show the whole frame.
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
