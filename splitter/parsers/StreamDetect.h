// Stream detection: which CodecKind and ContainerKind the buffered bytes hold.
// The splitter runs it on everything buffered so far, each time data arrives,
// until the kinds are known; nothing found leaves them at 0 for the next try.
#pragma once

#include "TSParser.h"

#include <cstdint>
#include <span>

struct StreamKinds {
    int32_t codecKind = 0;
    int32_t containerKind = 0;
};

// Counts of the marks the scoring walk finds (see ScoreStream).
struct StreamScores {
    int64_t S = 0; // MPEG-2: sequence headers, GOP headers with a valid time code (2 each)
    int64_t V = 0; // MPEG-4: VOPs, group_of_VOP (B3) with a valid time code
    int64_t B = 0; // device H.264: 5 per Baseline/Main/Extended SPS
    int64_t J = 0; // JPEG 2000: SOC followed by SIZ
    int64_t H = 0; // HD H.264: 5 per High-profile SPS
};

// The time-code test: bits 13-17 at most 23, bits 7-12 below 60, bits 0-5 below
// 60 and bit 6 set.
bool PassesTimeCodeTest(uint32_t value);

// Walks every byte position, reading the big-endian word there: 0xFF4FFF51 counts
// into J; 00 00 01 B3 adds 1 to S and, when the next word >> 14 passes the time-code
// test, 1 to V; 00 00 01 B8 adds 2 to S when the next word >> 13 passes it;
// 00 00 01 B6 adds 1 to V; 00 00 01 n with n < 0x80, n > 32, n != 0x47 and
// (n & 31) == 7 adds 5 to B for profile 66, 77 or 88, 5 to H for profile 100.
StreamScores ScoreStream(std::span<const uint8_t> buffer);

// With S' = max(S, 5): unknown (0) when nothing reaches 6; otherwise the first of
// H > max(S', V, B, J) -> 6, J > max(S', V, B) -> 4, B > max(S', V) -> 3, V > S' -> 2,
// then 1 when S > 5, else 0.
// streamEnd: the scores cover the stream to its end (a whole record file), so no
// more marks will come: the same order without the floor of 5 and without the 6
// to reach (S' = S, then 1 when S > 0). It decides every stream the rule above
// decides the same way, and a record of one picture group, which holds a single
// sequence header, too.
int32_t DecideCodecKind(const StreamScores& scores, bool streamEnd = false);

// Step 1, the QBox test: at each "qbox" from offset 4 with its whole 28-byte header
// buffered, ContainerKind 3; stream type 2 or 5 gives CodecKind 6, 13 gives 7; the
// search continues at the type + box size, and stops at a size of 0 or with bit 31.
void DetectQBox(std::span<const uint8_t> buffer, StreamKinds& kinds);

// The whole detection on kinds as they stand: the QBox test; then, when either
// kind is still 0, program discovery with ts (ContainerKind 2 and its CodecKind
// when a known video stream is found); then, when CodecKind is still 0, scoring
// (with streamEnd when buffer holds the stream up to its end).
void DetectStream(std::span<const uint8_t> buffer, StreamKinds& kinds, TSParser& ts,
                  bool streamEnd = false);
