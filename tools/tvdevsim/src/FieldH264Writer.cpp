#include "FieldH264Writer.h"

#include <algorithm>

namespace tvdevsim {

namespace {

class BitWriter {
public:
    void Bits(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            Bit((value >> i) & 1);
    }
    void Bit(uint32_t b)
    {
        m_cur = static_cast<uint8_t>((m_cur << 1) | (b & 1));
        if (++m_fill == 8)
            Flush();
    }
    void Ue(uint32_t v)
    {
        const uint32_t x = v + 1;
        int len = 0;
        while ((x >> len) > 1)
            ++len;
        Bits(0, len);
        Bits(x, len + 1);
    }
    void Se(int32_t v)
    {
        Ue(v > 0 ? static_cast<uint32_t>(2 * v - 1) : static_cast<uint32_t>(-2 * v));
    }
    bool Aligned() const { return m_fill == 0; }
    void AlignZero()
    {
        while (m_fill != 0)
            Bit(0);
    }
    void Byte(uint8_t b) { Bits(b, 8); }
    void TrailingBits()
    {
        Bit(1);
        AlignZero();
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    void Flush()
    {
        m_bytes.push_back(m_cur);
        m_cur = 0;
        m_fill = 0;
    }
    std::vector<uint8_t> m_bytes;
    uint8_t m_cur = 0;
    int m_fill = 0;
};

// Start code, NAL header and the payload with emulation prevention.
void AppendNal(std::vector<uint8_t>& out, int refIdc, int type, const std::vector<uint8_t>& rbsp)
{
    static const uint8_t kStart[4] = {0, 0, 0, 1};
    out.insert(out.end(), kStart, kStart + 4);
    out.push_back(static_cast<uint8_t>((refIdc << 5) | type));
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
}

constexpr int kMbCols = CFieldH264Writer::kWidth / 16;
constexpr int kMbRows = CFieldH264Writer::kFieldHeight / 16;
constexpr int kLog2MaxFrameNum = 4;

bool IsFlatGrey(const YuvPicture& f, int mbx, int mby)
{
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (f.y[(mby * 16 + y) * f.width + mbx * 16 + x] != 128)
                return false;
    const int cw = f.ChromaWidth();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const size_t i = static_cast<size_t>(mby * 8 + y) * cw + mbx * 8 + x;
            if (f.u[i] != 128 || f.v[i] != 128)
                return false;
        }
    return true;
}

// The right column (edge 0) or bottom row (edge 1) of a macroblock is all 128.
bool EdgeIsGrey(const YuvPicture& f, int mbx, int mby, int edge)
{
    const int cw = f.ChromaWidth();
    for (int i = 0; i < 16; ++i) {
        const int x = edge == 0 ? mbx * 16 + 15 : mbx * 16 + i;
        const int y = edge == 0 ? mby * 16 + i : mby * 16 + 15;
        if (f.y[y * f.width + x] != 128)
            return false;
    }
    for (int i = 0; i < 8; ++i) {
        const int x = edge == 0 ? mbx * 8 + 7 : mbx * 8 + i;
        const int y = edge == 0 ? mby * 8 + i : mby * 8 + 7;
        if (f.u[y * cw + x] != 128 || f.v[y * cw + x] != 128)
            return false;
    }
    return true;
}

} // namespace

std::vector<uint8_t> CFieldH264Writer::ParameterSets() const
{
    std::vector<uint8_t> out;
    BitWriter sps;
    sps.Byte(77);   // profile_idc: Main (field coding is not in Baseline)
    sps.Byte(0x40); // constraint_set1: decodable as Main
    sps.Byte(30);   // level_idc 3.0
    sps.Ue(0);      // seq_parameter_set_id
    sps.Ue(kLog2MaxFrameNum - 4);
    sps.Ue(2);  // pic_order_cnt_type 2: output order is decoding order
    sps.Ue(2);  // max_num_ref_frames
    sps.Bit(0); // gaps_in_frame_num_value_allowed_flag
    sps.Ue(kMbCols - 1);
    sps.Ue(kMbRows - 1); // map units of a field
    sps.Bit(0);          // frame_mbs_only_flag: fields
    sps.Bit(0);          // mb_adaptive_frame_field_flag
    sps.Bit(1);          // direct_8x8_inference_flag
    sps.Bit(0);          // frame_cropping_flag
    sps.Bit(0);          // vui_parameters_present_flag
    sps.TrailingBits();
    AppendNal(out, 3, 7, sps.Bytes());

    BitWriter pps;
    pps.Ue(0);      // pic_parameter_set_id
    pps.Ue(0);      // seq_parameter_set_id
    pps.Bit(0);     // entropy_coding_mode_flag: CAVLC
    pps.Bit(0);     // bottom_field_pic_order_in_frame_present_flag
    pps.Ue(0);      // num_slice_groups_minus1
    pps.Ue(0);      // num_ref_idx_l0_default_active_minus1
    pps.Ue(0);      // num_ref_idx_l1_default_active_minus1
    pps.Bit(0);     // weighted_pred_flag
    pps.Bits(0, 2); // weighted_bipred_idc
    pps.Se(0);      // pic_init_qp_minus26
    pps.Se(0);      // pic_init_qs_minus26
    pps.Se(0);      // chroma_qp_index_offset
    pps.Bit(1);     // deblocking_filter_control_present_flag
    pps.Bit(0);     // constrained_intra_pred_flag
    pps.Bit(0);     // redundant_pic_cnt_present_flag
    pps.TrailingBits();
    AppendNal(out, 3, 8, pps.Bytes());
    return out;
}

std::vector<uint8_t> CFieldH264Writer::IntraField(const YuvPicture& f, bool bottom, bool idr)
{
    BitWriter w;
    w.Ue(0); // first_mb_in_slice
    w.Ue(2); // slice_type I
    w.Ue(0); // pic_parameter_set_id
    w.Bits(static_cast<uint32_t>(m_frameNum), kLog2MaxFrameNum);
    w.Bit(1); // field_pic_flag
    w.Bit(bottom ? 1 : 0);
    if (idr) {
        w.Ue(static_cast<uint32_t>(m_idrId));
        w.Bit(0); // no_output_of_prior_pics_flag
        w.Bit(0); // long_term_reference_flag
    } else {
        w.Bit(0); // adaptive_ref_pic_marking_mode_flag
    }
    w.Se(0); // slice_qp_delta
    w.Ue(1); // disable_deblocking_filter_idc: off, PCM stays exact

    std::vector<uint8_t> pcm(kMbCols * kMbRows, 0);
    const int cw = f.ChromaWidth();
    for (int mby = 0; mby < kMbRows; ++mby) {
        for (int mbx = 0; mbx < kMbCols; ++mbx) {
            const bool leftPcm = mbx > 0 && pcm[mby * kMbCols + mbx - 1];
            const bool topPcm = mby > 0 && pcm[(mby - 1) * kMbCols + mbx];
            // DC prediction gives exactly 128 only when every predicting sample is 128.
            const bool flat = IsFlatGrey(f, mbx, mby) &&
                              !(leftPcm && !EdgeIsGrey(f, mbx - 1, mby, 0)) &&
                              !(topPcm && !EdgeIsGrey(f, mbx, mby - 1, 1));
            if (flat) {
                w.Ue(3); // I_16x16_2_0_0: DC prediction, no coded blocks
                w.Ue(0); // intra_chroma_pred_mode DC
                w.Se(0); // mb_qp_delta
                // Intra16x16DCLevel: coeff_token for no coefficients; nC from the
                // neighbours' coefficient counts (16 per I_PCM block, 0 otherwise).
                const bool hasA = mbx > 0, hasB = mby > 0;
                const int nA = leftPcm ? 16 : 0, nB = topPcm ? 16 : 0;
                const int nC = hasA && hasB ? (nA + nB + 1) >> 1 : hasA ? nA : hasB ? nB : 0;
                if (nC >= 8)
                    w.Bits(0x03, 6);
                else
                    w.Bit(1); // nC is 0 here (only 0, 8 and 16 occur)
            } else {
                pcm[mby * kMbCols + mbx] = 1;
                ++m_lastPcm;
                w.Ue(25); // I_PCM
                w.AlignZero();
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x)
                        w.Byte(std::max<uint8_t>(1, f.y[(mby * 16 + y) * f.width + mbx * 16 + x]));
                for (const std::vector<uint8_t>* plane : {&f.u, &f.v})
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x)
                            w.Byte(
                                std::max<uint8_t>(1, (*plane)[(mby * 8 + y) * cw + mbx * 8 + x]));
            }
        }
    }
    w.TrailingBits();
    std::vector<uint8_t> out;
    AppendNal(out, 3, idr ? 5 : 1, w.Bytes());
    return out;
}

std::vector<uint8_t> CFieldH264Writer::SkippedField(bool bottom)
{
    BitWriter w;
    w.Ue(0); // first_mb_in_slice
    w.Ue(0); // slice_type P
    w.Ue(0); // pic_parameter_set_id
    w.Bits(static_cast<uint32_t>(m_frameNum), kLog2MaxFrameNum);
    w.Bit(1); // field_pic_flag
    w.Bit(bottom ? 1 : 0);
    w.Bit(0);                // num_ref_idx_active_override_flag
    w.Bit(0);                // ref_pic_list_modification_flag_l0
    w.Bit(0);                // adaptive_ref_pic_marking_mode_flag
    w.Se(0);                 // slice_qp_delta
    w.Ue(1);                 // disable_deblocking_filter_idc
    w.Ue(kMbCols * kMbRows); // mb_skip_run: the whole field
    w.TrailingBits();
    std::vector<uint8_t> out;
    AppendNal(out, 2, 1, w.Bytes());
    return out;
}

std::vector<uint8_t> CFieldH264Writer::EncodeFrame(const YuvPicture& frame, bool key)
{
    std::vector<uint8_t> out;
    if (key) {
        m_frameNum = 0;
        m_lastPcm = 0;
        out = ParameterSets();
        const YuvPicture top = ExtractField(frame, 0);
        const YuvPicture bottom = ExtractField(frame, 1);
        std::vector<uint8_t> a = IntraField(top, false, true);
        std::vector<uint8_t> b = IntraField(bottom, true, false);
        out.insert(out.end(), a.begin(), a.end());
        out.insert(out.end(), b.begin(), b.end());
        m_idrId = (m_idrId + 1) & 0xFF;
    } else {
        m_frameNum = (m_frameNum + 1) % (1 << kLog2MaxFrameNum);
        std::vector<uint8_t> a = SkippedField(false);
        std::vector<uint8_t> b = SkippedField(true);
        out.insert(out.end(), a.begin(), a.end());
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

} // namespace tvdevsim
