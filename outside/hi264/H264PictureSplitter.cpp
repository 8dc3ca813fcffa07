#include "H264PictureSplitter.h"

#include "H264Profiles.h"

namespace {

// Reads bits of a NAL unit's payload, dropping emulation-prevention bytes
// (00 00 03) on the way. Past the end it reads zeros and remembers that it ran
// out, so a truncated header is refused rather than misread.
class CBitReader {
public:
    CBitReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint32_t Bit()
    {
        if (m_bit == 0) {
            if (!NextByte())
                return 0;
            m_bit = 8;
        }
        --m_bit;
        return (m_cur >> m_bit) & 1u;
    }
    uint32_t Bits(int n)
    {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i)
            v = (v << 1) | Bit();
        return v;
    }
    // Exp-Golomb, limited to 31 leading zeros (larger codes are malformed here).
    uint32_t Ue()
    {
        int zeros = 0;
        while (Bit() == 0) {
            if (m_over || ++zeros > 31) {
                m_over = true;
                return 0;
            }
        }
        if (zeros == 0)
            return 0;
        return ((1u << zeros) - 1u) + Bits(zeros);
    }
    int32_t Se()
    {
        const uint32_t k = Ue();
        return (k & 1u) ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
    }
    bool Overrun() const { return m_over; }

private:
    bool NextByte()
    {
        if (m_pos >= m_size) {
            m_over = true;
            m_cur = 0;
            m_bit = 8;
            return false;
        }
        uint8_t b = m_data[m_pos++];
        if (b == 3 && m_zeros >= 2) {
            m_zeros = 0;
            if (m_pos >= m_size) {
                m_over = true;
                m_cur = 0;
                m_bit = 8;
                return false;
            }
            b = m_data[m_pos++];
        }
        m_zeros = b == 0 ? m_zeros + 1 : 0;
        m_cur = b;
        return true;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    uint32_t m_cur = 0;
    int m_bit = 0;
    int m_zeros = 0;
    bool m_over = false;
};

// The position of the next 00 00 01 at or after from; size when there is none.
size_t FindStartCode(const uint8_t* data, size_t size, size_t from)
{
    for (size_t i = from; i + 3 <= size; ++i) {
        if (data[i + 2] > 1) {
            i += 2;
            continue;
        }
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i;
    }
    return size;
}

void SkipScalingList(CBitReader& br, int size)
{
    int last = 8, next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            next = (last + br.Se() + 256) % 256;
            if (br.Overrun())
                return;
        }
        last = next == 0 ? last : next;
    }
}

} // namespace

bool CH264PictureSplitter::ReadSps(const uint8_t* nal, size_t size)
{
    if (size < 2)
        return false;
    CBitReader br(nal + 1, size - 1);
    const uint32_t profile = br.Bits(8);
    br.Bits(16); // constraint flags and level
    const uint32_t id = br.Ue();
    if (br.Overrun() || id >= m_sps.size())
        return false;
    Sps sps;
    if (H264SpsHasChromaFields(profile)) {
        const uint32_t chroma = br.Ue();
        if (chroma == 3)
            sps.separateColourPlane = br.Bit() != 0;
        br.Ue(); // bit depths
        br.Ue();
        br.Bit(); // qpprime_y_zero_transform_bypass
        if (br.Bit()) {
            const int lists = chroma == 3 ? 12 : 8;
            for (int i = 0; i < lists && !br.Overrun(); ++i)
                if (br.Bit())
                    SkipScalingList(br, i < 6 ? 16 : 64);
        }
    }
    const uint32_t log2MaxFrameNumMinus4 = br.Ue();
    if (log2MaxFrameNumMinus4 > 12)
        return false;
    sps.log2MaxFrameNum = log2MaxFrameNumMinus4 + 4;
    const uint32_t pocType = br.Ue();
    if (pocType == 0) {
        br.Ue();
    } else if (pocType == 1) {
        br.Bit();
        br.Se();
        br.Se();
        const uint32_t cycle = br.Ue();
        if (cycle > 255)
            return false;
        for (uint32_t i = 0; i < cycle && !br.Overrun(); ++i)
            br.Se();
    } else if (pocType != 2) {
        return false;
    }
    br.Ue(); // max_num_ref_frames
    br.Bit();
    br.Ue(); // width and height in macroblocks / map units
    br.Ue();
    sps.frameMbsOnly = br.Bit() != 0;
    if (br.Overrun())
        return false;
    sps.valid = true;
    m_sps[id] = sps;
    return true;
}

bool CH264PictureSplitter::ReadPps(const uint8_t* nal, size_t size)
{
    if (size < 2)
        return false;
    CBitReader br(nal + 1, size - 1);
    const uint32_t id = br.Ue();
    const uint32_t spsId = br.Ue();
    if (br.Overrun() || id >= m_pps.size() || spsId >= m_sps.size())
        return false;
    m_pps[id] = Pps{true, spsId};
    return true;
}

bool CH264PictureSplitter::ReadSliceHeader(const uint8_t* nal, size_t size,
                                           SliceHeader& header) const
{
    if (size < 2)
        return false;
    CBitReader br(nal + 1, size - 1);
    header.firstMb = br.Ue();
    header.sliceType = br.Ue();
    const uint32_t ppsId = br.Ue();
    if (br.Overrun() || header.sliceType > 9 || ppsId >= m_pps.size() || !m_pps[ppsId].valid)
        return false;
    const Sps& sps = m_sps[m_pps[ppsId].spsId];
    if (!sps.valid)
        return false;
    if (sps.separateColourPlane)
        br.Bits(2);
    header.frameNum = br.Bits(static_cast<int>(sps.log2MaxFrameNum));
    header.field = false;
    header.bottom = false;
    if (!sps.frameMbsOnly) {
        header.field = br.Bit() != 0;
        if (header.field)
            header.bottom = br.Bit() != 0;
    }
    return !br.Overrun();
}

void CH264PictureSplitter::Split(const uint8_t* data, size_t size,
                                 std::vector<H264PictureUnit>& units)
{
    units.clear();
    if (!data)
        return;
    size_t start = FindStartCode(data, size, 0);
    H264PictureUnit cur;
    bool open = false;
    while (start < size) {
        const size_t nalStart = start + 3;
        const size_t next = FindStartCode(data, size, nalStart);
        // A four-byte start code's leading zero belongs to the next unit.
        size_t nalEnd = next;
        if (next < size && nalEnd > nalStart && data[nalEnd - 1] == 0)
            --nalEnd;
        const uint8_t* nal = data + nalStart;
        const size_t nalSize = nalEnd > nalStart ? nalEnd - nalStart : 0;
        const uint32_t type = nalSize > 0 ? (nal[0] & 0x1Fu) : 0;
        const bool vcl = type == 1 || type == 5;

        SliceHeader sh;
        const bool shOk = vcl && ReadSliceHeader(nal, nalSize, sh);
        // A new picture begins with the first slice of a picture, or with the
        // non-picture units that come in front of one.
        bool startsPicture = false;
        if (vcl)
            startsPicture = cur.hasSlice && shOk && sh.firstMb == 0;
        else if (type == 6 || type == 7 || type == 8 || type == 9 || (type >= 14 && type <= 18))
            startsPicture = cur.hasSlice;
        if (open && startsPicture) {
            units.push_back(cur);
            open = false;
        }
        if (!open) {
            cur = H264PictureUnit{};
            cur.data = data + start;
            open = true;
        }
        if (type == 7)
            ReadSps(nal, nalSize);
        else if (type == 8)
            ReadPps(nal, nalSize);
        if (vcl) {
            const bool intra = shOk && (sh.sliceType % 5 == 2 || sh.sliceType % 5 == 4);
            if (!cur.hasSlice) {
                cur.hasSlice = true;
                cur.known = shOk;
                cur.field = shOk && sh.field;
                cur.bottom = shOk && sh.bottom;
                cur.frameNum = sh.frameNum;
                cur.intra = intra;
                cur.idr = type == 5;
            } else {
                cur.intra = cur.intra && intra;
            }
        }
        cur.size = static_cast<size_t>((data + next) - cur.data);
        start = next;
    }
    if (open)
        units.push_back(cur);
}
