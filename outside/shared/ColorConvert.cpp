#include "ColorConvert.h"

#include <emmintrin.h>
#include <tmmintrin.h>

namespace {

inline uint8_t Clamp255(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline void BgrxPixel(int y, int d, int e, uint8_t* out)
{
    const int c = 9539 * (y - 16) + 4096;
    out[0] = Clamp255((c + 16525 * d) >> 13);
    out[1] = Clamp255((c - 3209 * d - 6660 * e) >> 13);
    out[2] = Clamp255((c + 13075 * e) >> 13);
    out[3] = 255;
}

// One YUY2 row from pixel `from` on. An odd last pixel takes the V of the
// pair before it (128 when it stands alone): the byte after its U is padding.
void Yuy2RowScalar(const uint8_t* s, int from, int width, uint8_t* d)
{
    for (int x = from; x < width; x += 2) {
        const uint8_t* p = s + 2 * x;
        const int u = p[1] - 128;
        if (x + 1 < width) {
            const int v = p[3] - 128;
            BgrxPixel(p[0], u, v, d + 4 * x);
            BgrxPixel(p[2], u, v, d + 4 * x + 4);
        } else {
            const int v = x >= 2 ? p[-1] - 128 : 0;
            BgrxPixel(p[0], u, v, d + 4 * x);
        }
    }
}

// Four pixels (Y0 U0 Y1 V0 Y2 U1 Y3 V1 as 16-bit words) to 32-bit B, G, R.
inline void Yuy2Quad(__m128i w, __m128i* r, __m128i* g, __m128i* b)
{
    const __m128i offset = _mm_setr_epi16(16, 128, 16, 128, 16, 128, 16, 128);
    const __m128i round = _mm_set1_epi32(4096);
    w = _mm_sub_epi16(w, offset);
    // (c, d) and (c, e) per pixel: each chroma word serves both of its pixels.
    const __m128i cd = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, _MM_SHUFFLE(1, 2, 1, 0)),
                                           _MM_SHUFFLE(1, 2, 1, 0));
    const __m128i ce = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, _MM_SHUFFLE(3, 2, 3, 0)),
                                           _MM_SHUFFLE(3, 2, 3, 0));
    const __m128i kR = _mm_setr_epi16(9539, 13075, 9539, 13075, 9539, 13075, 9539, 13075);
    const __m128i kGd = _mm_setr_epi16(9539, -3209, 9539, -3209, 9539, -3209, 9539, -3209);
    const __m128i kGe = _mm_setr_epi16(0, -6660, 0, -6660, 0, -6660, 0, -6660);
    const __m128i kB = _mm_setr_epi16(9539, 16525, 9539, 16525, 9539, 16525, 9539, 16525);
    *r = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(ce, kR), round), 13);
    *g = _mm_srai_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(cd, kGd), _mm_madd_epi16(ce, kGe)), round), 13);
    *b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(cd, kB), round), 13);
}

void Yuy2RowSse2(const uint8_t* s, int width, uint8_t* d)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i alpha = _mm_set1_epi8(-1);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x));
        __m128i r0, g0, b0, r1, g1, b1;
        Yuy2Quad(_mm_unpacklo_epi8(p, zero), &r0, &g0, &b0);
        Yuy2Quad(_mm_unpackhi_epi8(p, zero), &r1, &g1, &b1);
        // packs then packus: the same clamping to 0..255 as the scalar code.
        const __m128i r = _mm_packus_epi16(_mm_packs_epi32(r0, r1), zero);
        const __m128i g = _mm_packus_epi16(_mm_packs_epi32(g0, g1), zero);
        const __m128i b = _mm_packus_epi16(_mm_packs_epi32(b0, b1), zero);
        const __m128i bg = _mm_unpacklo_epi8(b, g);
        const __m128i ra = _mm_unpacklo_epi8(r, alpha);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x), _mm_unpacklo_epi16(bg, ra));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * x + 16), _mm_unpackhi_epi16(bg, ra));
    }
    Yuy2RowScalar(s, x, width, d);
}

void Bgr24RowScalar(const uint8_t* s, int from, int width, uint8_t* d)
{
    for (int x = from; x < width; x += 2) {
        const uint8_t* p0 = s + 3 * x;
        const uint8_t* p1 = x + 1 < width ? p0 + 3 : p0;
        const int b0 = p0[0], g0 = p0[1], r0 = p0[2];
        const int b1 = p1[0], g1 = p1[1], r1 = p1[2];
        const int r = r0 + r1, g = g0 + g1, b = b0 + b1;
        uint8_t* o = d + 2 * x;
        o[0] = static_cast<uint8_t>(((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16);
        o[1] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 256) >> 9) + 128);
        o[2] = static_cast<uint8_t>(((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16);
        o[3] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 256) >> 9) + 128);
    }
}

__attribute__((target("ssse3"))) void Bgr24RowSsse3(const uint8_t* s, int width, uint8_t* d)
{
    // Byte gathers of eight pixels' B, G and R into 16-bit words: bytes 0-15
    // from the first load, 16-23 from the second (which starts at byte 8).
    const __m128i bA = _mm_setr_epi8(0, -1, 3, -1, 6, -1, 9, -1, 12, -1, 15, -1, -1, -1, -1, -1);
    const __m128i bB =
        _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 10, -1, 13, -1);
    const __m128i gA = _mm_setr_epi8(1, -1, 4, -1, 7, -1, 10, -1, 13, -1, -1, -1, -1, -1, -1, -1);
    const __m128i gB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 8, -1, 11, -1, 14, -1);
    const __m128i rA = _mm_setr_epi8(2, -1, 5, -1, 8, -1, 11, -1, 14, -1, -1, -1, -1, -1, -1, -1);
    const __m128i rB = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 9, -1, 12, -1, 15, -1);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i kY = _mm_set1_epi16(128);
    const __m128i y16 = _mm_set1_epi16(16);
    const __m128i kU_rg = _mm_setr_epi16(-38, -74, -38, -74, -38, -74, -38, -74);
    const __m128i kU_b = _mm_setr_epi16(112, 256, 112, 256, 112, 256, 112, 256);
    const __m128i kV_rg = _mm_setr_epi16(112, -94, 112, -94, 112, -94, 112, -94);
    const __m128i kV_b = _mm_setr_epi16(-18, 256, -18, 256, -18, 256, -18, 256);
    const __m128i c128 = _mm_set1_epi32(128);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
        const __m128i b8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x + 8));
        const __m128i B = _mm_or_si128(_mm_shuffle_epi8(a, bA), _mm_shuffle_epi8(b8, bB));
        const __m128i G = _mm_or_si128(_mm_shuffle_epi8(a, gA), _mm_shuffle_epi8(b8, gB));
        const __m128i R = _mm_or_si128(_mm_shuffle_epi8(a, rA), _mm_shuffle_epi8(b8, rB));
        // Y: the sum stays below 65536, so the 16-bit words read unsigned.
        __m128i y = _mm_add_epi16(_mm_mullo_epi16(R, _mm_set1_epi16(66)),
                                  _mm_mullo_epi16(G, _mm_set1_epi16(129)));
        y = _mm_add_epi16(_mm_add_epi16(y, _mm_mullo_epi16(B, _mm_set1_epi16(25))), kY);
        y = _mm_add_epi16(_mm_srli_epi16(y, 8), y16);
        // Pair sums, then U and V in 32 bits.
        const __m128i rs = _mm_madd_epi16(R, ones);
        const __m128i gs = _mm_madd_epi16(G, ones);
        const __m128i bs = _mm_madd_epi16(B, ones);
        const __m128i rg = _mm_unpacklo_epi16(_mm_packs_epi32(rs, rs), _mm_packs_epi32(gs, gs));
        const __m128i b1 = _mm_unpacklo_epi16(_mm_packs_epi32(bs, bs), ones);
        const __m128i u = _mm_add_epi32(
            _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(rg, kU_rg), _mm_madd_epi16(b1, kU_b)), 9),
            c128);
        const __m128i v = _mm_add_epi32(
            _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(rg, kV_rg), _mm_madd_epi16(b1, kV_b)), 9),
            c128);
        const __m128i uv = _mm_unpacklo_epi16(_mm_packs_epi32(u, u), _mm_packs_epi32(v, v));
        const __m128i out = _mm_packus_epi16(_mm_unpacklo_epi16(y, uv), _mm_unpackhi_epi16(y, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x), out);
    }
    Bgr24RowScalar(s, x, width, d);
}

template <typename Row>
void ForEachRow(const uint8_t* src, ptrdiff_t srcStride, int width, int height, uint8_t* dst,
                ptrdiff_t dstStride, Row row)
{
    if (!src || !dst || width < 1 || height < 1)
        return;
    for (int r = 0; r < height; ++r)
        row(src + r * srcStride, width, dst + r * dstStride);
}

} // namespace

bool Bgr24VectorPathAvailable()
{
    static const bool available = __builtin_cpu_supports("ssse3");
    return available;
}

void Yuy2ToBgrx(const uint8_t* src, ptrdiff_t srcStride, int width, int height, uint8_t* dst,
                ptrdiff_t dstStride, ConvertPath path)
{
    if (path == ConvertPath::Vector)
        ForEachRow(src, srcStride, width, height, dst, dstStride, Yuy2RowSse2);
    else
        ForEachRow(src, srcStride, width, height, dst, dstStride,
                   [](const uint8_t* s, int w, uint8_t* d) { Yuy2RowScalar(s, 0, w, d); });
}

void Bgr24ToYuy2(const uint8_t* src, ptrdiff_t srcStride, int width, int height, uint8_t* dst,
                 ptrdiff_t dstStride, ConvertPath path)
{
    if (path == ConvertPath::Vector && Bgr24VectorPathAvailable())
        ForEachRow(src, srcStride, width, height, dst, dstStride, Bgr24RowSsse3);
    else
        ForEachRow(src, srcStride, width, height, dst, dstStride,
                   [](const uint8_t* s, int w, uint8_t* d) { Bgr24RowScalar(s, 0, w, d); });
}
