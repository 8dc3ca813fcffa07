// Planar 4:2:0 to packed YUY2 (Y0 U Y1 V per pixel pair), and line doubling of
// a YUY2 picture. Each chroma sample serves two pixels across and both rows of
// a row pair (no interpolation). Any size: the vector path does 16 pixels at a
// time and finishes a row's remainder as the scalar reference does; an odd
// last column gets its Y and U only, an odd last row the chroma of its pair.
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

// dst holds height rows of dstStride bytes (at least 2 x width each).
void Yuv420ToYuy2(const Yuv420Planes& src, int width, int height, uint8_t* dst,
                  ptrdiff_t dstStride);
// The same one pixel pair at a time: the reference the vector path must equal.
void Yuv420ToYuy2Scalar(const Yuv420Planes& src, int width, int height, uint8_t* dst,
                        ptrdiff_t dstStride);

// Takes the picture's upper half as its first field and doubles it over the
// whole picture: row i goes to rows 2i and 2i + 1 (an odd last row stays).
// In place: each row is read before anything is written over it.
void DoubleLinesYuy2(uint8_t* picture, ptrdiff_t stride, int width, int height);
