// Cuts an Annex B byte run into picture units for the decoder: each unit is one
// coded picture (a frame or a field) with the parameter sets and SEI in front
// of it, so that libavcodec, which takes one picture per packet, sees whole
// pictures. It reads just enough of the parameter sets and slice headers to
// tell fields from frames, which field, and whether the picture is intra-coded.
//
// Pure byte code: no decoder, no allocation beyond the unit list. One splitter
// per stream (it remembers the parameter sets), used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct H264PictureUnit {
    const uint8_t* data = nullptr; // from the first start code of the unit
    size_t size = 0;
    bool hasSlice = false; // false: parameter sets or SEI only
    bool known = false;    // the first slice header could be read
    bool field = false;    // field_pic_flag
    bool bottom = false;   // bottom_field_flag
    bool intra = false;    // every slice is I or SI
    bool idr = false;      // an IDR picture
    uint32_t frameNum = 0; // frame_num of the first slice
};

class CH264PictureSplitter {
public:
    // Appends the units of data[0..size) to units (cleared first). Bytes in front
    // of the first start code are skipped; the last unit ends at size.
    void Split(const uint8_t* data, size_t size, std::vector<H264PictureUnit>& units);

    // What a slice header tells (exposed for tests).
    struct SliceHeader {
        uint32_t firstMb = 0;
        uint32_t sliceType = 0;
        bool field = false;
        bool bottom = false;
        uint32_t frameNum = 0;
    };
    // Reads the header of a slice NAL (nal points at the NAL header byte); false
    // when it refers to parameter sets not seen or runs out of bytes.
    bool ReadSliceHeader(const uint8_t* nal, size_t size, SliceHeader& header) const;
    // Remember a sequence / picture parameter set (nal at the NAL header byte);
    // false when it cannot be read.
    bool ReadSps(const uint8_t* nal, size_t size);
    bool ReadPps(const uint8_t* nal, size_t size);

private:
    struct Sps {
        bool valid = false;
        uint32_t log2MaxFrameNum = 4;
        bool frameMbsOnly = true;
        bool separateColourPlane = false;
    };
    struct Pps {
        bool valid = false;
        uint32_t spsId = 0;
    };
    std::array<Sps, 32> m_sps{};
    std::array<Pps, 256> m_pps{};
};
