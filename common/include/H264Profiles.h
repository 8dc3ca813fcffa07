// H.264 profiles as the sequence parameter set's syntax depends on them.
// Header-only: the splitter's parsers and the device decoder library's
// picture splitter both read SPSs, and must agree on which ones they can.
#pragma once

#include <cstdint>

// Whether an SPS of this profile_idc carries chroma_format_idc, the bit
// depths, the transform-bypass flag and the scaling matrices before
// log2_max_frame_num (the high profiles and their relatives: the list of
// the standard's SPS syntax).
constexpr bool H264SpsHasChromaFields(uint32_t profileIdc)
{
    switch (profileIdc) {
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
