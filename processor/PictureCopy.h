// The frame processor's picture geometry and the one copy every picture
// takes from the input buffer to the output buffer: whole, cropped, or the
// tile layout of cut mode 6.
//
// The geometry is set by the application (IProcesserCut) and by the agreed
// input type; the copy plan is worked out from it once per change, so the
// streaming thread only follows the plan. Pure code on caller-owned buffers.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <cstdint>

// Where the output comes from: the input size, the output size and the
// output's offset in the input, and the cut mode.
struct ProcesserCut {
    LONG inWidth = 0;
    LONG inHeight = 0;
    LONG outWidth = 0;
    LONG outHeight = 0;
    LONG x = 0;
    LONG y = 0;
    LONG mode = 0;
};

// IProcesserCut::SetCutRect: x clamped to 0 .. input width and made even, y
// clamped to 0 .. input height, a width or height reaching past the input cut
// at its edge. E_INVALIDARG (nothing changed) for a negative width or height.
HRESULT CutSetRect(ProcesserCut& cut, LONG x, LONG y, LONG width, LONG height);

// IProcesserCut::SetCutMode: mode 6 and above takes the size as it is with
// offsets 0; below 6 the size is cut to the input and modes 1, 2 and 3 place
// it at the right edge, the left edge or the middle (x kept even, so that
// pixel pairs stay whole); y stays. E_INVALIDARG (nothing changed) for a
// negative width or height.
HRESULT CutSetMode(ProcesserCut& cut, LONG width, LONG height, LONG mode);

// A new input size (the input type was agreed): an output that is set and
// still fits (or belongs to cut mode 6) stays, otherwise the output is the
// whole input.
void CutFitInput(ProcesserCut& cut, LONG inWidth, LONG inHeight);

// Row stride of a YUY2 picture: width x 2 rounded up to 4 bytes.
inline int64_t Yuy2Stride(int64_t width)
{
    return ((width * 2 + 3) / 4) * 4;
}

// Bytes of a YUY2 picture of that size (0 for a size of 0 or less).
int64_t Yuy2PictureBytes(int64_t width, int64_t height);

// How pictures are copied with a given geometry.
struct PicturePlan {
    enum class Kind {
        kInvalid, // every copy fails (no size yet, or a tile layout of the wrong size)
        kWhole,   // the input's bytes as they are
        kCrop,    // rows of the output's width from (x, y)
        kTiles    // cut mode 6: 1920 x 1080 in, 1600 x 1200 out
    };
    Kind kind = Kind::kInvalid;
    LONG outWidth = 0;
    LONG outHeight = 0;
    int64_t inStride = 0;
    int64_t outStride = 0;
    int64_t inOffset = 0; // kCrop: first byte of the first row
    int64_t inBytes = 0;  // what a full input picture holds
    int64_t outBytes = 0; // what the output picture holds

    static PicturePlan For(const ProcesserCut& cut);
};

// Copies one picture of inLength bytes into out (outSize bytes); the bytes of
// the output picture in *outLength. False, with nothing written past either
// buffer, when the plan is invalid, the input holds less than the plan reads
// (a crop or tiles) or the output buffer is smaller than the picture.
bool CopyPicture(const PicturePlan& plan, const BYTE* in, size_t inLength, BYTE* out,
                 size_t outSize, size_t* outLength);
