// The vector pass of the 32-bit RGB reduction, on Ops::V (16 or 32 bytes),
// included once per instruction set inside its own namespace. Ops gives the
// loads and stores, the 16-bit arithmetic, the in-lane shifts and Order,
// which puts the packed bytes of a 256-bit vector back in memory order.

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
