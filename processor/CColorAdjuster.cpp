#include "CColorAdjuster.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

// ---- Conversions between interface values and the internal form ----

BYTE CColorAdjuster::GainFromValue(LONG value)
{
    unsigned v = unsigned(value) & 0xFF;
    return v == 128 ? 255 : BYTE((2 * v) & 0xFF);
}

BYTE CColorAdjuster::ValueFromGain(BYTE gain)
{
    return gain == 255 ? 128 : BYTE(gain / 2);
}

signed char CColorAdjuster::OffsetFromValue(LONG value)
{
    unsigned v = unsigned(value) & 0xFF;
    if (v == 0)
        return -127;
    if (v == 128)
        return 127;
    auto c = static_cast<signed char>(static_cast<BYTE>((2 * (int(v) - 64)) & 0xFF));
    return c == -128 ? 0 : c;
}

BYTE CColorAdjuster::ValueFromOffset(signed char offset)
{
    if (offset == -127)
        return 0;
    if (offset == 127)
        return 128;
    return BYTE((offset >> 1) + 64);
}

// nearest(256 x (255 - 2|c|) / 255), in integers: no entry is a tie.
WORD CColorAdjuster::TableA(int absContrast)
{
    int a = std::clamp(absContrast, 0, 127);
    return WORD((2 * 256 * (255 - 2 * a) + 255) / (2 * 255));
}

// nearest(128 x 255 / (255 - 2c)) for c = 1 to 126, else 0.
WORD CColorAdjuster::TableB(int contrast)
{
    if (contrast <= 0 || contrast >= 127)
        return 0;
    int d = 255 - 2 * contrast;
    return WORD((2 * 128 * 255 + d) / (2 * d));
}

void CColorAdjuster::DeriveContrast(State& st)
{
    int c = st.contrast;
    st.absContrast = WORD(c < 0 ? -c : c);
    st.tableA = TableA(st.absContrast);
    st.tableB = c > 0 ? TableB(c) : 0;
    st.stretchLimit = WORD(c > 0 ? 255 - 2 * c : 255);
}

void CColorAdjuster::DeriveHue(State& st)
{
    std::memset(st.hueAdd, 0, sizeof(st.hueAdd));
    std::memset(st.hueSub, 0, sizeof(st.hueSub));
    const int h = st.hue;
    BYTE yAdd = 0, uAdd = 0, uSub = 0, vAdd = 0, vSub = 0;
    if (h > 0) {
        yAdd = BYTE((299 * h + 500) / 1000);  // nearest(0.299 h)
        vAdd = BYTE((h + 1) / 2);
        uSub = BYTE((168 * h + 500) / 1000);  // nearest(0.168 h)
    } else if (h < 0) {
        const int k = -h;
        yAdd = BYTE((114 * k + 500) / 1000);  // nearest(0.114 k)
        uAdd = BYTE((k + 1) / 2);
        vSub = BYTE((81 * k + 500) / 1000);  // nearest(0.081 k)
    }
    for (int i = 0; i < 8; i += 4) {
        st.hueAdd[i] = st.hueAdd[i + 2] = yAdd;
        st.hueAdd[i + 1] = uAdd;
        st.hueSub[i + 1] = uSub;
        st.hueAdd[i + 3] = vAdd;
        st.hueSub[i + 3] = vSub;
    }
}

// ---- IProcesserColor ----

HRESULT CColorAdjuster::GetContrast(BYTE* value) const
{
    if (!value)
        return E_POINTER;
    *value = ValueFromOffset(Snapshot().contrast);
    return S_OK;
}

HRESULT CColorAdjuster::SetContrast(LONG value)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_state.contrast = OffsetFromValue(value);
    DeriveContrast(m_state);
    return S_OK;
}

HRESULT CColorAdjuster::GetBrightness(BYTE* value) const
{
    if (!value)
        return E_POINTER;
    *value = ValueFromGain(Snapshot().brightness);
    return S_OK;
}

HRESULT CColorAdjuster::SetBrightness(LONG value)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_state.brightness = GainFromValue(value);
    return S_OK;
}

HRESULT CColorAdjuster::SetHue(LONG value)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_state.hue = OffsetFromValue(value);
    DeriveHue(m_state);
    return S_OK;
}

HRESULT CColorAdjuster::GetHue(BYTE* value) const
{
    if (!value)
        return E_POINTER;
    *value = ValueFromOffset(Snapshot().hue);
    return S_OK;
}

HRESULT CColorAdjuster::SetSaturation(LONG value)
{
    std::lock_guard<std::mutex> g(m_lock);
    m_state.saturation = GainFromValue(value);
    return S_OK;
}

HRESULT CColorAdjuster::GetSaturation(BYTE* value) const
{
    if (!value)
        return E_POINTER;
    *value = ValueFromGain(Snapshot().saturation);
    return S_OK;
}

CColorAdjuster::State CColorAdjuster::Snapshot() const
{
    std::lock_guard<std::mutex> g(m_lock);
    return m_state;
}

// ---- The per-frame pass ----

void CColorAdjuster::Process(BYTE* frame, size_t pixelCount, size_t frameBytes) const
{
    if (!frame)
        return;
    State st = Snapshot();
    if (st.Neutral())
        return;
    ApplySse2(st, frame, std::min(pixelCount, frameBytes / 2));
}

namespace {

inline unsigned ContrastScalar(const CColorAdjuster::State& st, unsigned x)
{
    if (st.contrast > 0) {
        unsigned t = x > st.absContrast ? x - st.absContrast : 0;
        if (t > st.stretchLimit)
            return 255;
        return std::min((t * st.tableB) >> 7, 255u);
    }
    if (st.contrast < 0)
        return std::min(((x * st.tableA) >> 8) + st.absContrast, 255u);
    return x;
}

// One 16-bit lane: luma in the low byte, chroma in the high byte; lane is the
// lane's index from the start of the frame (it places the hue pattern).
inline void LaneScalar(const CColorAdjuster::State& st, BYTE* p, size_t lane)
{
    unsigned l = std::min((unsigned(p[0]) * st.brightness) >> 7, 255u);
    unsigned c = ((unsigned(p[1]) * st.saturation) >> 7) + 128;
    c = c > st.saturation ? c - st.saturation : 0;
    c = std::min(c, 255u);
    l = ContrastScalar(st, l);
    c = ContrastScalar(st, c);
    const size_t k = (lane * 2) % 8;
    l = std::min(l + st.hueAdd[k], 255u);
    l = l > st.hueSub[k] ? l - st.hueSub[k] : 0;
    c = std::min(c + st.hueAdd[k + 1], 255u);
    c = c > st.hueSub[k + 1] ? c - st.hueSub[k + 1] : 0;
    p[0] = BYTE(l);
    p[1] = BYTE(c);
}

// Eight lanes (16 bytes) at once. The multiplies that are followed by a right
// shift use the high half of a 16-bit product where the operands allow it:
// mulhi(L << 8, 2b) = (L x b) >> 7, mulhi(C << 8, 2s) = (C x s) >> 7 and
// mulhi(x, A << 8) = (x x A) >> 8 (A <= 254 whenever c < 0).
enum class ContrastMode { None, Stretch, Threshold, Compress };

struct SseConstants {
    explicit SseConstants(const CColorAdjuster::State& st)
    {
        highMask = _mm_set1_epi16(short(0xFF00));
        max255 = _mm_set1_epi16(255);
        b2 = _mm_set1_epi16(short(2 * st.brightness));
        s2 = _mm_set1_epi16(short(2 * st.saturation));
        s = _mm_set1_epi16(short(st.saturation));
        off128 = _mm_set1_epi16(128);
        absC = _mm_set1_epi16(short(st.absContrast));
        a8 = _mm_set1_epi16(short(st.tableA << 8));
        bTable = _mm_set1_epi16(short(st.tableB));
        limit = _mm_set1_epi16(short(st.stretchLimit));
        limit1 = _mm_set1_epi16(short(st.stretchLimit + 1));
        BYTE add16[16], sub16[16];
        std::memcpy(add16, st.hueAdd, 8);
        std::memcpy(add16 + 8, st.hueAdd, 8);
        std::memcpy(sub16, st.hueSub, 8);
        std::memcpy(sub16 + 8, st.hueSub, 8);
        add = _mm_loadu_si128(reinterpret_cast<const __m128i*>(add16));
        sub = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sub16));
    }
    __m128i highMask, max255, b2, s2, s, off128, absC, a8, bTable, limit, limit1, add, sub;
};

template <ContrastMode M>
inline __m128i ContrastSse(const SseConstants& k, __m128i x)
{
    if constexpr (M == ContrastMode::Stretch) {
        // t above 255 - 2c always maps to 255; clamping t to 256 - 2c gives
        // a product of at least 255 << 7 there (B is rounded from
        // 128 x 255 / (255 - 2c)) and never more than 16 bits.
        __m128i t = _mm_min_epi16(_mm_subs_epu16(x, k.absC), k.limit1);
        return _mm_min_epi16(_mm_srli_epi16(_mm_mullo_epi16(t, k.bTable), 7), k.max255);
    } else if constexpr (M == ContrastMode::Threshold) {
        // c = 127: B is 0, so 0 up to the limit and 255 above it.
        __m128i t = _mm_subs_epu16(x, k.absC);
        return _mm_and_si128(_mm_cmpgt_epi16(t, k.limit), k.max255);
    } else if constexpr (M == ContrastMode::Compress) {
        return _mm_min_epi16(_mm_add_epi16(_mm_mulhi_epu16(x, k.a8), k.absC), k.max255);
    } else {
        return x;
    }
}

template <ContrastMode M, bool Hue>
inline __m128i PassSse(const SseConstants& k, __m128i v)
{
    __m128i l = _mm_min_epi16(_mm_mulhi_epu16(_mm_slli_epi16(v, 8), k.b2), k.max255);
    __m128i c = _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(v, k.highMask), k.s2), k.off128);
    c = _mm_min_epi16(_mm_subs_epu16(c, k.s), k.max255);
    l = ContrastSse<M>(k, l);
    c = ContrastSse<M>(k, c);
    v = _mm_or_si128(l, _mm_slli_epi16(c, 8));
    if constexpr (Hue) {
        v = _mm_adds_epu8(v, k.add);
        v = _mm_subs_epu8(v, k.sub);
    }
    return v;
}

// Whole blocks of 8 and then 4 lanes; returns how many lanes were done.
template <ContrastMode M, bool Hue>
size_t LoopSse(const SseConstants& k, BYTE* frame, size_t pixelCount)
{
    size_t lane = 0;
    for (; lane + 8 <= pixelCount; lane += 8) {
        auto* p = reinterpret_cast<__m128i*>(frame + 2 * lane);
        _mm_storeu_si128(p, PassSse<M, Hue>(k, _mm_loadu_si128(p)));
    }
    if (lane + 4 <= pixelCount) {
        auto* p = reinterpret_cast<__m128i*>(frame + 2 * lane);
        _mm_storel_epi64(p, PassSse<M, Hue>(k, _mm_loadl_epi64(p)));
        lane += 4;
    }
    return lane;
}

template <ContrastMode M>
size_t LoopSse(const SseConstants& k, BYTE* frame, size_t pixelCount, bool hue)
{
    return hue ? LoopSse<M, true>(k, frame, pixelCount) : LoopSse<M, false>(k, frame, pixelCount);
}

}  // namespace

void CColorAdjuster::ApplyScalar(const State& st, BYTE* frame, size_t pixelCount)
{
    if (st.Neutral())
        return;
    for (size_t lane = 0; lane < pixelCount; ++lane)
        LaneScalar(st, frame + 2 * lane, lane);
}

void CColorAdjuster::ApplySse2(const State& st, BYTE* frame, size_t pixelCount)
{
    if (st.Neutral())
        return;
    const SseConstants k(st);
    const bool hue = st.hue != 0;
    size_t lane;
    if (st.contrast == 0)
        lane = LoopSse<ContrastMode::None>(k, frame, pixelCount, hue);
    else if (st.contrast == 127)
        lane = LoopSse<ContrastMode::Threshold>(k, frame, pixelCount, hue);
    else if (st.contrast > 0)
        lane = LoopSse<ContrastMode::Stretch>(k, frame, pixelCount, hue);
    else
        lane = LoopSse<ContrastMode::Compress>(k, frame, pixelCount, hue);
    for (; lane < pixelCount; ++lane)
        LaneScalar(st, frame + 2 * lane, lane);
}
