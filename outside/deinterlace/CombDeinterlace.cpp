#include "CombDeinterlace.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>

namespace {

void RowScalar(const uint8_t* a, const uint8_t* b, const uint8_t* d, int from, int n, int t,
               uint8_t* out)
{
    for (int i = from; i < n; ++i) {
        const int hi = std::min(255, std::max(a[i], d[i]) + t);
        const int lo = std::max(0, std::min(a[i], d[i]) - t);
        out[i] = b[i] > hi || b[i] < lo ? static_cast<uint8_t>((a[i] + d[i] + 1) >> 1) : b[i];
    }
}

void RowSse2(const uint8_t* a, const uint8_t* b, const uint8_t* d, int n, int t, uint8_t* out)
{
    const __m128i tt = _mm_set1_epi8(static_cast<char>(std::clamp(t, 0, 255)));
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        const __m128i hi = _mm_adds_epu8(_mm_max_epu8(va, vd), tt);
        const __m128i lo = _mm_subs_epu8(_mm_min_epu8(va, vd), tt);
        // Saturated differences are zero exactly where b lies inside lo..hi.
        const __m128i keep = _mm_and_si128(_mm_cmpeq_epi8(_mm_subs_epu8(vb, hi), zero),
                                           _mm_cmpeq_epi8(_mm_subs_epu8(lo, vb), zero));
        const __m128i mean = _mm_avg_epu8(va, vd);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_and_si128(keep, vb), _mm_andnot_si128(keep, mean)));
    }
    RowScalar(a, b, d, i, n, t, out);
}

} // namespace

void DeinterlaceFrame(const uint8_t* src, ptrdiff_t srcStride, uint8_t* dst, ptrdiff_t dstStride,
                      int rowBytes, int rows, int threshold, ConvertPath path)
{
    if (!src || !dst || rowBytes < 1 || rows < 1)
        return;
    const int t = std::clamp(threshold, 0, 255);
    for (int r = 0; r < rows; ++r) {
        const uint8_t* b = src + r * srcStride;
        uint8_t* out = dst + r * dstStride;
        if (r % 2 == 0 || rows < 2) {
            std::memcpy(out, b, static_cast<size_t>(rowBytes));
            continue;
        }
        const uint8_t* above = b - srcStride;
        const uint8_t* below = r + 1 < rows ? b + srcStride : above;
        if (path == ConvertPath::Vector)
            RowSse2(above, b, below, rowBytes, t, out);
        else
            RowScalar(above, b, below, 0, rowBytes, t, out);
    }
}
