#include "ByteSearch.h"

#include <immintrin.h>

#include <cstring>

ptrdiff_t FindPattern(std::span<const uint8_t> buffer, std::span<const uint8_t> pattern)
{
    size_t n = pattern.size();
    if (n < 1 || n > 4 || buffer.size() < n)
        return -1;
    const uint8_t* base = buffer.data();
    const uint8_t* p = base;
    // The last offset where the whole pattern still fits.
    const uint8_t* last = base + (buffer.size() - n);
    while (p <= last) {
        const void* hit = std::memchr(p, pattern[0], static_cast<size_t>(last - p) + 1);
        if (!hit)
            return -1;
        p = static_cast<const uint8_t*>(hit);
        if (std::memcmp(p + 1, pattern.data() + 1, n - 1) == 0)
            return p - base;
        ++p;
    }
    return -1;
}

namespace {

// The bytes at each position, one and two further on, compared with 00, 00
// and 01 at once: 64 positions per step (AVX2) or 32 (SSE2). Compressed
// pictures hold a 01 byte every few hundred bytes, so looking for the 01 with
// memchr and checking behind it costs a library call that often; these run at
// the speed of the loads. Both return the first start code at or after i, or
// -1; the byte-by-byte tail is shared.
ptrdiff_t StartCodeTail(const uint8_t* base, size_t n, size_t i)
{
    for (; i + 2 < n; ++i)
        if (base[i] == 0 && base[i + 1] == 0 && base[i + 2] == 1)
            return static_cast<ptrdiff_t>(i);
    return -1;
}

ptrdiff_t StartCodeSse2(const uint8_t* base, size_t n)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    auto hits = [&](size_t at) {
        auto load = [&](size_t k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at + k));
        };
        const __m128i m = _mm_and_si128(
            _mm_and_si128(_mm_cmpeq_epi8(load(0), zero), _mm_cmpeq_epi8(load(1), zero)),
            _mm_cmpeq_epi8(load(2), one));
        return static_cast<uint32_t>(_mm_movemask_epi8(m));
    };
    size_t i = 0;
    for (; i + 32 + 2 <= n; i += 32) {
        const uint32_t m = hits(i) | (hits(i + 16) << 16);
        if (m)
            return static_cast<ptrdiff_t>(i + static_cast<size_t>(__builtin_ctz(m)));
    }
    return StartCodeTail(base, n, i);
}

__attribute__((target("avx2"))) ptrdiff_t StartCodeAvx2(const uint8_t* base, size_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi8(1);
    auto hits = [&](size_t at) __attribute__((target("avx2")))
    {
        auto load = [&](size_t k) __attribute__((target("avx2")))
        {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at + k));
        };
        const __m256i m = _mm256_and_si256(
            _mm256_and_si256(_mm256_cmpeq_epi8(load(0), zero), _mm256_cmpeq_epi8(load(1), zero)),
            _mm256_cmpeq_epi8(load(2), one));
        return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m)));
    };
    size_t i = 0;
    for (; i + 64 + 2 <= n; i += 64) {
        const uint64_t m = hits(i) | (hits(i + 32) << 32);
        if (m)
            return static_cast<ptrdiff_t>(i + static_cast<size_t>(__builtin_ctzll(m)));
    }
    return StartCodeTail(base, n, i);
}

} // namespace

ptrdiff_t FindStartCodeOn(StartCodeIsa isa, std::span<const uint8_t> buffer)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (buffer.size() < 3)
        return -1;
    switch (isa) {
    case StartCodeIsa::Avx2:
        if (avx2)
            return StartCodeAvx2(buffer.data(), buffer.size());
        [[fallthrough]];
    case StartCodeIsa::Sse2:
        return StartCodeSse2(buffer.data(), buffer.size());
    case StartCodeIsa::Plain:
        break;
    }
    return StartCodeTail(buffer.data(), buffer.size(), 0);
}

ptrdiff_t FindStartCode(std::span<const uint8_t> buffer)
{
    // Short spans (many calls look a few bytes ahead) skip the vector set-up.
    return FindStartCodeOn(buffer.size() < 64 ? StartCodeIsa::Plain : StartCodeIsa::Avx2, buffer);
}

namespace {

bool SyncAt(std::span<const uint8_t> buffer, size_t at, size_t size)
{
    if (at > buffer.size() || buffer.size() - at <= 3 * size)
        return false;
    const uint8_t* p = buffer.data() + at;
    return p[0] == 0x47 && p[size] == 0x47 && p[2 * size] == 0x47 && p[3 * size] == 0x47;
}

} // namespace

ptrdiff_t FindTsSync(std::span<const uint8_t> buffer, size_t packetSize)
{
    if (packetSize == 0)
        return -1;
    size_t limit = 3 * packetSize + 5;
    for (size_t i = 0; i < limit; ++i) {
        if (packetSize == 192) {
            for (size_t k = 4; k >= 1; --k) {
                if (SyncAt(buffer, i + k, packetSize))
                    return static_cast<ptrdiff_t>(i + k);
            }
        }
        if (SyncAt(buffer, i, packetSize))
            return static_cast<ptrdiff_t>(i);
        // Nothing further can match once four packets no longer fit.
        if (i >= buffer.size())
            break;
    }
    return -1;
}
