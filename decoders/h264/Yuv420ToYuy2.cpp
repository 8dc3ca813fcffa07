#include "Yuv420ToYuy2.h"
#include <win32/simd.h>

#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>

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

template <bool Stream> inline void Store(uint8_t* p, __m128i v)
{
    if constexpr (Stream)
        _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// 16 pixels of one row from 8 chroma pairs already interleaved (U0 V0 U1 V1 ...).
template <bool Stream> inline void Pixels16(const uint8_t* y, __m128i uv, uint8_t* dst)
{
    const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    Store<Stream>(dst, _mm_unpacklo_epi8(yy, uv));
    Store<Stream>(dst + 16, _mm_unpackhi_epi8(yy, uv));
}

// Both rows of a row pair share their chroma: it is loaded and interleaved
// once for the two. y1/dst1 are null for an odd last row. With Stream the
// rows are written past the cache (the picture is larger than it and is read
// next by another filter, so keeping it there only evicts the source planes);
// the caller then needs dst rows on 16-byte boundaries and an sfence.
template <bool Stream>
void RowPairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                 int width, uint8_t* dst0, uint8_t* dst1)
{
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m128i uu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uvLo = _mm_unpacklo_epi8(uu, vv), uvHi = _mm_unpackhi_epi8(uu, vv);
        Pixels16<Stream>(y0 + x, uvLo, dst0 + 2 * x);
        Pixels16<Stream>(y0 + x + 16, uvHi, dst0 + 2 * x + 32);
        if (y1) {
            Pixels16<Stream>(y1 + x, uvLo, dst1 + 2 * x);
            Pixels16<Stream>(y1 + x + 16, uvHi, dst1 + 2 * x + 32);
        }
    }
    for (; x + 16 <= width; x += 16) {
        const __m128i uu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uv = _mm_unpacklo_epi8(uu, vv);
        Pixels16<Stream>(y0 + x, uv, dst0 + 2 * x);
        if (y1)
            Pixels16<Stream>(y1 + x, uv, dst1 + 2 * x);
    }
    RowScalar(y0, u, v, x, width, dst0);
    if (y1)
        RowScalar(y1, u, v, x, width, dst1);
}

bool Valid(const Yuv420Planes& s, int width, int height, const uint8_t* dst)
{
    return s.y && s.u && s.v && dst && width > 0 && height > 0;
}

} // namespace

// The AVX2 pass: 64 pixels of both rows of a pair per step (32 chroma pairs
// loaded and interleaved once), then 32, and the rest as the SSE2 pass does.
// The 256-bit unpacks work within 128-bit lanes, so their halves are put back
// in pixel order with one lane permute per 32 bytes written. Streaming as in
// the SSE2 pass, with rows on 32-byte boundaries.
TV_TARGET_BEGIN("avx2")

namespace {

template <bool Stream> inline void Store32(uint8_t* p, __m256i v)
{
    if constexpr (Stream)
        _mm256_stream_si256(reinterpret_cast<__m256i*>(p), v);
    else
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// 32 pixels of one row; uv holds their 16 chroma pairs in order.
template <bool Stream> inline void Pixels32(const uint8_t* y, __m256i uv, uint8_t* dst)
{
    const __m256i yy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i lo = _mm256_unpacklo_epi8(yy, uv); // pixels 0-7 | 16-23
    const __m256i hi = _mm256_unpackhi_epi8(yy, uv); // pixels 8-15 | 24-31
    Store32<Stream>(dst, _mm256_permute2x128_si256(lo, hi, 0x20));
    Store32<Stream>(dst + 32, _mm256_permute2x128_si256(lo, hi, 0x31));
}

template <bool Stream>
void RowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                 int width, uint8_t* dst0, uint8_t* dst1)
{
    int x = 0;
    for (; x + 64 <= width; x += 64) {
        const __m256i uu = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(u + x / 2));
        const __m256i vv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v + x / 2));
        const __m256i lo = _mm256_unpacklo_epi8(uu, vv); // pairs 0-7 | 16-23
        const __m256i hi = _mm256_unpackhi_epi8(uu, vv); // pairs 8-15 | 24-31
        const __m256i first = _mm256_permute2x128_si256(lo, hi, 0x20);
        const __m256i second = _mm256_permute2x128_si256(lo, hi, 0x31);
        Pixels32<Stream>(y0 + x, first, dst0 + 2 * x);
        Pixels32<Stream>(y0 + x + 32, second, dst0 + 2 * x + 64);
        if (y1) {
            Pixels32<Stream>(y1 + x, first, dst1 + 2 * x);
            Pixels32<Stream>(y1 + x + 32, second, dst1 + 2 * x + 64);
        }
    }
    if (x + 32 <= width) {
        const __m128i uu = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m256i uv = _mm256_set_m128i(_mm_unpackhi_epi8(uu, vv), _mm_unpacklo_epi8(uu, vv));
        Pixels32<Stream>(y0 + x, uv, dst0 + 2 * x);
        if (y1)
            Pixels32<Stream>(y1 + x, uv, dst1 + 2 * x);
        x += 32;
    }
    if (x + 16 <= width) {
        const __m128i uu = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + x / 2));
        const __m128i vv = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + x / 2));
        const __m128i uv = _mm_unpacklo_epi8(uu, vv);
        Pixels16<Stream>(y0 + x, uv, dst0 + 2 * x);
        if (y1)
            Pixels16<Stream>(y1 + x, uv, dst1 + 2 * x);
        x += 16;
    }
    RowScalar(y0, u, v, x, width, dst0);
    if (y1)
        RowScalar(y1, u, v, x, width, dst1);
}

template <bool Stream>
void ConvertAvx2(const Yuv420Planes& s, int width, int height, uint8_t* dst, ptrdiff_t dstStride)
{
    for (int r = 0; r < height; r += 2) {
        const ptrdiff_t c = (r / 2) * s.uvStride;
        const bool pair = r + 1 < height;
        RowPairAvx2<Stream>(s.y + r * s.yStride, pair ? s.y + (r + 1) * s.yStride : nullptr,
                            s.u + c, s.v + c, width, dst + r * dstStride,
                            pair ? dst + (r + 1) * dstStride : nullptr);
    }
    if constexpr (Stream)
        _mm_sfence();
}

template void ConvertAvx2<true>(const Yuv420Planes&, int, int, uint8_t*, ptrdiff_t);
template void ConvertAvx2<false>(const Yuv420Planes&, int, int, uint8_t*, ptrdiff_t);

} // namespace

TV_TARGET_END

namespace {

template <bool Stream>
void ConvertSse2(const Yuv420Planes& s, int width, int height, uint8_t* dst, ptrdiff_t dstStride)
{
    for (int r = 0; r < height; r += 2) {
        const ptrdiff_t c = (r / 2) * s.uvStride;
        const bool pair = r + 1 < height;
        RowPairSse2<Stream>(s.y + r * s.yStride, pair ? s.y + (r + 1) * s.yStride : nullptr,
                            s.u + c, s.v + c, width, dst + r * dstStride,
                            pair ? dst + (r + 1) * dstStride : nullptr);
    }
    if constexpr (Stream)
        _mm_sfence();
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Whether every row starts on a boundary of that many bytes.
bool RowsAligned(const uint8_t* dst, ptrdiff_t dstStride, uintptr_t boundary)
{
    return (reinterpret_cast<uintptr_t>(dst) | static_cast<uintptr_t>(dstStride)) % boundary == 0;
}

} // namespace

bool Yuv420ToYuy2UsesAvx2()
{
    return HasAvx2();
}

void Yuv420ToYuy2(const Yuv420Planes& src, int width, int height, uint8_t* dst, ptrdiff_t dstStride,
                  Yuy2Path path)
{
    if (!Valid(src, width, height, dst))
        return;
    if (path == Yuy2Path::Scalar) {
        Yuv420ToYuy2Scalar(src, width, height, dst, dstStride);
        return;
    }
    const bool avx2 = path == Yuy2Path::Best && HasAvx2();
    // Streaming stores need rows on the store's own boundary: rows on 16
    // but not 32 bytes stream through the SSE2 pass.
    if (avx2 && RowsAligned(dst, dstStride, 32))
        ConvertAvx2<true>(src, width, height, dst, dstStride);
    else if (RowsAligned(dst, dstStride, 16))
        ConvertSse2<true>(src, width, height, dst, dstStride);
    else if (avx2)
        ConvertAvx2<false>(src, width, height, dst, dstStride);
    else
        ConvertSse2<false>(src, width, height, dst, dstStride);
}

void Yuv420ToYuy2Scalar(const Yuv420Planes& s, int width, int height, uint8_t* dst,
                        ptrdiff_t dstStride)
{
    if (!Valid(s, width, height, dst))
        return;
    for (int r = 0; r < height; ++r) {
        const ptrdiff_t c = (r / 2) * s.uvStride;
        RowScalar(s.y + r * s.yStride, s.u + c, s.v + c, 0, width, dst + r * dstStride);
    }
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
