// Searches over buffered stream bytes. Every routine looks only inside the span it
// is given and returns an offset into it, or -1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// First offset of a pattern of 1 to 4 bytes; -1 when absent or the pattern length
// is outside 1..4.
ptrdiff_t FindPattern(std::span<const uint8_t> buffer, std::span<const uint8_t> pattern);

// First offset of the start code 00 00 01.
ptrdiff_t FindStartCode(std::span<const uint8_t> buffer);

// The same search on a chosen instruction set; FindStartCode takes the widest
// the CPU has (Avx2 falls back to Sse2 without it). All must agree.
enum class StartCodeIsa { Plain, Sse2, Avx2 };
ptrdiff_t FindStartCodeOn(StartCodeIsa isa, std::span<const uint8_t> buffer);

// Transport-stream sync: the first offset i below 3 x packetSize + 5 with 0x47 at
// i, i + size, i + 2 x size and i + 3 x size. For 192-byte packets the offsets
// i + 4 down to i + 1 are tried before i itself, and the first match is taken.
ptrdiff_t FindTsSync(std::span<const uint8_t> buffer, size_t packetSize);
