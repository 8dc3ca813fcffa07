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

// The SSE2 pass of the YUY2 reduction. Two rows are summed as 16-bit words,
// Y U Y V Y U Y V: each pair of 32-bit lanes (Y0 U0)(Y1 V0)(Y2 U1)(Y3 V1)
// becomes (Y0+Y1, U0+U1)(Y2+Y3, V0+V1). Sums of four bytes plus the rounding
// 2 stay below 1024: no overflow.
namespace {

inline Ops::V Pairs(Ops::V s, Ops::V lowWords)
{
    // Luma: each lane plus its neighbour, the sums kept in lanes 0 and 2.
    Ops::V luma = Ops::Add16(s, Ops::Shuffle32<_MM_SHUFFLE(2, 3, 0, 1)>(s));
    luma = Ops::Shuffle32<_MM_SHUFFLE(2, 0, 2, 0)>(luma);
    // Chroma: each lane plus the one two further on (U with U, V with V).
    Ops::V chroma = Ops::Add16(s, Ops::Shuffle32<_MM_SHUFFLE(1, 0, 3, 2)>(s));
    return Ops::Or(Ops::And(luma, lowWords), Ops::AndNot(lowWords, chroma));
}

// 2 * Ops::kBytes input bytes of each row give Ops::kBytes / 2 output words.
inline Ops::V Reduce(const uint8_t* a, const uint8_t* b, Ops::V lowWords, Ops::V two)
{
    const Ops::V zero = Ops::Zero();
    Ops::V ra = Ops::Load(a), rb = Ops::Load(b);
    Ops::V lo = Ops::Add16(Ops::UnpackLo8(ra, zero), Ops::UnpackLo8(rb, zero));
    Ops::V hi = Ops::Add16(Ops::UnpackHi8(ra, zero), Ops::UnpackHi8(rb, zero));
    Ops::V sums = Ops::UnpackLo64(Pairs(lo, lowWords), Pairs(hi, lowWords));
    return Ops::Srl16By2(Ops::Add16(sums, two));
}

} // namespace

// Output pixels done by whole vectors (a multiple of Ops::kBytes, at most
// outPixels): 4 * Ops::kBytes input bytes of each row give Ops::kBytes luma
// bytes and half as many of each chroma.
size_t HalveRow(const uint8_t* r0, const uint8_t* r1, uint8_t* y, uint8_t* u, uint8_t* v,
                size_t outPixels)
{
    const Ops::V lowWords = Ops::Set32(0x0000FFFF), two = Ops::Set16(2),
                 lowBytes = Ops::Set16(0x00FF);
    const size_t k = Ops::kBytes;
    size_t done = 0;
    for (; done + k <= outPixels; done += k) {
        const uint8_t* a = r0 + 4 * done;
        const uint8_t* b = r1 + 4 * done;
        // Two vectors of the half picture in YUY2 order ...
        Ops::V p0 = Ops::PackUS16(Reduce(a, b, lowWords, two), Reduce(a + k, b + k, lowWords, two));
        Ops::V p1 = Ops::PackUS16(Reduce(a + 2 * k, b + 2 * k, lowWords, two),
                                  Reduce(a + 3 * k, b + 3 * k, lowWords, two));
        // ... split into luma (even bytes) and chroma (odd bytes: U V U V) ...
        Ops::Store(y + done, Ops::PackUS16(Ops::And(p0, lowBytes), Ops::And(p1, lowBytes)));
        Ops::V chroma = Ops::PackUS16(Ops::Srl16By8(p0), Ops::Srl16By8(p1));
        // ... and the chroma into U (even) and V (odd), half a vector each.
        Ops::V us = Ops::And(chroma, lowBytes), vs = Ops::Srl16By8(chroma);
        Ops::StoreHalf(u + done / 2, Ops::PackUS16(us, us));
        Ops::StoreHalf(v + done / 2, Ops::PackUS16(vs, vs));
    }
    return done;
}

#include "PictureHalvePass.inl"

} // namespace sse2

// The passes on 32 bytes, for CPUs that have AVX2 (chosen at run time).
// Unpacks, packs and byte shuffles work within each 128-bit half, so a
// packed result holds the quarters in the order 0 2 1 3: Order swaps the
// middle two.
TV_TARGET_BEGIN("avx2")

namespace avx2 {

// YUY2 in fewer steps than the SSE2 pass: a byte shuffle puts each 8-byte
// group's pairs side by side (Y0 Y1 Y2 Y3 U0 U1 V0 V1) and a multiply-add by
// ones sums each pair into a word; the two rows' words added, rounded and
// shifted give y y u v for the group's two output pixels. 128 input bytes of
// each row a step: 32 output pixels.
size_t HalveRow(const uint8_t* r0, const uint8_t* r1, uint8_t* y, uint8_t* u, uint8_t* v,
                size_t outPixels)
{
    const __m256i pairs = _mm256_setr_epi8(0, 2, 4, 6, 1, 5, 3, 7, 8, 10, 12, 14, 9, 13, 11, 15, 0,
                                           2, 4, 6, 1, 5, 3, 7, 8, 10, 12, 14, 9, 13, 11, 15);
    const __m256i ones = _mm256_set1_epi8(1), two = _mm256_set1_epi16(2);
    // Each half of a packed vector holds groups A B (of its first source) and
    // C D (of its second), y y u v each: to Y(A B) Y(C D) U(A B C D) V(A B C D).
    const __m256i split = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0,
                                           1, 4, 5, 8, 9, 12, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    // The luma quarters of both halves into the low half in pixel order, the
    // chroma ones into the high half ...
    const __m256i gather = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    // ... where U and V of the two halves still interleave in pairs.
    const __m256i chromaOrder =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, //
                         0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15);
    auto words = [&](const uint8_t* a, const uint8_t* b) {
        const __m256i sa = _mm256_maddubs_epi16(
            _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(a)), pairs),
            ones);
        const __m256i sb = _mm256_maddubs_epi16(
            _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b)), pairs),
            ones);
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(sa, sb), two), 2);
    };
    // 16 output pixels from 64 input bytes of each row: luma in the low half,
    // U then V in the high half.
    auto sixteen = [&](const uint8_t* a, const uint8_t* b) {
        const __m256i packed = _mm256_packus_epi16(words(a, b), words(a + 32, b + 32));
        return _mm256_shuffle_epi8(
            _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(packed, split), gather), chromaOrder);
    };
    size_t done = 0;
    for (; done + 32 <= outPixels; done += 32) {
        const uint8_t* a = r0 + 4 * done;
        const uint8_t* b = r1 + 4 * done;
        const __m256i first = sixteen(a, b), second = sixteen(a + 64, b + 64);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + done),
                            _mm256_permute2x128_si256(first, second, 0x20));
        const __m256i chroma = _mm256_permute4x64_epi64(
            _mm256_permute2x128_si256(first, second, 0x31), _MM_SHUFFLE(3, 1, 2, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + done / 2), _mm256_castsi256_si128(chroma));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + done / 2),
                         _mm256_extracti128_si256(chroma, 1));
    }
    return done;
}

struct Ops {
    using V = __m256i;
    static constexpr size_t kBytes = 32;
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set16(short v) { return _mm256_set1_epi16(v); }
    static V Set32(int v) { return _mm256_set1_epi32(v); }
    static V Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
    static void Store(uint8_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
    static V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    static V UnpackLo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Srl16By2(V a) { return _mm256_srli_epi16(a, 2); }
    static V SrlBytes8(V a) { return _mm256_srli_si256(a, 8); } // within each half
    static V Or(V a, V b) { return _mm256_or_si256(a, b); }
    static V PackUS16(V a, V b) { return _mm256_packus_epi16(a, b); }
    static V Order(V a) { return _mm256_permute4x64_epi64(a, _MM_SHUFFLE(3, 1, 2, 0)); }
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
