// Field-coded H.264 of our own making (libx264 codes frames only): Main profile,
// CAVLC, one slice per field, 704 x 288 fields (a 704 x 576 frame).
//
// Key pictures: an IDR top field and an intra bottom field. A macroblock that is
// flat mid-grey and whose predicting neighbours are too is coded as Intra 16x16
// DC with no residual (8 bits, predicted exactly as 128); every other one as
// I_PCM, so the decoded picture equals the source wherever it matters. Other
// pictures: two P fields whose macroblocks are all skipped, so they repeat the
// last key picture.
//
// Single-threaded; one writer per stream.
#pragma once

#include "TestPattern.h"

#include <cstdint>
#include <vector>

namespace tvdevsim {

class CFieldH264Writer {
public:
    static constexpr int kWidth = 704;
    static constexpr int kFieldHeight = 288;

    // SPS and PPS NAL units, each behind 00 00 00 01.
    std::vector<uint8_t> ParameterSets() const;

    // One frame as two field slices behind start codes (SPS and PPS in front of a
    // key frame). The picture must be 704 x 576.
    std::vector<uint8_t> EncodeFrame(const YuvPicture& frame, bool key);

    // Number of I_PCM macroblocks in the last key frame (both fields).
    int LastPcmMacroblocks() const { return m_lastPcm; }

private:
    std::vector<uint8_t> IntraField(const YuvPicture& field, bool bottom, bool idr);
    std::vector<uint8_t> SkippedField(bool bottom);

    int m_frameNum = 0; // frame_num of the current frame, 4 bits
    int m_idrId = 0;
    int m_lastPcm = 0;
};

} // namespace tvdevsim
