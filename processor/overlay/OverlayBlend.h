// Blending rendered overlay images into packed YUY2 frames (bytes Y0 U Y1 V
// per pixel pair): the frame layout, the colour conversion, clipping, the
// row and column mapping and the three blends (mask, text with outline,
// bitmap). Pure byte arithmetic on buffers the caller owns; no GDI here.
//
// Coordinates: x to the right from the picture's left edge, y upward from its
// bottom edge. Visible row r is frame memory row H - 1 - r in an upright
// (top-down) frame and memory row r otherwise. Images store their rows from
// the bottom row upward.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The only layout drawn on: packed YUY2.
#define OVERLAY_FORMAT_YUY2 1

// The output frame's layout as an item learns it at its first draw.
struct OverlayFrameLayout {
    LONG format = -1; // OVERLAY_FORMAT_YUY2 once learned
    LONG width = 0;
    LONG height = 0;  // always positive
    LONG stride = 0;  // bytes per memory row
    BOOL upright = 0; // 1: memory rows run top-down (positive biHeight)
};

// Where an item learns the frame layout: the processor filter answers from its
// output pin's connected media type (FORMAT_VideoInfo2 with a YUY2 or YUYV
// subtype, else false). Streaming thread.
class IOverlayLayoutSource {
public:
    virtual bool QueryOverlayLayout(OverlayFrameLayout* layout) = 0;

protected:
    ~IOverlayLayoutSource() = default;
};

// The layout of a YUY2 picture from its bitmap header fields: width = biWidth,
// height = |biHeight| with upright = (biHeight > 0), stride =
// ((biBitCount / 8) x width + 3) rounded down to a multiple of 4, or the width
// when biBitCount is 0 or not a multiple of 8. False for a size that cannot be
// drawn on (width or height 0 or less, or out of range).
bool OverlayLayoutFromHeader(LONG biWidth, LONG biHeight, WORD biBitCount,
                             OverlayFrameLayout* layout);

// Pen width of ellipses and polygons for a frame height: min(height / 150, 6)
// above 300 rows, else 2.
LONG OverlayPenWidth(LONG frameHeight);

struct OverlayYuv {
    BYTE y;
    BYTE u;
    BYTE v;
};

// R, G, B to Y, U, V in floating point, each clamped to 0..255 and truncated.
OverlayYuv OverlayRgbToYuv(BYTE r, BYTE g, BYTE b);

// A rendered image: a 1-bit mask (bit 0 drawn, 1 background, most significant
// bit first) or 24-bit B, G, R pixels; rows bottom row first.
struct OverlayImage {
    std::vector<BYTE> bits;
    LONG width = 0;
    LONG height = 0;
    LONG stride = 0;

    bool Empty() const { return bits.empty(); }
    void Clear()
    {
        bits.clear();
        width = height = stride = 0;
    }
    static LONG MaskStride(LONG width) { return ((width + 31) / 32) * 4; }
    static LONG BitmapStride(LONG width) { return ((3 * width + 3) / 4) * 4; }
};

// A bitmap pixel converted once at render time, so that blending is integer only.
struct OverlayPixel {
    BYTE y;
    BYTE u;
    BYTE v;
    BYTE opaque; // 1 unless the pixel has the transparent colour
};

// A frame to draw on, checked against its buffer: the layout must fit inside
// frameBytes and each row must hold width x 2 bytes.
struct OverlayFrame {
    BYTE* data = nullptr;
    int64_t width = 0;
    int64_t height = 0;
    int64_t stride = 0;
    bool upright = true;

    bool Init(BYTE* frame, size_t frameBytes, const OverlayFrameLayout& layout);
    BYTE* Row(int64_t visibleRow) const
    {
        return data + (upright ? height - 1 - visibleRow : visibleRow) * stride;
    }
};

// The part of an image that lands on the frame. vx0/vy0: first visible frame
// column/row; ox/oy: matching image column/row; cols/rows: how many.
struct OverlayClip {
    int64_t vx0 = 0, vy0 = 0;
    int64_t ox = 0, oy = 0;
    int64_t cols = 0, rows = 0;
};

// Clips an image whose lower-left corner is at (x0, y0); false when nothing
// of it is visible.
bool OverlayClipImage(int64_t x0, int64_t y0, int64_t imageWidth, int64_t imageHeight,
                      const OverlayFrame& frame, OverlayClip* clip);

// Ellipse and polygon masks in the item colour. polygonRows: an upright frame
// takes image rows top-down, so that each polygon point lands at its own y.
void OverlayBlendMask(const OverlayFrame& frame, const OverlayImage& mask, int64_t x0, int64_t y0,
                      bool polygonRows, OverlayYuv colour);

// Text and time masks in the text colour, with a one-pair outline in the
// outline colour around every drawn pair.
void OverlayBlendText(const OverlayFrame& frame, const OverlayImage& mask, int64_t x0, int64_t y0,
                      OverlayYuv text, OverlayYuv outline);

// What a mask blend writes when the mask lies wholly inside the frame, worked
// out once per rendered mask: each drawn pair and, for texts, each outline
// pair (a background pair next to a drawn one, up to one pair beyond the
// image), by stored image row (bottom first) and pair from the left. Pairs
// written whole in one colour (kBoth, kOutline) side by side in a row make one
// cell, so that a line is a fill rather than a cell per pair.
struct OverlayMaskPlan {
    enum : BYTE { kBoth = 1, kFirst = 2, kSecond = 3, kOutline = 4 };
    struct Cell {
        int32_t row;   // -1 .. height
        int32_t pair;  // -1 .. width / 2; image columns 2 x pair and 2 x pair + 1
        int32_t count; // pairs from pair on; 1 for kFirst and kSecond
        BYTE type;
    };
    std::vector<Cell> cells; // ordered by row
    LONG width = 0;
    LONG height = 0;
    bool outline = false;

    void Build(const OverlayImage& mask, bool withOutline);
    void Clear()
    {
        cells.clear();
        width = height = 0;
    }
    bool Matches(const OverlayImage& mask, bool withOutline) const
    {
        return width == mask.width && height == mask.height && outline == withOutline &&
               !mask.Empty();
    }
};

// OverlayBlendMask and OverlayBlendText through a plan built from the same
// mask: the same bytes, without scanning the mask on every frame. A mask cut
// by the frame's edges (or without a matching plan) goes the plain way.
void OverlayBlendMaskPlanned(const OverlayFrame& frame, const OverlayImage& mask,
                             const OverlayMaskPlan& plan, int64_t x0, int64_t y0, bool polygonRows,
                             OverlayYuv colour);
void OverlayBlendTextPlanned(const OverlayFrame& frame, const OverlayImage& mask,
                             const OverlayMaskPlan& plan, int64_t x0, int64_t y0, OverlayYuv text,
                             OverlayYuv outline);

// Bitmaps: pixels holds image width x height converted pixels, bottom row first.
void OverlayBlendBitmap(const OverlayFrame& frame, const std::vector<OverlayPixel>& pixels,
                        int64_t imageWidth, int64_t imageHeight, int64_t x0, int64_t y0);
