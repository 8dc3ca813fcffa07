#include "ByteSearch.h"

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

ptrdiff_t FindStartCode(std::span<const uint8_t> buffer)
{
    if (buffer.size() < 3)
        return -1;
    const uint8_t* base = buffer.data();
    const uint8_t* end = base + buffer.size();
    // Look for the 0x01 and check the two zeros in front of it.
    const uint8_t* p = base + 2;
    while (p < end) {
        const void* hit = std::memchr(p, 0x01, static_cast<size_t>(end - p));
        if (!hit)
            return -1;
        p = static_cast<const uint8_t*>(hit);
        if (p[-1] == 0 && p[-2] == 0)
            return (p - 2) - base;
        ++p;
    }
    return -1;
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
