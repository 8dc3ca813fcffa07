// Planar 4:2:0 to packed YUY2 (Y0 U Y1 V per pixel pair), and line doubling of
// a YUY2 picture. Each chroma sample serves two pixels across and both rows of
// a row pair (no interpolation). Any size: the vector paths do 64 (AVX2), 32
// and 16 pixels at a time and finish a row's remainder as the scalar reference
// does; an odd last column gets its Y and U only, an odd last row the chroma of
// its pair. Every path writes the same bytes.
//
// Pure functions on caller-owned memory; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

struct Yuv420Planes {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    ptrdiff_t yStride = 0;
    ptrdiff_t uvStride = 0;
};

// Which code converts: Best is AVX2 where the processor has it (asked once),
// else SSE2; Sse2 keeps to SSE2 (for tests and benchmarks of the paths).
enum class Yuy2Path { Best, Sse2, Scalar };

// dst holds height rows of dstStride bytes (at least 2 x width each).
void Yuv420ToYuy2(const Yuv420Planes& src, int width, int height, uint8_t* dst, ptrdiff_t dstStride,
                  Yuy2Path path = Yuy2Path::Best);
// Whether Yuy2Path::Best runs the AVX2 code on this processor.
bool Yuv420ToYuy2UsesAvx2();
// The same one pixel pair at a time: the reference the vector path must equal.
void Yuv420ToYuy2Scalar(const Yuv420Planes& src, int width, int height, uint8_t* dst,
                        ptrdiff_t dstStride);

// Takes the picture's upper half as its first field and doubles it over the
// whole picture: row i goes to rows 2i and 2i + 1 (an odd last row stays).
// In place: each row is read before anything is written over it.
void DoubleLinesYuy2(uint8_t* picture, ptrdiff_t stride, int width, int height);
