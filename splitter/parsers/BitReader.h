// MSB-first bit reader over a byte span with exp-Golomb codes. Every read fails
// (returns false) instead of going past the end; a failed reader stays failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    bool Skip(size_t bits)
    {
        if (m_failed || bits > BitsLeft())
            return Fail();
        m_bit += bits;
        return true;
    }

    // Up to 32 bits.
    bool Read(unsigned count, uint32_t& value)
    {
        if (m_failed || count > 32 || count > BitsLeft())
            return Fail();
        uint32_t v = 0;
        for (unsigned i = 0; i < count; ++i) {
            size_t at = m_bit + i;
            v = (v << 1) | ((m_bytes[at >> 3] >> (7 - (at & 7))) & 1u);
        }
        m_bit += count;
        value = v;
        return true;
    }

    bool ReadFlag(bool& flag)
    {
        uint32_t v = 0;
        if (!Read(1, v))
            return false;
        flag = v != 0;
        return true;
    }

    // Unsigned exp-Golomb; codes longer than 32 bits of value fail.
    bool ReadUe(uint32_t& value)
    {
        unsigned zeros = 0;
        for (;;) {
            uint32_t bit = 0;
            if (!Read(1, bit))
                return false;
            if (bit)
                break;
            if (++zeros > 31)
                return Fail();
        }
        uint32_t rest = 0;
        if (!Read(zeros, rest))
            return false;
        value = static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + rest);
        return true;
    }

    // Signed exp-Golomb.
    bool ReadSe(int32_t& value)
    {
        uint32_t code = 0;
        if (!ReadUe(code))
            return false;
        int64_t magnitude = (int64_t{code} + 1) / 2;
        value = static_cast<int32_t>((code & 1) ? magnitude : -magnitude);
        return true;
    }

    size_t BitsLeft() const { return m_bytes.size() * 8 - m_bit; }
    bool Failed() const { return m_failed; }

private:
    bool Fail()
    {
        m_failed = true;
        return false;
    }

    std::span<const uint8_t> m_bytes;
    size_t m_bit = 0;
    bool m_failed = false;
};
