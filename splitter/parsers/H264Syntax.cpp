#include "H264Syntax.h"

#include "BitReader.h"
#include "H264Profiles.h"

#include <algorithm>

namespace {

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

// A slice header's fields lie in its first bytes; no more are unescaped.
constexpr size_t kSliceHeaderBytes = 32;

} // namespace

void H264Rbsp(std::span<const uint8_t> nal, std::vector<uint8_t>& out, size_t maxBytes)
{
    int zeros = 0;
    size_t taken = 0;
    for (size_t i = 0; i < nal.size() && taken < maxBytes; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        out.push_back(nal[i]);
        ++taken;
    }
}

bool ParseH264Sps(std::span<const uint8_t> payload, H264Sps& sps)
{
    std::vector<uint8_t> rbsp;
    rbsp.reserve(payload.size());
    H264Rbsp(payload, rbsp);
    if (rbsp.size() < 3 || rbsp[0] == 0 || rbsp[2] == 0)
        return false; // profile_idc, level_idc
    H264Sps s;
    s.profile = rbsp[0];
    s.level = rbsp[2];
    BitReader br(std::span<const uint8_t>(rbsp).subspan(3));
    uint32_t v = 0;
    bool flag = false;
    br.ReadUe(v); // seq_parameter_set_id
    if (H264SpsHasChromaFields(s.profile)) {
        uint32_t chroma = 0;
        br.ReadUe(chroma);
        if (chroma == 3 && br.ReadFlag(flag))
            s.separateColourPlane = flag;
        s.chromaFormat = s.separateColourPlane ? 0 : chroma;
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
    uint32_t log2MaxFrameNumMinus4 = 0;
    br.ReadUe(log2MaxFrameNumMinus4);
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
    br.ReadFlag(s.frameMbsOnly);
    if (br.Failed() || widthMbs > 0xFFFF || heightUnits > 0xFFFF || log2MaxFrameNumMinus4 > 12)
        return false;
    s.log2MaxFrameNum = log2MaxFrameNumMinus4 + 4;
    s.widthMbs = widthMbs + 1;
    s.heightMapUnits = heightUnits + 1;
    // The cropping that makes a 1088-line coded picture the 1080 lines shown.
    // Sets cut short before it are still read as they always were, uncropped.
    if (!s.frameMbsOnly)
        br.Skip(1); // mb_adaptive_frame_field_flag
    br.Skip(1);     // direct_8x8_inference_flag
    bool cropping = false;
    if (br.ReadFlag(cropping) && cropping) {
        uint32_t crop[4] = {};
        for (uint32_t& c : crop)
            br.ReadUe(c);
        if (!br.Failed() && std::all_of(crop, crop + 4, [](uint32_t c) { return c <= 0xFFFF; })) {
            s.cropLeft = crop[0];
            s.cropRight = crop[1];
            s.cropTop = crop[2];
            s.cropBottom = crop[3];
        }
    }
    sps = s;
    return true;
}

bool H264VisibleSize(const H264Sps& sps, int32_t& width, int32_t& height)
{
    const int64_t fieldFactor = sps.frameMbsOnly ? 1 : 2;
    // Crop units: chroma samples horizontally and vertically, and a
    // field-coded frame's lines in pairs.
    const int64_t unitX = sps.chromaFormat == 1 || sps.chromaFormat == 2 ? 2 : 1;
    const int64_t unitY = (sps.chromaFormat == 1 ? 2 : 1) * fieldFactor;
    const int64_t w = int64_t{sps.widthMbs} * 16 - unitX * (int64_t{sps.cropLeft} + sps.cropRight);
    const int64_t h = int64_t{sps.heightMapUnits} * 16 * fieldFactor -
                      unitY * (int64_t{sps.cropTop} + sps.cropBottom);
    if (w <= 0 || h <= 0)
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

bool ReadH264SliceStart(std::span<const uint8_t> payload, const H264Sps* sps, H264SliceStart& out)
{
    std::vector<uint8_t> rbsp;
    rbsp.reserve(kSliceHeaderBytes);
    H264Rbsp(payload, rbsp, kSliceHeaderBytes);
    BitReader br(rbsp);
    H264SliceStart s;
    uint32_t pps = 0;
    br.ReadUe(s.firstMb);
    br.ReadUe(s.sliceType);
    br.ReadUe(pps);
    if (sps && sps->separateColourPlane)
        br.Skip(2);
    br.Read(sps ? sps->log2MaxFrameNum : 4, s.frameNum);
    if (!sps || !sps->frameMbsOnly) {
        if (br.ReadFlag(s.fieldPic) && s.fieldPic)
            br.ReadFlag(s.bottomField);
    }
    if (br.Failed() || s.sliceType > 9)
        return false;
    out = s;
    return true;
}

int32_t H264SliceClass(uint32_t sliceType)
{
    switch (sliceType % 5) {
    case 0:
        return 2;
    case 1:
        return 3;
    case 2:
        return 1;
    default:
        return 0;
    }
}
