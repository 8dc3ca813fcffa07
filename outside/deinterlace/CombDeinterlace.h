// The deinterlacer's picture work: a woven frame (first field on the even
// rows, second field on the odd rows) made progressive without losing the
// detail of still parts. Each byte of a second-field row is compared with the
// bytes above and below it (first-field rows; the last row of an even-height
// picture looks only up): where it lies more than `threshold` outside their
// range, the two fields disagree there (motion between them: combing) and the
// byte becomes the mean of its neighbours, rounded up; elsewhere it stays.
// First-field rows are copied unchanged.
//
// Bytes are compared one by one, so any packed layout works (YUY2, RGB24,
// RGB32): each channel is judged on its own. The vector path (SSE2) does 16
// bytes at a time and equals the scalar reference exactly.
//
// Rows are given by the top row and a stride, which may be negative (a
// bottom-up DIB from its top row). Pure function; any thread.
#pragma once

#include "ColorConvert.h"

#include <cstddef>
#include <cstdint>

inline constexpr int kCombThreshold = 12;

void DeinterlaceFrame(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                      int rowBytes, int rows, int threshold = kCombThreshold,
                      ConvertPath path = ConvertPath::Vector);
