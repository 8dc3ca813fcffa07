// The simulator's picture source: a moving test pattern with the frame number
// drawn into it, in planar YUV 4:2:0 (BT.601 limited range).
#pragma once

#include <cstdint>
#include <vector>

namespace tvdevsim {

struct YuvPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> y; // width x height
    std::vector<uint8_t> u; // (width / 2) x (height / 2)
    std::vector<uint8_t> v;

    int ChromaWidth() const { return width / 2; }
    int ChromaHeight() const { return height / 2; }
};

// Full pattern: colour bars sliding sideways, a noise strip along the bottom, a
// box bouncing across the picture and the frame number in black on white at
// the top left. The sparse
// pattern keeps a flat mid-grey background (for the field-coded H.264 writer,
// which codes flat macroblocks in a few bits) and draws box and number only.
void DrawTestPattern(YuvPicture& picture, int width, int height, int64_t frameNumber, bool sparse);

// Where DrawTestPattern draws the frame number: its white plate, six digits
// in black, at the top left.
struct PatternRect {
    int x = 0, y = 0, width = 0, height = 0;
};
PatternRect FrameNumberPlate(int width, int height);

// The field of a frame: every second row starting at row `bottom` (0 top, 1 bottom).
YuvPicture ExtractField(const YuvPicture& frame, int bottom);

} // namespace tvdevsim
