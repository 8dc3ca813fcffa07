#include "CColorAdjuster.h"
#include <win32/simd.h>

#include "win32/trace.h"

#include <immintrin.h>

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
        yAdd = BYTE((299 * h + 500) / 1000); // nearest(0.299 h)
        vAdd = BYTE((h + 1) / 2);
        uSub = BYTE((168 * h + 500) / 1000); // nearest(0.168 h)
    } else if (h < 0) {
        const int k = -h;
        yAdd = BYTE((114 * k + 500) / 1000); // nearest(0.114 k)
        uAdd = BYTE((k + 1) / 2);
        vSub = BYTE((81 * k + 500) / 1000); // nearest(0.081 k)
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
//
// Every call is traced on the "processor" channel with its argument, its
// result and the value it gives back.

template <typename Read>
HRESULT CColorAdjuster::GetSetting(const char* name, BYTE* value, Read read) const
{
    CTvTraceCall trace("processor", "%s(%p)", name, static_cast<void*>(value));
    if (!value)
        return trace(E_POINTER);
    *value = read(Snapshot());
    if (trace.On())
        trace.Detail("%u", static_cast<unsigned>(*value));
    return trace(S_OK);
}

template <typename Write>
HRESULT CColorAdjuster::SetSetting(const char* name, LONG value, Write write)
{
    CTvTraceCall trace("processor", "%s(%d)", name, static_cast<int>(value));
    {
        std::lock_guard<std::mutex> g(m_lock);
        write(m_state, value);
    }
    return trace(S_OK);
}

HRESULT CColorAdjuster::GetContrast(BYTE* value) const
{
    return GetSetting("GetContrast", value,
                      [](const State& st) { return ValueFromOffset(st.contrast); });
}

HRESULT CColorAdjuster::SetContrast(LONG value)
{
    return SetSetting("SetContrast", value, [](State& st, LONG v) {
        st.contrast = OffsetFromValue(v);
        DeriveContrast(st);
    });
}

HRESULT CColorAdjuster::GetBrightness(BYTE* value) const
{
    return GetSetting("GetBrightness", value,
                      [](const State& st) { return ValueFromGain(st.brightness); });
}

HRESULT CColorAdjuster::SetBrightness(LONG value)
{
    return SetSetting("SetBrightness", value,
                      [](State& st, LONG v) { st.brightness = GainFromValue(v); });
}

HRESULT CColorAdjuster::SetHue(LONG value)
{
    return SetSetting("SetHue", value, [](State& st, LONG v) {
        st.hue = OffsetFromValue(v);
        DeriveHue(st);
    });
}

HRESULT CColorAdjuster::GetHue(BYTE* value) const
{
    return GetSetting("GetHue", value, [](const State& st) { return ValueFromOffset(st.hue); });
}

HRESULT CColorAdjuster::SetSaturation(LONG value)
{
    return SetSetting("SetSaturation", value,
                      [](State& st, LONG v) { st.saturation = GainFromValue(v); });
}

HRESULT CColorAdjuster::GetSaturation(BYTE* value) const
{
    return GetSetting("GetSaturation", value,
                      [](const State& st) { return ValueFromGain(st.saturation); });
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
    pixelCount = std::min(pixelCount, frameBytes / 2);
    ApplyBestTo(st, frame, frame, pixelCount);
}

void CColorAdjuster::ProcessCopy(const BYTE* src, BYTE* dst, size_t bytes, size_t pixelCount) const
{
    if (!src || !dst)
        return;
    State st = Snapshot();
    pixelCount = st.Neutral() ? 0 : std::min(pixelCount, bytes / 2);
    ApplyBestTo(st, src, dst, pixelCount);
    std::memcpy(dst + 2 * pixelCount, src + 2 * pixelCount, bytes - 2 * pixelCount);
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

// ---- The vector pass ----
//
// What one frame needs from the settings, as per-lane patterns for 16 bytes
// (8 lanes of 16 bits: Y U Y V Y U Y V) and the steps that can be skipped.
enum class PassMode { None, Stretch, Threshold, Compress };
// The per-lane offset after the gain: only additions, only saturating
// subtractions, some of each, or nothing.
enum class PassOffset { None, Add, Sub, Both };

struct PassPlan {
    PassMode mode = PassMode::None;
    PassOffset offset = PassOffset::None;
    bool hue = false;
    WORD gain[8];        // 2b on luma lanes, 2s on chroma lanes
    WORD offAdd[8];      // added after the gain
    WORD offSub[8];      // then subtracted with saturation at 0
    WORD clampBias[8];   // compress: 65280 + offAdd
    WORD b4[8];          // stretch: B << 2
    WORD threshold[8];   // c = 127: the lane becomes 255 above this
    WORD a8[8];          // compress: A << 8
    WORD compressAdd[8]; // compress: |c| plus the lane's hue step, less 255 A
    BYTE hueAdd[16];
    BYTE hueSub[16];
};

// Why the steps can be merged:
// - Gain: mulhi(x << 8, 2g) = (x x g) >> 7, up to 508.
// - Saturation then contrast stretch: both subtract with saturation at 0, so
//   they merge into one offset 128 - s - c. Neither the clamp to 255 before
//   the stretch nor the test t > 255 - 2c is needed: (t x B) >> 7 grows with
//   t and is at least 255 from t = 256 - 2c on (B is rounded from
//   128 x 255 / (255 - 2c)), so the pack's clamp gives the 255. It is taken
//   as mulhi(t << 7, B << 2), exact because t <= 508 - c keeps t << 7 within
//   16 bits and the product below 1 << 15 (for every c from 1 to 126), so
//   the signed pack still sees it as positive.
// - The final clamp to 0..255 of every step is the pack's.
// - Compress: ((x x A) >> 8) + |c| stays within 1..254 for x <= 255, so the
//   hue step (one of add or subtract per byte) is a plain signed addition
//   before the pack's clamp and merges with + |c|. The clamp of x to 255
//   (and the chroma offset, when it adds) is one saturating addition of
//   65280 + offset: u = 65280 + min(x + offset, 255), and as 65280 = 255 x
//   256, mulhi(u, A << 8) = 255 A + ((min(...) x A) >> 8) exactly (below
//   1 << 16 since A <= 254 for c < 0); the 255 A comes off with the + |c|,
//   in wrapping 16-bit arithmetic.
// - c = 127 (B = 0): 255 exactly when the clamped value is at least 129,
//   i.e. luma (L x b) >> 7 > 128 or chroma (C x s) >> 7 > s.
PassPlan BuildPlan(const CColorAdjuster::State& st)
{
    PassPlan p;
    const int c = st.contrast;
    p.mode = c == 0     ? PassMode::None
             : c == 127 ? PassMode::Threshold
             : c > 0    ? PassMode::Stretch
                        : PassMode::Compress;
    p.hue = st.hue != 0 && p.mode != PassMode::Compress;
    bool anyAdd = false, anySub = false;
    for (int lane = 0; lane < 8; ++lane) {
        const bool chroma = lane % 2;
        const int k = lane % 4; // the lane's byte within Y0 U Y1 V
        int offset = chroma ? 128 - st.saturation : 0;
        if (p.mode == PassMode::Stretch)
            offset -= c;
        if (p.mode == PassMode::Threshold)
            offset = 0;
        p.gain[lane] = WORD(2 * (chroma ? st.saturation : st.brightness));
        p.offAdd[lane] = WORD(std::max(offset, 0));
        p.offSub[lane] = WORD(std::max(-offset, 0));
        anyAdd |= offset > 0;
        anySub |= offset < 0;
        p.clampBias[lane] = WORD(65280 + p.offAdd[lane]);
        p.b4[lane] = WORD(st.tableB << 2);
        p.threshold[lane] = chroma ? st.saturation : 128;
        p.a8[lane] = WORD(st.tableA << 8);
        p.compressAdd[lane] = WORD(st.absContrast + st.hueAdd[k] - st.hueSub[k] - 255 * st.tableA);
    }
    p.offset = anyAdd && anySub ? PassOffset::Both
               : anyAdd         ? PassOffset::Add
               : anySub         ? PassOffset::Sub
                                : PassOffset::None;
    for (int i = 0; i < 16; ++i) {
        p.hueAdd[i] = st.hueAdd[i % 8];
        p.hueSub[i] = st.hueSub[i % 8];
    }
    return p;
}

namespace sse2 {

struct Ops {
    using V = __m128i;
    static constexpr size_t kBytes = 16;
    static V Zero() { return _mm_setzero_si128(); }
    static V Pattern(const void* p16) { return _mm_loadu_si128(static_cast<const __m128i*>(p16)); }
    static V Load(const BYTE* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(BYTE* p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static V UnpackLo8(V a, V b) { return _mm_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm_unpackhi_epi8(a, b); }
    static V MulHiU16(V a, V b) { return _mm_mulhi_epu16(a, b); }
    static V SllI16By7(V a) { return _mm_slli_epi16(a, 7); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V SubsU16(V a, V b) { return _mm_subs_epu16(a, b); }
    static V AddsU16(V a, V b) { return _mm_adds_epu16(a, b); }
    static V CmpGt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V PackUS16(V a, V b) { return _mm_packus_epi16(a, b); }
    static V PackS16(V a, V b) { return _mm_packs_epi16(a, b); }
    static V AddsU8(V a, V b) { return _mm_adds_epu8(a, b); }
    static V SubsU8(V a, V b) { return _mm_subs_epu8(a, b); }
};

#include "CColorAdjusterPass.inl"

} // namespace sse2

// The same pass on 32 bytes at a time, for CPUs that have AVX2 (chosen at
// run time). 256-bit unpacks and packs work within each 128-bit half, so
// the pair still puts every byte back where it came from.
TV_TARGET_BEGIN("avx2")

namespace avx2 {

struct Ops {
    using V = __m256i;
    static constexpr size_t kBytes = 32;
    static V Zero() { return _mm256_setzero_si256(); }
    static V Pattern(const void* p16)
    {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(p16)));
    }
    static V Load(const BYTE* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(BYTE* p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static V UnpackLo8(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
    static V MulHiU16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    static V SllI16By7(V a) { return _mm256_slli_epi16(a, 7); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V SubsU16(V a, V b) { return _mm256_subs_epu16(a, b); }
    static V AddsU16(V a, V b) { return _mm256_adds_epu16(a, b); }
    static V CmpGt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V PackUS16(V a, V b) { return _mm256_packus_epi16(a, b); }
    static V PackS16(V a, V b) { return _mm256_packs_epi16(a, b); }
    static V AddsU8(V a, V b) { return _mm256_adds_epu8(a, b); }
    static V SubsU8(V a, V b) { return _mm256_subs_epu8(a, b); }
};

#include "CColorAdjusterPass.inl"

} // namespace avx2

TV_TARGET_END

// The same pass on 64 bytes at a time, for CPUs with AVX-512BW. Its unpacks
// and packs also work within each 128-bit quarter; only the compare differs
// (it gives a mask, widened back to 0 / -1 lanes).
TV_TARGET_BEGIN("avx512f,avx512bw")

namespace avx512 {

struct Ops {
    using V = __m512i;
    static constexpr size_t kBytes = 64;
    static V Zero() { return _mm512_setzero_si512(); }
    static V Pattern(const void* p16)
    {
        // (Spelled as a load: this compiler's broadcast intrinsic trips its
        // own uninitialised-value warning.)
        BYTE four[64];
        for (int i = 0; i < 4; ++i)
            std::memcpy(four + 16 * i, p16, 16);
        return _mm512_loadu_si512(four);
    }
    static V Load(const BYTE* p) { return _mm512_loadu_si512(p); }
    static void Store(BYTE* p, V v) { _mm512_storeu_si512(p, v); }
    static V UnpackLo8(V a, V b) { return _mm512_unpacklo_epi8(a, b); }
    static V UnpackHi8(V a, V b) { return _mm512_unpackhi_epi8(a, b); }
    static V MulHiU16(V a, V b) { return _mm512_mulhi_epu16(a, b); }
    static V SllI16By7(V a) { return _mm512_slli_epi16(a, 7); }
    static V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
    static V SubsU16(V a, V b) { return _mm512_subs_epu16(a, b); }
    static V AddsU16(V a, V b) { return _mm512_adds_epu16(a, b); }
    static V CmpGt16(V a, V b) { return _mm512_movm_epi16(_mm512_cmpgt_epi16_mask(a, b)); }
    static V PackUS16(V a, V b) { return _mm512_packus_epi16(a, b); }
    static V PackS16(V a, V b) { return _mm512_packs_epi16(a, b); }
    static V AddsU8(V a, V b) { return _mm512_adds_epu8(a, b); }
    static V SubsU8(V a, V b) { return _mm512_subs_epu8(a, b); }
};

#include "CColorAdjusterPass.inl"

} // namespace avx512

TV_TARGET_END

bool CpuHasAvx512()
{
    static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return has;
}

bool CpuHasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// One vector pass over whole 8-byte groups, then the pixels after them the
// plain way (copied first when not in place).
void ApplyWith(size_t (*run)(const PassPlan&, const BYTE*, BYTE*, size_t),
               const CColorAdjuster::State& st, const BYTE* src, BYTE* dst, size_t pixelCount)
{
    const PassPlan plan = BuildPlan(st);
    const size_t done = run(plan, src, dst, 2 * pixelCount) / 2;
    if (src != dst && done < pixelCount)
        std::memcpy(dst + 2 * done, src + 2 * done, 2 * (pixelCount - done));
    for (size_t lane = done; lane < pixelCount; ++lane)
        LaneScalar(st, dst + 2 * lane, lane);
}

} // namespace

void CColorAdjuster::ApplyScalar(const State& st, BYTE* frame, size_t pixelCount)
{
    if (st.Neutral())
        return;
    for (size_t lane = 0; lane < pixelCount; ++lane)
        LaneScalar(st, frame + 2 * lane, lane);
}

bool CColorAdjuster::Avx2Supported()
{
    return CpuHasAvx2();
}

bool CColorAdjuster::Avx512Supported()
{
    return CpuHasAvx512();
}

void CColorAdjuster::ApplySse2(const State& st, BYTE* frame, size_t pixelCount)
{
    ApplySse2To(st, frame, frame, pixelCount);
}

void CColorAdjuster::ApplyAvx2(const State& st, BYTE* frame, size_t pixelCount)
{
    ApplyAvx2To(st, frame, frame, pixelCount);
}

void CColorAdjuster::ApplyAvx512(const State& st, BYTE* frame, size_t pixelCount)
{
    ApplyAvx512To(st, frame, frame, pixelCount);
}

void CColorAdjuster::ApplyBestTo(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount)
{
    if (CpuHasAvx512())
        ApplyAvx512To(st, src, dst, pixelCount);
    else if (CpuHasAvx2())
        ApplyAvx2To(st, src, dst, pixelCount);
    else
        ApplySse2To(st, src, dst, pixelCount);
}

void CColorAdjuster::ApplySse2To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount)
{
    if (st.Neutral()) {
        if (src != dst && pixelCount > 0)
            std::memcpy(dst, src, 2 * pixelCount);
        return;
    }
    ApplyWith(sse2::RunPlan, st, src, dst, pixelCount);
}

void CColorAdjuster::ApplyAvx2To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount)
{
    if (!CpuHasAvx2() || st.Neutral()) {
        ApplySse2To(st, src, dst, pixelCount);
        return;
    }
    ApplyWith(avx2::RunPlan, st, src, dst, pixelCount);
}

void CColorAdjuster::ApplyAvx512To(const State& st, const BYTE* src, BYTE* dst, size_t pixelCount)
{
    if (!CpuHasAvx512() || st.Neutral()) {
        ApplyAvx2To(st, src, dst, pixelCount);
        return;
    }
    ApplyWith(avx512::RunPlan, st, src, dst, pixelCount);
}
