// The colour pass over whole 8-byte groups, written once against a small set
// of vector operations (struct Ops, defined by the includer) so that the same
// code is compiled for SSE2 and, under a target pragma, for AVX2. Included
// from CColorAdjuster.cpp only, inside a namespace of its own.
//
// A register of Ops::kBytes input bytes is widened into two registers of
// 16-bit lanes (byte << 8, so that one mulhi gives (byte x gain) >> 7), every
// lane runs the same steps with per-lane constants (luma lanes and chroma
// lanes differ only in their constants), and one saturating pack brings the
// lanes back to bytes in their original order. The pack's clamp to 0..255
// stands in for the min(…, 255) of each step wherever the next step cannot
// tell the difference (see BuildPlan).

struct Constants {
    explicit Constants(const PassPlan& p)
        : zero(Ops::Zero()),
          gain(Ops::Pattern(p.gain)),
          offAdd(Ops::Pattern(p.offAdd)),
          offSub(Ops::Pattern(p.offSub)),
          clampBias(Ops::Pattern(p.clampBias)),
          b4(Ops::Pattern(p.b4)),
          threshold(Ops::Pattern(p.threshold)),
          a8(Ops::Pattern(p.a8)),
          compressAdd(Ops::Pattern(p.compressAdd)),
          hueAdd(Ops::Pattern(p.hueAdd)),
          hueSub(Ops::Pattern(p.hueSub))
    {
    }
    Ops::V zero, gain, offAdd, offSub, clampBias, b4, threshold, a8, compressAdd, hueAdd, hueSub;
};

template <PassMode M, PassOffset O>
inline Ops::V Lanes(const Constants& k, Ops::V x)
{
    x = Ops::MulHiU16(x, k.gain);
    if constexpr (M == PassMode::Compress) {
        // No lane both adds and subtracts, so subtracting first is the same;
        // the addition rides on the clamp's bias.
        if constexpr (O == PassOffset::Sub || O == PassOffset::Both)
            x = Ops::SubsU16(x, k.offSub);
        x = Ops::AddsU16(x, k.clampBias);
        return Ops::Add16(Ops::MulHiU16(x, k.a8), k.compressAdd);
    }
    if constexpr (O == PassOffset::Add || O == PassOffset::Both)
        x = Ops::Add16(x, k.offAdd);
    if constexpr (O == PassOffset::Sub || O == PassOffset::Both)
        x = Ops::SubsU16(x, k.offSub);
    if constexpr (M == PassMode::Stretch) {
        return Ops::MulHiU16(Ops::SllI16By7(x), k.b4);
    } else if constexpr (M == PassMode::Threshold) {
        return Ops::CmpGt16(x, k.threshold);
    } else {
        return x;
    }
}

template <PassMode M, PassOffset O, bool Hue>
inline Ops::V Block(const Constants& k, Ops::V v)
{
    const Ops::V lo = Lanes<M, O>(k, Ops::UnpackLo8(k.zero, v));
    const Ops::V hi = Lanes<M, O>(k, Ops::UnpackHi8(k.zero, v));
    // Threshold lanes are 0 or -1: the signed pack keeps -1 as 0xFF.
    Ops::V r = M == PassMode::Threshold ? Ops::PackS16(lo, hi) : Ops::PackUS16(lo, hi);
    if constexpr (Hue && M != PassMode::Compress)
        r = Ops::SubsU8(Ops::AddsU8(r, k.hueAdd), k.hueSub);
    return r;
}

// Groups of 8 bytes that do not fill a register, through a zeroed copy.
template <PassMode M, PassOffset O, bool Hue>
void Partial(const Constants& k, const BYTE* src, BYTE* dst, size_t bytes)
{
    alignas(32) BYTE tmp[Ops::kBytes] = {};
    std::memcpy(tmp, src, bytes);
    Ops::Store(tmp, Block<M, O, Hue>(k, Ops::Load(tmp)));
    std::memcpy(dst, tmp, bytes);
}

// Whole 8-byte groups of src[0, size) into dst (which may be src itself);
// returns how many bytes were done.
// Two registers per step keep both multiply units busy. (Aligning the main
// loop to the register size first was measured: no gain, unaligned loads
// and stores cost nothing extra here.)
template <PassMode M, PassOffset O, bool Hue>
size_t Run(const PassPlan& p, const BYTE* src, BYTE* dst, size_t size)
{
    const Constants k(p);
    constexpr size_t n = Ops::kBytes;
    size_t i = 0;
    for (; i + 2 * n <= size; i += 2 * n) {
        const Ops::V a = Ops::Load(src + i);
        const Ops::V b = Ops::Load(src + i + n);
        Ops::Store(dst + i, Block<M, O, Hue>(k, a));
        Ops::Store(dst + i + n, Block<M, O, Hue>(k, b));
    }
    for (; i + n <= size; i += n)
        Ops::Store(dst + i, Block<M, O, Hue>(k, Ops::Load(src + i)));
    const size_t rest = (size - i) & ~size_t(7);
    if (rest) {
        Partial<M, O, Hue>(k, src + i, dst + i, rest);
        i += rest;
    }
    return i;
}

template <PassMode M, PassOffset O>
size_t RunHue(const PassPlan& p, const BYTE* src, BYTE* dst, size_t size)
{
    return p.hue ? Run<M, O, true>(p, src, dst, size) : Run<M, O, false>(p, src, dst, size);
}

template <PassMode M>
size_t RunOffset(const PassPlan& p, const BYTE* src, BYTE* dst, size_t size)
{
    switch (p.offset) {
    case PassOffset::Add:
        return RunHue<M, PassOffset::Add>(p, src, dst, size);
    case PassOffset::Sub:
        return RunHue<M, PassOffset::Sub>(p, src, dst, size);
    case PassOffset::Both:
        return RunHue<M, PassOffset::Both>(p, src, dst, size);
    case PassOffset::None:
        break;
    }
    return RunHue<M, PassOffset::None>(p, src, dst, size);
}

size_t RunPlan(const PassPlan& p, const BYTE* src, BYTE* dst, size_t size)
{
    switch (p.mode) {
    case PassMode::Stretch:
        return RunOffset<PassMode::Stretch>(p, src, dst, size);
    case PassMode::Threshold:
        // Thresholds already include the offsets.
        return RunHue<PassMode::Threshold, PassOffset::None>(p, src, dst, size);
    case PassMode::Compress:
        // The hue is folded into compressAdd.
        switch (p.offset) {
        case PassOffset::Add:
            return Run<PassMode::Compress, PassOffset::Add, false>(p, src, dst, size);
        case PassOffset::Sub:
            return Run<PassMode::Compress, PassOffset::Sub, false>(p, src, dst, size);
        case PassOffset::Both:
            return Run<PassMode::Compress, PassOffset::Both, false>(p, src, dst, size);
        case PassOffset::None:
            break;
        }
        return Run<PassMode::Compress, PassOffset::None, false>(p, src, dst, size);
    case PassMode::None:
        break;
    }
    return RunOffset<PassMode::None>(p, src, dst, size);
}
