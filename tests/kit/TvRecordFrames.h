// Numbered frames for the recording tests: a device's stream whose every byte
// is known from its position, so that a recording can be parsed back against
// what was sent. A frame is kTvRecordFrameHeader bytes ("TVRB", its number, its size,
// all little-endian 32-bit) and a payload derived from the number.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

// Header-only: the network source tests use it without the rest of the kit.

inline constexpr size_t kTvRecordFrameHeader = 12;

// Frame `number` of `size` bytes (at least kTvRecordFrameHeader) into out.
inline void TvMakeRecordFrame(uint32_t number, size_t size, uint8_t* out)
{
    std::memcpy(out, "TVRB", 4);
    const uint32_t length = static_cast<uint32_t>(size);
    std::memcpy(out + 4, &number, 4);
    std::memcpy(out + 8, &length, 4);
    // Eight bytes at a time: gigabytes of frames are made in seconds.
    uint64_t word = 0x9E3779B97F4A7C15ull * (number + 1);
    for (size_t i = kTvRecordFrameHeader; i < size; i += 8) {
        word = word * 6364136223846793005ull + 1442695040888963407ull;
        std::memcpy(out + i, &word, std::min<size_t>(8, size - i));
    }
}

inline std::string TvRecordFrame(uint32_t number, size_t size)
{
    std::string bytes(size, '\0');
    TvMakeRecordFrame(number, size, reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
}

// What a recording of frames 0, 1, 2, ... of `size` bytes each holds: the
// number of whole frames at its start, and whether everything after them is
// the beginning of the next frame (a recording cut short) rather than bytes
// that were never sent.
struct TvParsedRecord {
    size_t wholeFrames = 0;
    bool clean = false;
};

inline TvParsedRecord TvParseRecord(const std::string& bytes, size_t size)
{
    TvParsedRecord parsed;
    std::string expected(size, '\0');
    size_t at = 0;
    for (uint32_t n = 0; at < bytes.size(); ++n) {
        TvMakeRecordFrame(n, size, reinterpret_cast<uint8_t*>(expected.data()));
        const size_t have = std::min(size, bytes.size() - at);
        if (bytes.compare(at, have, expected, 0, have) != 0)
            return parsed;
        if (have < size)
            break;
        ++parsed.wholeFrames;
        at += size;
    }
    parsed.clean = true;
    return parsed;
}
