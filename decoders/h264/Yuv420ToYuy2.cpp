#include "Yuv420ToYuy2.h"

#include <cstring>

#include <emmintrin.h>

namespace {

// One output row from x = from to the end, a pixel pair at a time.
void RowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, int from, int width,
               uint8_t* dst)
{
    for (int x = from; x < width; x += 2) {
        uint8_t* d = dst + 2 * x;
        d[0] = y[x];
        d[1] = u[x / 2];
        if (x + 1 < width) {
            d[2] = y[x + 1];
            d[3] = v[x / 2];
        }
    }
}

void RowSse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, uint8_t* dst)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i uu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uv = _mm_unpacklo_epi8(uu, vv); // U0 V0 U1 V1 ...
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x), _mm_unpacklo_epi8(yy, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * x + 16), _mm_unpackhi_epi8(yy, uv));
    }
    RowScalar(y, u, v, x, width, dst);
}

template <typename Row>
void Convert(const Yuv420Planes& s, int width, int height, uint8_t* dst, ptrdiff_t dstStride,
             Row row)
{
    if (!s.y || !s.u || !s.v || !dst || width <= 0 || height <= 0)
        return;
    for (int r = 0; r < height; ++r) {
        const ptrdiff_t c = (r / 2) * s.uvStride;
        row(s.y + r * s.yStride, s.u + c, s.v + c, width, dst + r * dstStride);
    }
}

} // namespace

void Yuv420ToYuy2(const Yuv420Planes& src, int width, int height, uint8_t* dst, ptrdiff_t dstStride)
{
    Convert(src, width, height, dst, dstStride, RowSse2);
}

void Yuv420ToYuy2Scalar(const Yuv420Planes& src, int width, int height, uint8_t* dst,
                        ptrdiff_t dstStride)
{
    Convert(src, width, height, dst, dstStride,
            [](const uint8_t* y, const uint8_t* u, const uint8_t* v, int w, uint8_t* d) {
                RowScalar(y, u, v, 0, w, d);
            });
}

void DoubleLinesYuy2(uint8_t* picture, ptrdiff_t stride, int width, int height)
{
    if (!picture || width <= 0 || height < 2)
        return;
    const size_t rowBytes = static_cast<size_t>(width) * 2;
    // From the bottom up: rows 2i and 2i + 1 lie below every row not yet read.
    for (int i = height / 2 - 1; i >= 0; --i) {
        const uint8_t* src = picture + i * stride;
        std::memmove(picture + (2 * i + 1) * stride, src, rowBytes);
        if (i > 0)
            std::memcpy(picture + 2 * i * stride, src, rowBytes);
    }
}
