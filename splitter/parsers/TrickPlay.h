// Trick play over an indexed record file: which frames a playback rate keeps.
//
// A rate whose whole part d is 1 or less plays every frame. A rate of at least
// G - G/8 (G the GOP length) plays key frames only, every k-th with
// k = d / (G - G/8). Between the two, G - ceil(G / d) frames of each GOP must
// go: B frames first (one kept in B / (B - drop) while fewer than all B frames
// must go), then the last P frame of the GOP; when even that is too little,
// key frames only.
//
// Pure; the parser keeps one TrickPlayMode and one CTrickPlayCounter under its
// lock.
#pragma once

#include <cstdint>

struct TrickPlayMode {
    bool keyFramesOnly = false;
    int32_t keyInterval = 1;   // every k-th key frame
    int32_t bKeepInterval = 0; // one B frame kept in this many; 0 keeps every one
    bool dropAllB = false;
    bool dropLastP = false;

    bool operator==(const TrickPlayMode&) const = default;
};

// The mode for a rate; false (mode unchanged) while the GOP length is unknown
// (not above 0) and for rates between -0.5 and 0.1 (exclusive).
bool ComputeTrickPlayMode(double rate, int32_t gopLength, int32_t bFramesPerGop,
                          TrickPlayMode& mode);

// Counts frames as they are offered in play order and says which to take.
class CTrickPlayCounter {
public:
    // type: 1 key, 2 P, 3 B (anything else is taken like a P frame that is not
    // the last). pFramesPerGop tells which P frame is the GOP's last.
    bool Take(const TrickPlayMode& mode, int32_t type, int32_t pFramesPerGop);
    // A key frame in key-frames-only mode or in reverse play: every k-th is
    // taken (every one outside key-frames-only mode).
    bool TakeKey(const TrickPlayMode& mode);
    void Reset() { *this = CTrickPlayCounter{}; }

private:
    int32_t m_key = 0;      // key frames since the last taken one (0..k-1)
    int32_t m_bSkipped = 0; // B frames skipped since the last kept one
    int32_t m_pSeen = 0;    // P frames since the GOP's key frame
};
