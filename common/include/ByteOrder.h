// Fixed-width reads and writes in both byte orders. The device headers are
// little-endian; QBox and JPEG 2000 fields are big-endian. Callers check the
// length first: these helpers touch exactly the bytes they name.
#pragma once

#include <cstdint>

inline uint16_t ReadBE16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t ReadBE32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline uint64_t ReadBE64(const uint8_t* p)
{
    return (uint64_t{ReadBE32(p)} << 32) | ReadBE32(p + 4);
}

inline uint16_t ReadLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadLE32(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint64_t ReadLE64(const uint8_t* p)
{
    return uint64_t{ReadLE32(p)} | (uint64_t{ReadLE32(p + 4)} << 32);
}

inline void WriteBE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void WriteBE32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline void WriteBE64(uint8_t* p, uint64_t v)
{
    WriteBE32(p, static_cast<uint32_t>(v >> 32));
    WriteBE32(p + 4, static_cast<uint32_t>(v));
}

inline void WriteLE16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteLE32(uint8_t* p, uint32_t v)
{
    WriteLE16(p, static_cast<uint16_t>(v));
    WriteLE16(p + 2, static_cast<uint16_t>(v >> 16));
}

inline void WriteLE64(uint8_t* p, uint64_t v)
{
    WriteLE32(p, static_cast<uint32_t>(v));
    WriteLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
