#include "FieldDeinterlacer.h"
#include <win32/simd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include <emmintrin.h>
#include <immintrin.h>

namespace {

inline int AbsDiff(int a, int b)
{
    return a > b ? a - b : b - a;
}

inline uint8_t MeanUp(int a, int b)
{
    return static_cast<uint8_t>((a + b + 1) >> 1);
}

inline __m128i Load8(const uint8_t* p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

inline __m128i Load8Wide(const uint8_t* p)
{
    return _mm_unpacklo_epi8(Load8(p), _mm_setzero_si128());
}

inline __m128i AbsDiff16(__m128i a, __m128i b)
{
    return _mm_sub_epi16(_mm_max_epi16(a, b), _mm_min_epi16(a, b));
}

inline __m128i AbsDiff8(__m128i a, __m128i b)
{
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}

// All ones where a <= b (unsigned bytes).
inline __m128i LessEqual8(__m128i a, __m128i b)
{
    return _mm_cmpeq_epi8(_mm_min_epu8(a, b), a);
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// The edge-directed mean of each byte between row a (above) and row b (below):
// the pair straight across, or a diagonal, whichever differs least.
inline __m128i EdgeMean(__m128i a0, __m128i am, __m128i ap, __m128i b0, __m128i bm, __m128i bp)
{
    const __m128i d0 = AbsDiff8(a0, b0);
    const __m128i d1 = AbsDiff8(bm, ap);
    const __m128i d2 = AbsDiff8(am, bp);
    const __m128i pick0 = _mm_and_si128(LessEqual8(d0, d1), LessEqual8(d0, d2));
    const __m128i pick1 = LessEqual8(d1, d2);
    return Select(pick0, _mm_avg_epu8(a0, b0),
                  Select(pick1, _mm_avg_epu8(bm, ap), _mm_avg_epu8(am, bp)));
}

} // namespace

int FieldDeinterlacer::Create(FieldDeinterlacer** out, int width, int fieldHeight, int srcYStride,
                              int srcUVStride, int dstYStride, int dstUVStride, Path path)
{
    if (!out)
        return kNoPointer;
    *out = nullptr;
    const int chromaWidth = (width + 1) / 2;
    if (width < 128 || fieldHeight < 4 || srcYStride < width || dstYStride < width ||
        srcUVStride < chromaWidth || dstUVStride < chromaWidth)
        return kBadSize;
    if (path != Path::Scalar && !__builtin_cpu_supports("sse2"))
        return kNoMemory;
    FieldDeinterlacer* d = new (std::nothrow) FieldDeinterlacer;
    if (!d)
        return kNoMemory;
    d->m_path = path;
    d->m_avx2 = path == Path::Vector && __builtin_cpu_supports("avx2");
    d->m_width = width;
    d->m_fieldHeight = fieldHeight;
    d->m_srcYStride = srcYStride;
    d->m_srcUVStride = srcUVStride;
    d->m_dstYStride = dstYStride;
    d->m_dstUVStride = dstUVStride;
    d->m_ringStride = (width + 15) & ~15;
    d->m_chromaWidth = chromaWidth;
    d->m_chromaRows = (fieldHeight + 1) / 2;
    const size_t lumaBytes = static_cast<size_t>(d->m_ringStride) * fieldHeight;
    const size_t chromaBytes = static_cast<size_t>(chromaWidth) * d->m_chromaRows;
    try {
        for (auto& slot : d->m_ring)
            slot.assign(lumaBytes, 0x80);
        d->m_still.assign(lumaBytes, 0);
        d->m_topU.assign(chromaBytes, 0x80);
        d->m_topV.assign(chromaBytes, 0x80);
    } catch (const std::bad_alloc&) {
        delete d;
        return kNoMemory;
    }
    *out = d;
    return kOk;
}

bool FieldDeinterlacer::Matches(int width, int fieldHeight, int srcYStride, int srcUVStride,
                                int dstYStride, int dstUVStride) const
{
    return width == m_width && fieldHeight == m_fieldHeight && srcYStride == m_srcYStride &&
           srcUVStride == m_srcUVStride && dstYStride == m_dstYStride &&
           dstUVStride == m_dstUVStride;
}

const uint8_t* FieldDeinterlacer::Field(int age) const
{
    return m_ring[(m_newest - age + 4) % 4].data();
}

int FieldDeinterlacer::Process(uint8_t* dstY, uint8_t* dstU, uint8_t* dstV, const uint8_t* fieldY,
                               const uint8_t* fieldU, const uint8_t* fieldV, int structure)
{
    if (fieldY) {
        m_newest = (m_newest + 1) % 4;
        uint8_t* slot = m_ring[m_newest].data();
        for (int r = 0; r < m_fieldHeight; ++r)
            std::memcpy(slot + static_cast<size_t>(r) * m_ringStride,
                        fieldY + static_cast<ptrdiff_t>(r) * m_srcYStride, m_width);
    }
    if (!dstY || !dstU || !dstV || !fieldY || !fieldU || !fieldV)
        return kNoPointer;
    if (structure != 1 && structure != 2)
        return kBadStructure;
    if (structure == 1) {
        for (int r = 0; r < m_chromaRows; ++r) {
            const ptrdiff_t s = static_cast<ptrdiff_t>(r) * m_srcUVStride;
            std::memcpy(&m_topU[static_cast<size_t>(r) * m_chromaWidth], fieldU + s, m_chromaWidth);
            std::memcpy(&m_topV[static_cast<size_t>(r) * m_chromaWidth], fieldV + s, m_chromaWidth);
        }
        return kOk;
    }
    BuildFrame(dstY, dstU, dstV);
    return kOk;
}

void FieldDeinterlacer::BuildFrame(uint8_t* dstY, uint8_t* dstU, uint8_t* dstV)
{
    // Frame chroma: fieldHeight rows, each stored top-field row twice.
    for (int r = 0; r < m_fieldHeight; ++r) {
        const size_t s = static_cast<size_t>(r / 2) * m_chromaWidth;
        std::memcpy(dstU + static_cast<ptrdiff_t>(r) * m_dstUVStride, &m_topU[s], m_chromaWidth);
        std::memcpy(dstV + static_cast<ptrdiff_t>(r) * m_dstUVStride, &m_topV[s], m_chromaWidth);
    }
    const uint8_t* top = Field(1);
    auto row = [&](int r) { return dstY + static_cast<ptrdiff_t>(r) * m_dstYStride; };
    auto topRow = [&](int i) { return top + static_cast<size_t>(i) * m_ringStride; };
    const int last = m_fieldHeight - 1;
    std::memcpy(row(0), topRow(0), m_width);
    std::memcpy(row(1), topRow(0), m_width);
    for (int i = 1; i <= m_fieldHeight - 2; ++i) {
        std::memcpy(row(2 * i), topRow(i), m_width);
        InterpolateRow(i, row(2 * i + 1));
    }
    std::memcpy(row(2 * last), topRow(last), m_width);
    std::memcpy(row(2 * last + 1), topRow(last), m_width);
}

void FieldDeinterlacer::InterpolateRow(int i, uint8_t* dst)
{
    const uint8_t* a = Field(1) + static_cast<size_t>(i) * m_ringStride;
    const int w = m_width;
    dst[0] = a[0];
    dst[1] = a[1];
    dst[w - 2] = a[w - 2];
    dst[w - 1] = a[w - 1];
    int x = 2;
    // Each group reads one pixel past its last; keep that inside the row:
    // groups while x + group <= w - 2.
    if (m_avx2 && w - 2 - x >= 16) {
        const int end = x + ((w - 2 - x) / 16) * 16;
        InterpolateAvx2(i, x, end, dst);
        x = end;
    }
    if (m_path != Path::Scalar && w - 2 - x >= 8) {
        const int end = x + ((w - 2 - x) / 8) * 8;
        InterpolateSse2(i, x, end, dst);
        x = end;
    }
    InterpolateScalar(i, x, w - 2, dst);
}

void FieldDeinterlacer::InterpolateScalar(int i, int from, int to, uint8_t* dst)
{
    const size_t r0 = static_cast<size_t>(i) * m_ringStride;
    const size_t r1 = r0 + m_ringStride;
    const uint8_t* bNow = Field(0);
    const uint8_t* tNow = Field(1);
    const uint8_t* bPrev = Field(2);
    const uint8_t* tPrev = Field(3);
    const uint8_t* a = tNow + r0;
    const uint8_t* b = tNow + r1;
    uint8_t* still = &m_still[r0];
    for (int x = from; x < to; ++x) {
        auto sum = [&](const uint8_t* f) {
            return f[r0 + x] + f[r0 + x + 1] + f[r1 + x] + f[r1 + x + 1];
        };
        auto detail = [&](const uint8_t* f) {
            return AbsDiff(f[r0 + x], f[r1 + x]) + AbsDiff(f[r0 + x], f[r0 + x + 1]);
        };
        const int motion = std::max(AbsDiff(sum(tNow), sum(tPrev)), AbsDiff(sum(bNow), sum(bPrev)));
        const int d =
            std::max(std::max(detail(tNow), detail(tPrev)), std::max(detail(bNow), detail(bPrev)));
        const int threshold = d < 45 ? 40 : 130;
        const int before = still[x];
        if (motion >= threshold)
            still[x] = 0;
        else if (still[x] < 3)
            still[x] = static_cast<uint8_t>(still[x] + 1);
        if (motion < threshold && before == 3) {
            dst[x] = MeanUp(bNow[r0 + x], bPrev[r0 + x]);
            continue;
        }
        const int d0 = AbsDiff(a[x], b[x]);
        const int d1 = AbsDiff(b[x - 1], a[x + 1]);
        const int d2 = AbsDiff(a[x - 1], b[x + 1]);
        if (d0 <= d1 && d0 <= d2)
            dst[x] = MeanUp(a[x], b[x]);
        else if (d1 <= d2)
            dst[x] = MeanUp(b[x - 1], a[x + 1]);
        else
            dst[x] = MeanUp(a[x - 1], b[x + 1]);
    }
}

void FieldDeinterlacer::InterpolateSse2(int i, int from, int to, uint8_t* dst)
{
    const size_t r0 = static_cast<size_t>(i) * m_ringStride;
    const size_t r1 = r0 + m_ringStride;
    const uint8_t* fields[4] = {Field(1), Field(3), Field(0), Field(2)}; // tNow tPrev bNow bPrev
    const uint8_t* a = fields[0] + r0;
    const uint8_t* b = fields[0] + r1;
    uint8_t* still = &m_still[r0];
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i three = _mm_set1_epi16(3);
    const __m128i detailLimit = _mm_set1_epi16(45);
    const __m128i flatThreshold = _mm_set1_epi16(40);
    const __m128i busyThreshold = _mm_set1_epi16(130);
    for (int x = from; x < to; x += 8) {
        __m128i sums[4];
        __m128i detail = zero;
        for (int f = 0; f < 4; ++f) {
            const uint8_t* p = fields[f];
            const __m128i p00 = Load8Wide(p + r0 + x);
            const __m128i p01 = Load8Wide(p + r0 + x + 1);
            const __m128i p10 = Load8Wide(p + r1 + x);
            const __m128i p11 = Load8Wide(p + r1 + x + 1);
            sums[f] = _mm_add_epi16(_mm_add_epi16(p00, p01), _mm_add_epi16(p10, p11));
            detail = _mm_max_epi16(detail, _mm_add_epi16(AbsDiff16(p00, p10), AbsDiff16(p00, p01)));
        }
        const __m128i motion =
            _mm_max_epi16(AbsDiff16(sums[0], sums[1]), AbsDiff16(sums[2], sums[3]));
        const __m128i threshold =
            Select(_mm_cmplt_epi16(detail, detailLimit), flatThreshold, busyThreshold);
        const __m128i calm = _mm_cmplt_epi16(motion, threshold);
        const __m128i counter = Load8Wide(still + x);
        const __m128i useMean16 = _mm_and_si128(calm, _mm_cmpeq_epi16(counter, three));
        const __m128i next = _mm_and_si128(calm, _mm_min_epi16(_mm_add_epi16(counter, one), three));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(still + x), _mm_packus_epi16(next, zero));

        const __m128i a0 = Load8(a + x), am = Load8(a + x - 1), ap = Load8(a + x + 1);
        const __m128i b0 = Load8(b + x), bm = Load8(b + x - 1), bp = Load8(b + x + 1);
        const __m128i edge = EdgeMean(a0, am, ap, b0, bm, bp);
        const __m128i mean = _mm_avg_epu8(Load8(fields[2] + r0 + x), Load8(fields[3] + r0 + x));
        const __m128i useMean = _mm_packs_epi16(useMean16, useMean16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + x), Select(useMean, mean, edge));
    }
}

// AVX2: 32 pixels a step while they last, then the SSE2 pass on 16 pixels (the
// 16-bit sums, details and counters in AVX2 registers, the byte-wide edge
// choice in a full SSE2 register) for the rest of the row's 16-pixel groups.
TV_TARGET_BEGIN("avx2")

namespace {

inline __m128i Load16(const uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m256i Load16Wide(const uint8_t* p)
{
    return _mm256_cvtepu8_epi16(Load16(p));
}

inline __m256i AbsDiff16x16(__m256i a, __m256i b)
{
    return _mm256_sub_epi16(_mm256_max_epi16(a, b), _mm256_min_epi16(a, b));
}

// 16 words of 0..255 (or masks of 0 / -1) to 16 bytes, in order.
inline __m128i Narrow(__m256i words)
{
    const __m256i packed = _mm256_packs_epi16(words, words); // per half: lo lo | hi hi
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
}

inline __m256i Load32(const uint8_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

inline __m256i AbsDiff32(__m256i x, __m256i y)
{
    return _mm256_or_si256(_mm256_subs_epu8(x, y), _mm256_subs_epu8(y, x));
}

// All ones where x <= y (unsigned bytes).
inline __m256i LessEqual32(__m256i x, __m256i y)
{
    return _mm256_cmpeq_epi8(_mm256_min_epu8(x, y), x);
}

inline __m256i Select32(__m256i mask, __m256i yes, __m256i no)
{
    return _mm256_blendv_epi8(no, yes, mask);
}

// Where the motion of 16 words is below the threshold: 40 where flat (a word
// mask), 130 elsewhere.
inline __m256i Calm16(const __m256i* sums, __m256i flat)
{
    const __m256i motion = _mm256_max_epi16(_mm256_abs_epi16(_mm256_sub_epi16(sums[0], sums[1])),
                                            _mm256_abs_epi16(_mm256_sub_epi16(sums[2], sums[3])));
    const __m256i threshold = _mm256_sub_epi16(_mm256_set1_epi16(130),
                                               _mm256_and_si256(flat, _mm256_set1_epi16(130 - 40)));
    return _mm256_cmpgt_epi16(threshold, motion);
}

// 32 pixels a step with the counters, details and edge choice in bytes: the
// detail only meets 45, so a byte sum that saturates at 255 decides the same.
// Only the block sums need words; they are unpacked within each 128-bit lane
// and packed back the same way, which restores the bytes' order.
int Interpolate32(const uint8_t* const fields[4], size_t r0, size_t r1, int from, int to,
                  uint8_t* still, uint8_t* dst)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi8(1);
    const __m256i three = _mm256_set1_epi8(3);
    const __m256i flatLimit = _mm256_set1_epi8(44); // flat where the detail is 44 or less
    const uint8_t* a = fields[0] + r0;
    const uint8_t* b = fields[0] + r1;
    int x = from;
    for (; x + 32 <= to; x += 32) {
        __m256i sumLo[4], sumHi[4];
        __m256i detail = zero;
        for (int f = 0; f < 4; ++f) {
            const uint8_t* p = fields[f];
            const __m256i p00 = Load32(p + r0 + x), p01 = Load32(p + r0 + x + 1);
            const __m256i p10 = Load32(p + r1 + x), p11 = Load32(p + r1 + x + 1);
            sumLo[f] = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpacklo_epi8(p00, zero), _mm256_unpacklo_epi8(p01, zero)),
                _mm256_add_epi16(_mm256_unpacklo_epi8(p10, zero), _mm256_unpacklo_epi8(p11, zero)));
            sumHi[f] = _mm256_add_epi16(
                _mm256_add_epi16(_mm256_unpackhi_epi8(p00, zero), _mm256_unpackhi_epi8(p01, zero)),
                _mm256_add_epi16(_mm256_unpackhi_epi8(p10, zero), _mm256_unpackhi_epi8(p11, zero)));
            detail =
                _mm256_max_epu8(detail, _mm256_adds_epu8(AbsDiff32(p00, p10), AbsDiff32(p00, p01)));
        }
        const __m256i flat = LessEqual32(detail, flatLimit);
        const __m256i calm = _mm256_packs_epi16(Calm16(sumLo, _mm256_unpacklo_epi8(flat, flat)),
                                                Calm16(sumHi, _mm256_unpackhi_epi8(flat, flat)));
        const __m256i counter = Load32(still + x);
        const __m256i useMean = _mm256_and_si256(calm, _mm256_cmpeq_epi8(counter, three));
        const __m256i next =
            _mm256_and_si256(calm, _mm256_min_epu8(_mm256_add_epi8(counter, one), three));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(still + x), next);

        const __m256i a0 = Load32(a + x), am = Load32(a + x - 1), ap = Load32(a + x + 1);
        const __m256i b0 = Load32(b + x), bm = Load32(b + x - 1), bp = Load32(b + x + 1);
        const __m256i d0 = AbsDiff32(a0, b0), d1 = AbsDiff32(bm, ap), d2 = AbsDiff32(am, bp);
        const __m256i pick0 = _mm256_and_si256(LessEqual32(d0, d1), LessEqual32(d0, d2));
        const __m256i edge = Select32(
            pick0, _mm256_avg_epu8(a0, b0),
            Select32(LessEqual32(d1, d2), _mm256_avg_epu8(bm, ap), _mm256_avg_epu8(am, bp)));
        const __m256i mean =
            _mm256_avg_epu8(Load32(fields[2] + r0 + x), Load32(fields[3] + r0 + x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + x), Select32(useMean, mean, edge));
    }
    return x;
}

} // namespace

void FieldDeinterlacer::InterpolateAvx2(int i, int from, int to, uint8_t* dst)
{
    const size_t r0 = static_cast<size_t>(i) * m_ringStride;
    const size_t r1 = r0 + m_ringStride;
    const uint8_t* fields[4] = {Field(1), Field(3), Field(0), Field(2)}; // tNow tPrev bNow bPrev
    const uint8_t* a = fields[0] + r0;
    const uint8_t* b = fields[0] + r1;
    uint8_t* still = &m_still[r0];
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i three = _mm256_set1_epi16(3);
    const __m256i detailLimit = _mm256_set1_epi16(45);
    const __m256i flatThreshold = _mm256_set1_epi16(40);
    const __m256i busyThreshold = _mm256_set1_epi16(130);
    for (int x = Interpolate32(fields, r0, r1, from, to, still, dst); x < to; x += 16) {
        __m256i sums[4];
        __m256i detail = _mm256_setzero_si256();
        for (int f = 0; f < 4; ++f) {
            const uint8_t* p = fields[f];
            const __m256i p00 = Load16Wide(p + r0 + x);
            const __m256i p01 = Load16Wide(p + r0 + x + 1);
            const __m256i p10 = Load16Wide(p + r1 + x);
            const __m256i p11 = Load16Wide(p + r1 + x + 1);
            sums[f] = _mm256_add_epi16(_mm256_add_epi16(p00, p01), _mm256_add_epi16(p10, p11));
            detail = _mm256_max_epi16(
                detail, _mm256_add_epi16(AbsDiff16x16(p00, p10), AbsDiff16x16(p00, p01)));
        }
        const __m256i motion =
            _mm256_max_epi16(AbsDiff16x16(sums[0], sums[1]), AbsDiff16x16(sums[2], sums[3]));
        const __m256i threshold = _mm256_blendv_epi8(busyThreshold, flatThreshold,
                                                     _mm256_cmpgt_epi16(detailLimit, detail));
        const __m256i calm = _mm256_cmpgt_epi16(threshold, motion);
        const __m256i counter = Load16Wide(still + x);
        const __m256i useMean16 = _mm256_and_si256(calm, _mm256_cmpeq_epi16(counter, three));
        const __m256i next =
            _mm256_and_si256(calm, _mm256_min_epi16(_mm256_add_epi16(counter, one), three));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(still + x), Narrow(next));

        const __m128i a0 = Load16(a + x), am = Load16(a + x - 1), ap = Load16(a + x + 1);
        const __m128i b0 = Load16(b + x), bm = Load16(b + x - 1), bp = Load16(b + x + 1);
        const __m128i edge = EdgeMean(a0, am, ap, b0, bm, bp);
        const __m128i mean = _mm_avg_epu8(Load16(fields[2] + r0 + x), Load16(fields[3] + r0 + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x),
                         Select(Narrow(useMean16), mean, edge));
    }
}

TV_TARGET_END
