// Colour conversion and scaling of pictures into a presentation surface, with
// libswscale. A window of exactly half the picture takes the exact 2 x 2 box of
// PictureHalve.h instead of the scaler: YUY2 is reduced into planar 4:2:2 and
// then only converted, 32-bit RGB is reduced straight into the surface. The
// conversion context is kept and rebuilt only when the sizes or layouts
// change, so a steady stream pays for the set-up once.
//
// Not thread-safe: each presenter owns one converter and calls it under its lock.
#pragma once

#include <cstdint>
#include <vector>

#include "video/FrameFormat.h"

struct SwsContext;

// The pixel kinds a surface comes in: 32-bit B G R X (what a 24- or 32-bit
// TrueColor X11 visual and the offscreen surface use) or 16-bit 5:6:5.
enum class SurfaceKind { BGRX32, RGB565 };

// Bytes a surface's memory must have after its last row: libswscale's output
// stages may write a few pixels past the end of a row (SIMD strides), which
// for full-width rows lands in the next row or, after the last, here.
constexpr size_t kSurfacePadding = 256;

// A picture in memory, top row first. Does not own the pixels.
struct SurfaceView {
    uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row
    SurfaceKind kind = SurfaceKind::BGRX32;

    int BytesPerPixel() const { return kind == SurfaceKind::BGRX32 ? 4 : 2; }
    bool IsEmpty() const { return !data || width <= 0 || height <= 0; }
};

class CFrameConverter {
public:
    CFrameConverter() = default;
    ~CFrameConverter();
    CFrameConverter(const CFrameConverter&) = delete;
    CFrameConverter& operator=(const CFrameConverter&) = delete;

    // Converts the rectangle src of a picture (frame pixels; clipped to the
    // picture, and moved to even positions where the chroma layout needs it) into
    // the rectangle dst of the surface (clipped to the surface), scaling as needed.
    // frame holds format.FrameBytes() bytes. False when nothing is left to draw,
    // the format is invalid, or libswscale refuses the conversion.
    bool Convert(const FrameFormat& format, const uint8_t* frame, RECT src,
                 const SurfaceView& surface, RECT dst);

    // Scales the rectangle src of one surface into dst of another of the same
    // kind (keeps the picture when the window changes shape and no new frame
    // comes). The two surfaces must not overlap.
    bool Rescale(const SurfaceView& from, RECT src, const SurfaceView& to, RECT dst);

private:
    bool Run(int srcFormat, const uint8_t* const planes[3], const int strides[3], int srcW,
             int srcH, const SurfaceView& surface, const RECT& dst);

    SwsContext* m_context = nullptr;
    // Rectangles narrower than the surface are converted here first, so that
    // what libswscale writes past a row's end does not land in the picture.
    std::vector<uint8_t> m_scratch;
    // A YUY2 picture reduced to exactly half its size, planar 4:2:2 (PictureHalve.h).
    std::vector<uint8_t> m_half;
};

// Fills a rectangle of the surface (clipped) with a colour given as 0x00BBGGRR.
void FillSurfaceRect(const SurfaceView& surface, RECT rect, DWORD colour);

// Clips r to {0, 0, width, height}; the result may be empty.
RECT ClipRect(RECT r, int width, int height);
inline bool RectIsEmpty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}
