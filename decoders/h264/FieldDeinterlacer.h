// FieldDeinterlacer: builds whole frames from top and bottom field pictures
// with a motion-adaptive filter. It keeps the last four luma fields and a
// stillness counter per pixel; each bottom field yields one frame of twice the
// field height whose even rows are the top field and whose odd rows are
//  - the mean of this and the previous bottom field where the picture has been
//    still for three fields (the counter reached 3), or
//  - an edge-directed average of the two top-field rows around it otherwise
//    (vertical, then the two diagonals; the closest pair wins, ties in that
//    order; means rounded up).
// Motion compares 2 x 2 block sums of each field with the same field one frame
// earlier; the threshold is 40, or 130 where the blocks carry detail (45 or
// more). Chroma comes from the top field, each row used twice.
//
// The vector path works on 32 and then 16 pixels at a time where the processor has AVX2,
// then on 8 (SSE2), and finishes each row with the scalar code; the scalar path
// is the reference both must equal exactly (Path::Sse2 keeps to SSE2).
//
// One instance per stream, used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class FieldDeinterlacer {
public:
    enum class Path { Vector, Sse2, Scalar };

    // Results.
    static constexpr int kOk = 0;
    static constexpr int kNoMemory = -1;  // or the processor lacks SSE2
    static constexpr int kBadSize = -2;   // width < 128, field height < 4, strides too small
    static constexpr int kNoPointer = -3; // a pointer argument is missing
    static constexpr int kBadStructure = -4;

    // *out receives the instance (null on failure). Field planes are read with
    // the source strides, frame planes written with the destination strides.
    static int Create(FieldDeinterlacer** out, int width, int fieldHeight, int srcYStride,
                      int srcUVStride, int dstYStride, int dstUVStride, Path path = Path::Vector);

    // Takes one field (structure 1 top, 2 bottom). The field's luma always
    // enters the ring (the ring turns by one after each call that has it); a
    // top field also leaves its chroma; a bottom field writes the frame:
    // dstY 2 x fieldHeight rows, dstU/dstV fieldHeight rows.
    int Process(uint8_t* dstY, uint8_t* dstU, uint8_t* dstV, const uint8_t* fieldY,
                const uint8_t* fieldU, const uint8_t* fieldV, int structure);

    int Width() const { return m_width; }
    int FieldHeight() const { return m_fieldHeight; }
    // Whether the instance was made for these arguments of Create.
    bool Matches(int width, int fieldHeight, int srcYStride, int srcUVStride, int dstYStride,
                 int dstUVStride) const;

private:
    FieldDeinterlacer() = default;
    void BuildFrame(uint8_t* dstY, uint8_t* dstU, uint8_t* dstV);
    void InterpolateRow(int i, uint8_t* dst);
    void InterpolateScalar(int i, int from, int to, uint8_t* dst);
    void InterpolateSse2(int i, int from, int to, uint8_t* dst);
    void InterpolateAvx2(int i, int from, int to, uint8_t* dst);
    const uint8_t* Field(int age) const; // 0 the newest, 3 the oldest

    Path m_path = Path::Vector;
    bool m_avx2 = false; // Path::Vector on a processor with AVX2
    int m_width = 0;
    int m_fieldHeight = 0;
    int m_srcYStride = 0, m_srcUVStride = 0, m_dstYStride = 0, m_dstUVStride = 0;
    int m_ringStride = 0;  // bytes per row in the ring and the counter map
    int m_chromaWidth = 0; // (width + 1) / 2
    int m_chromaRows = 0;  // rows of a field's chroma: (fieldHeight + 1) / 2
    int m_newest = 3;      // ring slot of the newest field
    std::vector<uint8_t> m_ring[4];
    std::vector<uint8_t> m_still; // per-pixel stillness counters 0..3
    std::vector<uint8_t> m_topU, m_topV;
};
