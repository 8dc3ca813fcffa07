// The uncompressed picture layouts the video renderer takes, described apart
// from media types so that the presentation code knows nothing of pins.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win32/types.h"

enum class PixelLayout {
    None,
    YUY2,   // packed 4:2:2, bytes Y0 U Y1 V
    UYVY,   // packed 4:2:2, bytes U Y0 V Y1
    RGB32,  // DIB order B G R X
    RGB24,  // DIB order B G R
    RGB565, // DIB 16-bit, little-endian 5:6:5
    I420,   // planar 4:2:0, Y then U then V
    YV12,   // planar 4:2:0, Y then V then U
};

struct FrameFormat {
    PixelLayout layout = PixelLayout::None;
    int width = 0;  // pixels
    int height = 0; // pixels, always positive
    int stride = 0; // bytes per row of the first plane
    // RGB pictures given as a DIB with a positive biHeight are stored bottom row
    // first.
    bool bottomUp = false;

    bool IsValid() const;
    // Bytes one picture takes (all planes), 0 for an invalid format.
    size_t FrameBytes() const;
};

// Bytes per row of the first plane for a width: DIB rows for RGB are padded to
// four bytes; the YUV layouts use their natural width.
int FrameDefaultStride(PixelLayout layout, int width);

// Bytes per row of the chroma planes of a 4:2:0 picture whose first plane has
// this stride: half of it, rounded up.
inline int FrameChromaStride(int stride)
{
    return (stride + 1) / 2;
}

// The pixel layout a FOURCC or a DIB (biCompression, biBitCount) stands for.
// BI_RGB is 0 and BI_BITFIELDS 3 (16-bit 5:6:5 and 32-bit only).
PixelLayout FrameLayoutFromBitmap(DWORD compression, WORD bitCount);

// Largest picture or window side the renderer takes, in pixels.
constexpr int kMaxFrameSide = 16384;
