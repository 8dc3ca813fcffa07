// The simulator's picture source: a moving test pattern with the frame number
// drawn into it, in planar YUV 4:2:0 (BT.601 limited range).
#pragma once

#include <cstdint>
#include <functional>
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

// Reads back the frame number (modulo 1000000) from a picture of the pattern
// drawn at width x height, shown at any size and through any lossy chain that
// keeps black from white: luma(x, y) gives the brightness (0..255) of the picture at
// pixel (x, y) of the drawing's coordinates. Each digit's seven segments are
// sampled at their middles; -1 when a digit is not one the pattern draws (a
// picture too small for the digits, a pattern not there).
int64_t ReadFrameNumber(int width, int height, const std::function<int(int x, int y)>& luma);

// The field of a frame: every second row starting at row `bottom` (0 top, 1 bottom).
YuvPicture ExtractField(const YuvPicture& frame, int bottom);

} // namespace tvdevsim
