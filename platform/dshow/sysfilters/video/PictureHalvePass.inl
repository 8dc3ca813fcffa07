// The vector passes of the 2:1 reductions, on Ops::V (16 or 32 bytes),
// included once per instruction set inside its own namespace. Ops gives the
// loads and stores, the 16-bit arithmetic, the in-lane shuffles and Order,
// which puts the packed bytes of a 256-bit vector back in memory order.
//
// Two rows are summed as 16-bit words, Y U Y V Y U Y V: each pair of 32-bit
// lanes (Y0 U0)(Y1 V0)(Y2 U1)(Y3 V1) becomes (Y0+Y1, U0+U1)(Y2+Y3, V0+V1).
// Sums of four bytes plus the rounding 2 stay below 1024: no overflow.

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
        Ops::V p0 = Ops::Order(
            Ops::PackUS16(Reduce(a, b, lowWords, two), Reduce(a + k, b + k, lowWords, two)));
        Ops::V p1 = Ops::Order(Ops::PackUS16(Reduce(a + 2 * k, b + 2 * k, lowWords, two),
                                             Reduce(a + 3 * k, b + 3 * k, lowWords, two)));
        // ... split into luma (even bytes) and chroma (odd bytes: U V U V) ...
        Ops::V luma = Ops::PackUS16(Ops::And(p0, lowBytes), Ops::And(p1, lowBytes));
        Ops::V chroma = Ops::PackUS16(Ops::Srl16By8(p0), Ops::Srl16By8(p1));
        Ops::Store(y + done, Ops::Order(luma));
        chroma = Ops::Order(chroma);
        // ... and the chroma into U (even) and V (odd), half a vector each.
        Ops::V us = Ops::And(chroma, lowBytes), vs = Ops::Srl16By8(chroma);
        Ops::StoreHalf(u + done / 2, Ops::Order(Ops::PackUS16(us, us)));
        Ops::StoreHalf(v + done / 2, Ops::Order(Ops::PackUS16(vs, vs)));
    }
    return done;
}

// 32-bit pixels: the rows summed as 16-bit words, each 128-bit half holds two
// pixels, which the half shifted by 8 bytes adds up.
inline Ops::V ReducePixels(const uint8_t* a, const uint8_t* b, Ops::V two)
{
    const Ops::V zero = Ops::Zero();
    Ops::V ra = Ops::Load(a), rb = Ops::Load(b);
    Ops::V lo = Ops::Add16(Ops::UnpackLo8(ra, zero), Ops::UnpackLo8(rb, zero));
    Ops::V hi = Ops::Add16(Ops::UnpackHi8(ra, zero), Ops::UnpackHi8(rb, zero));
    lo = Ops::Add16(lo, Ops::SrlBytes8(lo));
    hi = Ops::Add16(hi, Ops::SrlBytes8(hi));
    return Ops::Srl16By2(Ops::Add16(Ops::UnpackLo64(lo, hi), two));
}

// Output pixels done by whole vectors (a multiple of Ops::kBytes / 4): 2 *
// Ops::kBytes input bytes of each row give Ops::kBytes output bytes.
size_t HalveRowRgb32(const uint8_t* r0, const uint8_t* r1, uint8_t* out, size_t outPixels)
{
    const Ops::V two = Ops::Set16(2), opaque = Ops::Set32(int(0xFF000000u));
    const size_t k = Ops::kBytes, step = k / 4;
    size_t done = 0;
    for (; done + step <= outPixels; done += step) {
        const uint8_t* a = r0 + 8 * done;
        const uint8_t* b = r1 + 8 * done;
        Ops::V pixels = Ops::PackUS16(ReducePixels(a, b, two), ReducePixels(a + k, b + k, two));
        Ops::Store(out + 4 * done, Ops::Or(Ops::Order(pixels), opaque));
    }
    return done;
}
