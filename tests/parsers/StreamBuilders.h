// Hand-built elementary-stream headers for the parser tests: bit-exact SPS, MPEG-4
// video object layers, MPEG-2 sequence headers and JPEG 2000 main-header starts.
#pragma once

#include "ByteOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class BitWriter {
public:
    void Put(uint32_t value, unsigned bits)
    {
        for (unsigned i = bits; i-- > 0;)
            PutBit((value >> i) & 1);
    }
    void PutBit(unsigned bit)
    {
        if (m_bits % 8 == 0)
            m_bytes.push_back(0);
        if (bit)
            m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_bits % 8));
        ++m_bits;
    }
    void Ue(uint32_t value)
    {
        uint64_t code = uint64_t{value} + 1;
        unsigned length = 0;
        while ((code >> length) > 1)
            ++length;
        Put(0, length);
        for (unsigned i = length + 1; i-- > 0;)
            PutBit(static_cast<unsigned>((code >> i) & 1));
    }
    void Se(int32_t value)
    {
        Ue(value > 0 ? 2 * static_cast<uint32_t>(value) - 1 : 2 * static_cast<uint32_t>(-value));
    }
    // rbsp_stop_one_bit and alignment
    std::vector<uint8_t> Finish()
    {
        PutBit(1);
        while (m_bits % 8)
            PutBit(0);
        return m_bytes;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_bits = 0;
};

struct SpsFields {
    uint8_t nalHeader = 0x67;
    uint8_t profile = 66;
    uint8_t level = 30;
    uint32_t pocType = 0;
    uint32_t widthMbs = 44;    // 704
    uint32_t heightUnits = 36; // 576
    bool frameMbsOnly = true;
    bool scalingMatrix = false;      // High profiles only
    uint32_t crop[4] = {0, 0, 0, 0}; // left, right, top, bottom; all 0: no cropping
};

// 00 00 01 + NAL header + SPS RBSP, with emulation prevention applied.
inline std::vector<uint8_t> BuildSps(const SpsFields& f)
{
    BitWriter w;
    w.Put(f.profile, 8);
    w.Put(0, 8); // constraint flags
    w.Put(f.level, 8);
    w.Ue(0); // seq_parameter_set_id
    if (f.profile == 100) {
        w.Ue(1); // chroma_format_idc
        w.Ue(0);
        w.Ue(0);
        w.PutBit(0);
        w.PutBit(f.scalingMatrix);
        if (f.scalingMatrix) {
            for (int i = 0; i < 8; ++i) {
                w.PutBit(i == 0 || i == 6); // two lists present
                if (i == 0) {
                    for (int j = 0; j < 16; ++j)
                        w.Se(j == 0 ? 8 : 0); // 16, then 16 repeated
                } else if (i == 6) {
                    w.Se(-8); // next scale 0: the rest is implied
                }
            }
        }
    }
    w.Ue(0); // log2_max_frame_num_minus4
    w.Ue(f.pocType);
    if (f.pocType == 0) {
        w.Ue(4);
    } else if (f.pocType == 1) {
        w.PutBit(1);
        w.Se(-3);
        w.Se(5);
        w.Ue(3);
        w.Se(1);
        w.Se(-2);
        w.Se(7);
    }
    w.Ue(2); // num_ref_frames
    w.PutBit(0);
    w.Ue(f.widthMbs - 1);
    w.Ue(f.heightUnits - 1);
    w.PutBit(f.frameMbsOnly);
    if (!f.frameMbsOnly)
        w.PutBit(0); // mb_adaptive_frame_field_flag
    w.PutBit(1);     // direct_8x8_inference_flag
    const bool cropping = f.crop[0] || f.crop[1] || f.crop[2] || f.crop[3];
    w.PutBit(cropping); // frame_cropping_flag
    if (cropping)
        for (uint32_t c : f.crop)
            w.Ue(c);
    w.PutBit(0); // vui_parameters_present_flag
    std::vector<uint8_t> rbsp = w.Finish();
    std::vector<uint8_t> out = {0, 0, 1, f.nalHeader};
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return out;
}

struct VolFields {
    bool objectLayerId = false;
    uint32_t aspect = 1; // 15 = extended
    bool controlParameters = false;
    bool vbvParameters = false;
    uint32_t shape = 0;
    uint32_t resolution = 25;
    bool fixedRate = false;
    uint32_t fixedIncrement = 1;
    uint32_t width = 352;
    uint32_t height = 288;
};

// Bits needed for resolution - 1, at least 1 (how MPEG-4 sizes the increment).
inline unsigned IncrementBits(uint32_t resolution)
{
    unsigned bits = 1;
    while (resolution > 1 && (uint64_t{1} << bits) < resolution)
        ++bits;
    return bits;
}

inline std::vector<uint8_t> BuildVol(const VolFields& f)
{
    BitWriter w;
    w.PutBit(0); // random_accessible_vol
    w.Put(1, 8); // simple object
    w.PutBit(f.objectLayerId);
    if (f.objectLayerId)
        w.Put(0x11, 7);
    w.Put(f.aspect, 4);
    if (f.aspect == 15)
        w.Put(0xFFFF, 16);
    w.PutBit(f.controlParameters);
    if (f.controlParameters) {
        w.Put(0x3, 3);
        w.PutBit(f.vbvParameters);
        if (f.vbvParameters) {
            for (int i = 0; i < 79; ++i)
                w.PutBit(i % 3 == 0);
        }
    }
    w.Put(f.shape, 2);
    w.PutBit(1);
    w.Put(f.resolution, 16);
    w.PutBit(1);
    w.PutBit(f.fixedRate);
    if (f.fixedRate)
        w.Put(f.fixedIncrement, IncrementBits(f.resolution));
    w.PutBit(1);
    w.Put(f.width, 13);
    w.PutBit(1);
    w.Put(f.height, 13);
    w.PutBit(1);
    w.PutBit(0); // interlaced
    w.PutBit(1); // obmc_disable
    std::vector<uint8_t> bits = w.Finish();
    std::vector<uint8_t> out = {0, 0, 1, 0x20};
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
}

inline std::vector<uint8_t> BuildMpeg2SequenceHeader(int width, int height, int rateCode)
{
    std::vector<uint8_t> h = {0, 0, 1, 0xB3};
    h.push_back(static_cast<uint8_t>(width >> 4));
    h.push_back(static_cast<uint8_t>(((width & 15) << 4) | (height >> 8)));
    h.push_back(static_cast<uint8_t>(height));
    h.push_back(static_cast<uint8_t>(0x20 | rateCode));
    h.insert(h.end(), {0xFF, 0xFF, 0xE0, 0x18}); // bit rate, marker, vbv, flags
    return h;
}

// 00 00 01 B5 sequence extension (extension id 1).
inline std::vector<uint8_t> BuildMpeg2SequenceExtension()
{
    return {0, 0, 1, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00};
}

// SOC, SIZ with the given size, then filler: a codestream start the splitter reads.
inline std::vector<uint8_t> BuildJ2KCodestream(uint16_t width, uint16_t height, size_t total)
{
    std::vector<uint8_t> c(total < 16 ? 16 : total, 0x11);
    uint8_t* p = c.data();
    p[0] = 0xFF;
    p[1] = 0x4F;
    p[2] = 0xFF;
    p[3] = 0x51;
    WriteBE16(p + 4, 41);
    WriteBE16(p + 6, 0);
    WriteBE32(p + 8, width);
    WriteBE32(p + 12, height);
    return c;
}

// A NAL unit in start-code form with a filler body.
inline std::vector<uint8_t> Nal(uint8_t header, size_t bodyLength, uint8_t fill = 0x55)
{
    std::vector<uint8_t> n = {0, 0, 0, 1, header};
    n.insert(n.end(), bodyLength, fill);
    return n;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& what)
{
    to.insert(to.end(), what.begin(), what.end());
}
