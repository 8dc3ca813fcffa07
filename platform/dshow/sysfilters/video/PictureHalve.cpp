#include "video/PictureHalve.h"
#include <win32/simd.h>

#include <immintrin.h>

namespace {

// Output pixels from..outPixels (an even count) of one row pair: each 8-byte
// group of both rows (four input pixels, two chroma pairs) gives two luma
// bytes and one of each chroma, the rows' Y0 Y1 / Y2 Y3 / U0 U1 / V0 V1
// averaged and rounded.
void HalveRowScalar(const uint8_t* r0, const uint8_t* r1, uint8_t* y, uint8_t* u, uint8_t* v,
                    size_t from, size_t outPixels)
{
    for (size_t o = from; o + 2 <= outPixels; o += 2) {
        const uint8_t* a = r0 + 4 * o;
        const uint8_t* b = r1 + 4 * o;
        y[o] = uint8_t((a[0] + a[2] + b[0] + b[2] + 2) >> 2);
        y[o + 1] = uint8_t((a[4] + a[6] + b[4] + b[6] + 2) >> 2);
        u[o / 2] = uint8_t((a[1] + a[5] + b[1] + b[5] + 2) >> 2);
        v[o / 2] = uint8_t((a[3] + a[7] + b[3] + b[7] + 2) >> 2);
    }
}

void HalveRowRgb32Scalar(const uint8_t* r0, const uint8_t* r1, uint8_t* out, size_t from,
                         size_t outPixels)
{
    for (size_t o = from; o < outPixels; ++o) {
        const uint8_t* a = r0 + 8 * o;
        const uint8_t* b = r1 + 8 * o;
        for (int c = 0; c < 3; ++c)
            out[4 * o + size_t(c)] = uint8_t((a[c] + a[4 + c] + b[c] + b[4 + c] + 2) >> 2);
        out[4 * o + 3] = 255;
    }
}

} // namespace

namespace sse2 {

struct Ops {
    using V = __m128i;
    static constexpr size_t kBytes = 16;
    static V Zero() { return _mm_setzero_si128(); }
    static V Set16(short v) { return _mm_set1_epi16(v); }
    static V Set32(int v) { return _mm_set1_epi32(v); }
    static V Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
    static void Store(uint8_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
    static void StoreHalf(uint8_t* p, V v) { _mm_storel_epi64(reinterpret_cast<V*>(p), v); }
    static V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    static V UnpackLo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Srl16By2(V a) { return _mm_srli_epi16(a, 2); }
    static V Srl16By8(V a) { return _mm_srli_epi16(a, 8); }
    static V SrlBytes8(V a) { return _mm_srli_si128(a, 8); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    static V AndNot(V mask, V b) { return _mm_andnot_si128(mask, b); }
    static V Or(V a, V b) { return _mm_or_si128(a, b); }
    static V PackUS16(V a, V b) { return _mm_packus_epi16(a, b); }
    static V Order(V a) { return a; }
    template <int kImm> static V Shuffle32(V a) { return _mm_shuffle_epi32(a, kImm); }
};

#include "PictureHalvePass.inl"

} // namespace sse2

// The same pass on 32 bytes, for CPUs that have AVX2 (chosen at run time).
// Its unpacks and packs work within each 128-bit half, so the packed result
// holds the quarters in the order 0 2 1 3: Order swaps the middle two.
TV_TARGET_BEGIN("avx2")

namespace avx2 {

struct Ops {
    using V = __m256i;
    static constexpr size_t kBytes = 32;
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set16(short v) { return _mm256_set1_epi16(v); }
    static V Set32(int v) { return _mm256_set1_epi32(v); }
    static V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
    static void StoreHalf(uint8_t* p, V v)
    {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(v));
    }
    static V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    static V UnpackLo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Srl16By2(V a) { return _mm256_srli_epi16(a, 2); }
    static V Srl16By8(V a) { return _mm256_srli_epi16(a, 8); }
    static V SrlBytes8(V a) { return _mm256_srli_si256(a, 8); } // within each half
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    static V AndNot(V mask, V b) { return _mm256_andnot_si256(mask, b); }
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V PackUS16(V a, V b) { return _mm256_packus_epi16(a, b); }
    static V Order(V a) { return _mm256_permute4x64_epi64(a, _MM_SHUFFLE(3, 1, 2, 0)); }
    template <int kImm> static V Shuffle32(V a) { return _mm256_shuffle_epi32(a, kImm); }
};

#include "PictureHalvePass.inl"

} // namespace avx2

TV_TARGET_END

bool HalveKernelAvailable(HalveKernel kernel)
{
    if (kernel == HalveKernel::Avx2) {
        static const bool has = __builtin_cpu_supports("avx2");
        return has;
    }
    return true; // SSE2 is the x86-64 baseline
}

HalveKernel BestHalveKernel()
{
    static const HalveKernel best =
        HalveKernelAvailable(HalveKernel::Avx2) ? HalveKernel::Avx2 : HalveKernel::Sse2;
    return best;
}

bool CanHalveYuy2(int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    return srcWidth > 0 && srcHeight > 0 && srcWidth % 4 == 0 && srcHeight % 2 == 0 &&
           dstWidth * 2 == srcWidth && dstHeight * 2 == srcHeight;
}

void HalveYuy2(HalveKernel kernel, const uint8_t* src, ptrdiff_t srcStride, int srcWidth,
               int srcHeight, const Planar422& dst)
{
    const size_t outPixels = size_t(srcWidth / 2);
    for (int row = 0; row < srcHeight / 2; ++row) {
        const uint8_t* r0 = src + ptrdiff_t(2 * row) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* y = dst.y + ptrdiff_t(row) * dst.yStride;
        uint8_t* u = dst.u + ptrdiff_t(row) * dst.chromaStride;
        uint8_t* v = dst.v + ptrdiff_t(row) * dst.chromaStride;
        size_t done = 0;
        if (kernel == HalveKernel::Avx2)
            done = avx2::HalveRow(r0, r1, y, u, v, outPixels);
        else if (kernel == HalveKernel::Sse2)
            done = sse2::HalveRow(r0, r1, y, u, v, outPixels);
        HalveRowScalar(r0, r1, y, u, v, done, outPixels);
    }
}

bool CanHalveRgb32(int srcWidth, int srcHeight, int dstWidth, int dstHeight)
{
    return srcWidth > 0 && srcHeight > 0 && srcWidth % 2 == 0 && srcHeight % 2 == 0 &&
           dstWidth * 2 == srcWidth && dstHeight * 2 == srcHeight;
}

void HalveRgb32(HalveKernel kernel, const uint8_t* src, ptrdiff_t srcStride, int srcWidth,
                int srcHeight, uint8_t* dst, ptrdiff_t dstStride)
{
    const size_t outPixels = size_t(srcWidth / 2);
    for (int row = 0; row < srcHeight / 2; ++row) {
        const uint8_t* r0 = src + ptrdiff_t(2 * row) * srcStride;
        const uint8_t* r1 = r0 + srcStride;
        uint8_t* out = dst + ptrdiff_t(row) * dstStride;
        size_t done = 0;
        if (kernel == HalveKernel::Avx2)
            done = avx2::HalveRowRgb32(r0, r1, out, outPixels);
        else if (kernel == HalveKernel::Sse2)
            done = sse2::HalveRowRgb32(r0, r1, out, outPixels);
        HalveRowRgb32Scalar(r0, r1, out, done, outPixels);
    }
}
