#include "video/FrameConverter.h"

#include "video/PictureHalve.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

AVPixelFormat SurfaceFormat(SurfaceKind kind)
{
    // BGRA rather than BGR0: the converters write 255 into the fourth byte, which a
    // 32-bit visual reads as opaque.
    return kind == SurfaceKind::BGRX32 ? AV_PIX_FMT_BGRA : AV_PIX_FMT_RGB565LE;
}

AVPixelFormat FrameFormatOf(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::YUY2:
        return AV_PIX_FMT_YUYV422;
    case PixelLayout::UYVY:
        return AV_PIX_FMT_UYVY422;
    case PixelLayout::RGB32:
        return AV_PIX_FMT_BGR0;
    case PixelLayout::RGB24:
        return AV_PIX_FMT_BGR24;
    case PixelLayout::RGB565:
        return AV_PIX_FMT_RGB565LE;
    case PixelLayout::I420:
    case PixelLayout::YV12:
        return AV_PIX_FMT_YUV420P;
    case PixelLayout::None:
        break;
    }
    return AV_PIX_FMT_NONE;
}

int PackedBytesPerPixel(PixelLayout layout)
{
    switch (layout) {
    case PixelLayout::RGB32:
        return 4;
    case PixelLayout::RGB24:
        return 3;
    case PixelLayout::RGB565:
    case PixelLayout::YUY2:
    case PixelLayout::UYVY:
        return 2;
    default:
        return 0;
    }
}

} // namespace

RECT ClipRect(RECT r, int width, int height)
{
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, width);
    r.bottom = std::min<LONG>(r.bottom, height);
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

CFrameConverter::~CFrameConverter()
{
    sws_freeContext(m_context);
}

bool CFrameConverter::Run(int srcFormat, const uint8_t* const planes[3], const int strides[3],
                          int srcW, int srcH, const SurfaceView& surface, const RECT& dst)
{
    int dstW = dst.right - dst.left, dstH = dst.bottom - dst.top;
    AVPixelFormat dstFormat = SurfaceFormat(surface.kind);
    uint8_t* out = surface.data + size_t(dst.top) * size_t(surface.stride) +
                   size_t(dst.left) * size_t(surface.BytesPerPixel());
    bool unscaled = srcW == dstW && srcH == dstH;
    if (unscaled && srcFormat == dstFormat) {
        // libswscale's plain copy moves whole strides, reaching outside both
        // rectangles: copy the rows ourselves.
        size_t rowBytes = size_t(srcW) * size_t(surface.BytesPerPixel());
        for (int y = 0; y < srcH; ++y)
            std::memcpy(out + size_t(y) * size_t(surface.stride),
                        planes[0] + ptrdiff_t(y) * strides[0], rowBytes);
        return true;
    }
    // Same size: a plain conversion. Scaling: bilinear, the usual balance of
    // speed and quality for video in a window.
    int flags = (srcW == dstW && srcH == dstH) ? SWS_POINT : SWS_BILINEAR;
    m_context = sws_getCachedContext(m_context, srcW, srcH, AVPixelFormat(srcFormat), dstW, dstH,
                                     dstFormat, flags, nullptr, nullptr, nullptr);
    if (!m_context)
        return false;
    // Full rows go straight into the surface (its padding takes what is written
    // past the last one); a narrower rectangle goes through the scratch rows.
    bool fullRows = dst.left == 0 && dst.right == surface.width;
    size_t rowBytes = size_t(dstW) * size_t(surface.BytesPerPixel());
    int target = surface.stride;
    uint8_t* into = out;
    if (!fullRows) {
        target = int((rowBytes + 63) & ~size_t(63));
        m_scratch.resize(size_t(target) * size_t(dstH) + kSurfacePadding);
        into = m_scratch.data();
    }
    uint8_t* dstPlanes[4] = {into, nullptr, nullptr, nullptr};
    int dstStrides[4] = {target, 0, 0, 0};
    const uint8_t* srcPlanes[4] = {planes[0], planes[1], planes[2], nullptr};
    int srcStrides[4] = {strides[0], strides[1], strides[2], 0};
    bool ok = true;
    if (unscaled && !planes[1] && strides[0] == target) {
        // With equal strides the packed converters treat the rows as one block
        // and convert the bytes between them too: one row at a time instead.
        for (int y = 0; y < srcH && ok; ++y) {
            const uint8_t* rowIn[4] = {planes[0] + ptrdiff_t(y) * strides[0], nullptr, nullptr,
                                       nullptr};
            uint8_t* rowOut[4] = {into + size_t(y) * size_t(target), nullptr, nullptr, nullptr};
            ok = sws_scale(m_context, rowIn, srcStrides, 0, 1, rowOut, dstStrides) > 0;
        }
    } else {
        ok = sws_scale(m_context, srcPlanes, srcStrides, 0, srcH, dstPlanes, dstStrides) > 0;
    }
    if (ok && !fullRows) {
        for (int y = 0; y < dstH; ++y)
            std::memcpy(out + size_t(y) * size_t(surface.stride), into + size_t(y) * size_t(target),
                        rowBytes);
    }
    return ok;
}

bool CFrameConverter::Convert(const FrameFormat& format, const uint8_t* frame, RECT src,
                              const SurfaceView& surface, RECT dst)
{
    if (!frame || !format.IsValid() || surface.IsEmpty())
        return false;
    AVPixelFormat srcFormat = FrameFormatOf(format.layout);
    if (srcFormat == AV_PIX_FMT_NONE)
        return false;
    bool planar = format.layout == PixelLayout::I420 || format.layout == PixelLayout::YV12;
    bool pairs = format.layout == PixelLayout::YUY2 || format.layout == PixelLayout::UYVY;

    src = ClipRect(src, format.width, format.height);
    // Chroma is shared by pixel pairs (and row pairs in 4:2:0): start on a pair.
    if (pairs || planar)
        src.left &= ~1;
    if (planar)
        src.top &= ~1;
    dst = ClipRect(dst, surface.width, surface.height);
    if (RectIsEmpty(src) || RectIsEmpty(dst))
        return false;
    int srcW = src.right - src.left, srcH = src.bottom - src.top;

    const uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
    if (planar) {
        int cstride = FrameChromaStride(format.stride);
        const uint8_t* y = frame;
        const uint8_t* first = y + size_t(format.stride) * size_t(format.height);
        const uint8_t* second = first + size_t(cstride) * size_t((format.height + 1) / 2);
        const uint8_t* u = format.layout == PixelLayout::I420 ? first : second;
        const uint8_t* v = format.layout == PixelLayout::I420 ? second : first;
        planes[0] = y + size_t(src.top) * size_t(format.stride) + size_t(src.left);
        size_t coff = size_t(src.top / 2) * size_t(cstride) + size_t(src.left / 2);
        planes[1] = u + coff;
        planes[2] = v + coff;
        strides[0] = format.stride;
        strides[1] = strides[2] = cstride;
    } else {
        size_t column = size_t(src.left) * size_t(PackedBytesPerPixel(format.layout));
        if (format.bottomUp) {
            // Row r of the picture is stored at height-1-r: walk the rows backwards.
            planes[0] =
                frame + size_t(format.height - 1 - src.top) * size_t(format.stride) + column;
            strides[0] = -format.stride;
        } else {
            planes[0] = frame + size_t(src.top) * size_t(format.stride) + column;
            strides[0] = format.stride;
        }
    }
    int dstW = dst.right - dst.left, dstH = dst.bottom - dst.top;
    if (format.layout == PixelLayout::YUY2 && CanHalveYuy2(srcW, srcH, dstW, dstH)) {
        // A window of exactly half the picture: the exact box reduction, then a
        // conversion without scaling.
        const size_t lumaBytes = size_t(dstW) * size_t(dstH);
        m_half.resize(lumaBytes * 2);
        Planar422 half{m_half.data(), m_half.data() + lumaBytes, m_half.data() + lumaBytes * 3 / 2,
                       dstW, dstW / 2};
        HalveYuy2(planes[0], strides[0], srcW, srcH, half);
        const uint8_t* halfPlanes[3] = {half.y, half.u, half.v};
        int halfStrides[3] = {dstW, dstW / 2, dstW / 2};
        return Run(AV_PIX_FMT_YUV422P, halfPlanes, halfStrides, dstW, dstH, surface, dst);
    }
    if (format.layout == PixelLayout::RGB32 && surface.kind == SurfaceKind::BGRX32 &&
        CanHalveRgb32(srcW, srcH, dstW, dstH)) {
        // The same for 32-bit RGB, straight into the surface.
        HalveRgb32(planes[0], strides[0], srcW, srcH,
                   surface.data + size_t(dst.top) * size_t(surface.stride) + size_t(dst.left) * 4,
                   surface.stride);
        return true;
    }
    return Run(srcFormat, planes, strides, srcW, srcH, surface, dst);
}

bool CFrameConverter::Rescale(const SurfaceView& from, RECT src, const SurfaceView& to, RECT dst)
{
    if (from.IsEmpty() || to.IsEmpty() || from.kind != to.kind)
        return false;
    src = ClipRect(src, from.width, from.height);
    dst = ClipRect(dst, to.width, to.height);
    if (RectIsEmpty(src) || RectIsEmpty(dst))
        return false;
    const uint8_t* planes[3] = {from.data + size_t(src.top) * size_t(from.stride) +
                                    size_t(src.left) * size_t(from.BytesPerPixel()),
                                nullptr, nullptr};
    int strides[3] = {from.stride, 0, 0};
    return Run(SurfaceFormat(from.kind), planes, strides, src.right - src.left,
               src.bottom - src.top, to, dst);
}

void FillSurfaceRect(const SurfaceView& surface, RECT rect, DWORD colour)
{
    if (surface.IsEmpty())
        return;
    rect = ClipRect(rect, surface.width, surface.height);
    if (RectIsEmpty(rect))
        return;
    uint8_t r = uint8_t(colour & 0xff), g = uint8_t((colour >> 8) & 0xff),
            b = uint8_t((colour >> 16) & 0xff);
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        uint8_t* row = surface.data + size_t(y) * size_t(surface.stride);
        if (surface.kind == SurfaceKind::BGRX32) {
            uint32_t pixel = uint32_t(b) | (uint32_t(g) << 8) | (uint32_t(r) << 16) | 0xff000000u;
            auto* p = row + size_t(rect.left) * 4;
            for (LONG x = rect.left; x < rect.right; ++x, p += 4)
                std::memcpy(p, &pixel, 4);
        } else {
            uint16_t pixel = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
            auto* p = row + size_t(rect.left) * 2;
            for (LONG x = rect.left; x < rect.right; ++x, p += 2)
                std::memcpy(p, &pixel, 2);
        }
    }
}
