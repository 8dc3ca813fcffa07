// The few H.264 syntax elements the splitter reads: the sequence parameter set
// up to frame_mbs_only_flag (picture size, and how slice headers are laid out)
// and the start of a slice header (which picture and field a slice belongs to).
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// NAL unit types the splitter tells apart.
inline constexpr uint8_t kNalSliceNonIdr = 1;
inline constexpr uint8_t kNalSliceIdr = 5;
inline constexpr uint8_t kNalSei = 6;
inline constexpr uint8_t kNalSps = 7;
inline constexpr uint8_t kNalPps = 8;

// Appends the RBSP of a NAL unit's bytes to out: every emulation-prevention
// byte (the 03 of 00 00 03) removed. At most maxBytes bytes are appended.
void H264Rbsp(std::span<const uint8_t> nal, std::vector<uint8_t>& out, size_t maxBytes = SIZE_MAX);

struct H264Sps {
    uint8_t profile = 0;
    uint8_t level = 0;
    bool separateColourPlane = false;
    uint32_t log2MaxFrameNum = 4; // 4..16
    uint32_t widthMbs = 0;        // pic_width_in_mbs_minus1 + 1
    uint32_t heightMapUnits = 0;  // pic_height_in_map_units_minus1 + 1
    bool frameMbsOnly = false;
    uint32_t chromaFormat = 1; // chroma_format_idc (0 also for separate colour planes)
    // frame_crop_*_offset, in crop units (0 without cropping, or when the
    // bytes end before them).
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
};

// Reads an SPS from its payload (the bytes after the NAL header, still escaped).
// False when profile or level is 0, a value is out of range or the bytes end
// before frame_mbs_only_flag.
bool ParseH264Sps(std::span<const uint8_t> payload, H264Sps& sps);

// The visible picture of an SPS in pixels: the whole frame (both fields of a
// field-coded stream) less the cropping. False when the cropping leaves nothing.
bool H264VisibleSize(const H264Sps& sps, int32_t& width, int32_t& height);

struct H264SliceStart {
    uint32_t firstMb = 0;
    uint32_t sliceType = 0; // 0..9
    uint32_t frameNum = 0;
    bool fieldPic = false;
    bool bottomField = false;
};

// Reads first_mb_in_slice, slice_type, pic_parameter_set_id, frame_num and, when
// the SPS allows field pictures, field_pic_flag and bottom_field_flag from a
// slice's payload (the bytes after the NAL header, still escaped). Without an
// SPS the layout of the encoders' own streams is assumed: 4-bit frame_num,
// field flags present. False when the bytes end early.
bool ReadH264SliceStart(std::span<const uint8_t> payload, const H264Sps* sps, H264SliceStart& out);

// The picture class of a slice type: 1 I, 2 P, 3 B; 0 for SP and SI slices.
int32_t H264SliceClass(uint32_t sliceType);
