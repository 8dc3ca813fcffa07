// The picture conversions of the colour-space converter, each with a vector
// path and the scalar reference it must equal byte for byte.
//
//   YUY2 -> BGRX (RGB32 as a DIB stores it): BT.601 limited range, each
//     chroma pair serving both pixels, in 13-bit fixed point:
//       c = Y - 16, d = U - 128, e = V - 128
//       R = (9539 c + 13075 e + 4096) >> 13
//       G = (9539 c - 3209 d - 6660 e + 4096) >> 13
//       B = (9539 c + 16525 d + 4096) >> 13
//     each clamped to 0..255; the fourth byte is 255. Vector: SSE2, 8 pixels
//     at a time.
//   BGR24 -> YUY2 (the DIB order of RGB24): per pixel
//       Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16
//     and per pixel pair, from the sums of both pixels (R = R0 + R1, ...)
//       U = ((-38 R - 74 G + 112 B + 256) >> 9) + 128
//       V = ((112 R - 94 G - 18 B + 256) >> 9) + 128
//     an odd last pixel pairs with itself. Vector: SSSE3 when the processor
//     has it, 8 pixels at a time.
//
// Rows are given by their first byte and a stride, which may be negative (a
// bottom-up DIB read from its top row). Any width from 1: the vector paths
// finish each row as the scalar code does. An odd width still writes a whole
// last pixel pair into a YUY2 row (its row must have room for it, as
// Yuy2Stride rows do).
//
// Pure functions on caller-owned memory; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ConvertPath { Vector, Scalar };

void Yuy2ToBgrx(const uint8_t* src, ptrdiff_t srcStride, int width, int height, uint8_t* dst,
                ptrdiff_t dstStride, ConvertPath path = ConvertPath::Vector);

void Bgr24ToYuy2(const uint8_t* src, ptrdiff_t srcStride, int width, int height, uint8_t* dst,
                 ptrdiff_t dstStride, ConvertPath path = ConvertPath::Vector);

// Whether the vector path of Bgr24ToYuy2 runs on this processor (else it
// takes the scalar code).
bool Bgr24VectorPathAvailable();
