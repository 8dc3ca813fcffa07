// Exact 2:1 reductions of pictures in both directions, for a video window of
// exactly half the picture (a 1080p stream in a 960 x 540 tile of a camera
// wall): several times cheaper than a general scaler, with the box filter's
// exact result.
//
// YUY2: every output pixel
// is the rounded mean of the 2 x 2 input pixels it covers, and every output
// chroma sample (shared by two output pixels, as in the input) the mean of the
// four input chroma samples under those two pixels. The result is planar 4:2:2,
// which libswscale converts to RGB without scaling several times faster than
// packed YUY2 (its table converters take planar input only).
//
// 32-bit RGB: every output pixel's B, G and R the rounded mean of the 2 x 2
// input pixels' bytes, the fourth byte 255 (opaque, as the surfaces want it):
// straight into the surface, no conversion left.
//
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

enum class HalveKernel {
    Scalar,
    Sse2,
    Avx2, // only where the CPU has it (see HalveKernelAvailable)
};

// The fastest kernel this CPU runs, found once at the first call.
HalveKernel BestHalveKernel();
bool HalveKernelAvailable(HalveKernel kernel);

// True when a srcWidth x srcHeight 32-bit RGB picture halves exactly into
// dstWidth x dstHeight: both exactly half (the input's sides even).
bool CanHalveRgb32(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

// Reduces a srcWidth x srcHeight picture of 32-bit pixels (B G R X) into dst
// (srcWidth / 2 pixels a row, srcHeight / 2 rows, B G R 255). Strides as for
// HalveYuy2, negative ones too.
void HalveRgb32(HalveKernel kernel, const uint8_t* src, ptrdiff_t srcStride, int srcWidth,
                int srcHeight, uint8_t* dst, ptrdiff_t dstStride);
inline void HalveRgb32(const uint8_t* src, ptrdiff_t srcStride, int srcWidth, int srcHeight,
                       uint8_t* dst, ptrdiff_t dstStride)
{
    HalveRgb32(BestHalveKernel(), src, srcStride, srcWidth, srcHeight, dst, dstStride);
}

// True when a srcWidth x srcHeight YUY2 picture halves exactly into
// dstWidth x dstHeight: both exactly half, the input a whole number of chroma
// pairs of output (a width divisible by 4) and of rows (an even height).
bool CanHalveYuy2(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

// The output planes: luma srcWidth / 2 bytes a row, each chroma plane
// srcWidth / 4; srcHeight / 2 rows each.
struct Planar422 {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    ptrdiff_t yStride = 0;
    ptrdiff_t chromaStride = 0;
};

// Reduces a srcWidth x srcHeight YUY2 picture (CanHalveYuy2 must hold for its
// half size) into dst. The strides are bytes between rows and may be negative
// (a picture walked bottom row first); no alignment is needed anywhere. The
// kernel must be available.
void HalveYuy2(HalveKernel kernel, const uint8_t* src, ptrdiff_t srcStride, int srcWidth,
               int srcHeight, const Planar422& dst);
inline void HalveYuy2(const uint8_t* src, ptrdiff_t srcStride, int srcWidth, int srcHeight,
                      const Planar422& dst)
{
    HalveYuy2(BestHalveKernel(), src, srcStride, srcWidth, srcHeight, dst);
}
