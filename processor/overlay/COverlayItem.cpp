#include "COverlayItem.h"

#include <algorithm>
#include <climits>

COverlayItem::COverlayItem(Kind kind, BYTE r, BYTE g, BYTE b) : m_kind(kind), m_r(r), m_g(g), m_b(b)
{
}

LONG COverlayItem::Saturate(int64_t v)
{
    return LONG(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool COverlayItem::Draw(BYTE* frame, size_t frameBytes, IOverlayLayoutSource& source)
{
    if (m_layout.format != OVERLAY_FORMAT_YUY2) {
        OverlayFrameLayout layout;
        if (!source.QueryOverlayLayout(&layout) || layout.format != OVERLAY_FORMAT_YUY2 ||
            layout.height <= 0)
            return false;
        m_layout = layout;
        m_penWidth = OverlayPenWidth(layout.height);
    }
    OverlayFrame f;
    if (!f.Init(frame, frameBytes, m_layout))
        return false;
    if (NeedsRender() && !Render())
        return false;
    Blend(f);
    return true;
}

bool COverlayItem::RenderMask(int64_t width, int64_t height, bool flipRows,
                              const std::function<bool(HDC, LONG, LONG)>& shape)
{
    if (width <= 0 || height <= 0 || width > TV_GDI_MAX_BITMAP_DIM ||
        height > TV_GDI_MAX_BITMAP_DIM)
        return false;
    // Columns [c0, c1) and rows [k0, k1) (counted from the bottom, as the DIB
    // stores them) of the whole image. The blends look one row and one pixel
    // pair beyond each visible pixel; c0 stays even so that pairs stay pairs.
    int64_t c0 = 0, c1 = width, k0 = 0, k1 = height;
    if (!m_wholeMask && m_layout.format == OVERLAY_FORMAT_YUY2 && m_layout.width > 0 &&
        m_layout.height > 0) {
        const int64_t fw = m_layout.width, fh = m_layout.height, x = m_x0, y = m_y0;
        c0 = std::max<int64_t>(0, -x - 2) & ~int64_t(1);
        c1 = std::min<int64_t>(width, fw - x + 2);
        if (flipRows && m_layout.upright) { // as MaskY places it
            k0 = std::max<int64_t>(0, y + height - fh - 1);
            k1 = std::min<int64_t>(height, y + height + 1);
        } else {
            k0 = std::max<int64_t>(0, -y - 1);
            k1 = std::min<int64_t>(height, fh - y + 1);
        }
        if (c0 >= c1 || k0 >= k1) {
            // Wholly outside: a corner of it stands for the rest, and lands
            // outside too.
            c0 = 0;
            c1 = std::min<int64_t>(width, 2);
            k0 = 0;
            k1 = 1;
        }
    }
    const LONG w = LONG(c1 - c0), h = LONG(k1 - k0);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return false;
    HBITMAP bitmap = CreateBitmap(w, h, 1, 1, nullptr);
    if (!bitmap) {
        DeleteDC(dc);
        return false;
    }
    HGDIOBJ oldBitmap = SelectObject(dc, reinterpret_cast<HGDIOBJ>(bitmap));
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(WHITE_PEN));
    // The white pen and the DC's default white brush fill the whole bitmap.
    bool ok = oldBitmap && Rectangle(dc, 0, 0, w, h);
    SelectObject(dc, oldPen);
    ok = ok && shape(dc, LONG(-c0), LONG(-(height - k1)));

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = w;
    info.header.biHeight = h; // bottom-up
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    const LONG stride = OverlayImage::MaskStride(w);
    std::vector<BYTE> bits;
    if (ok) {
        bits.assign(size_t(stride) * size_t(h), 0);
        ok = GetDIBits(dc, bitmap, 0, UINT(h), bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                       DIB_RGB_COLORS) == h;
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(reinterpret_cast<HGDIOBJ>(bitmap));
    DeleteDC(dc);
    if (!ok)
        return false;
    m_image.bits = std::move(bits);
    m_image.width = w;
    m_image.height = h;
    m_image.stride = stride;
    m_maskCol = c0;
    m_maskRow = k0;
    m_maskFullHeight = height;
    m_maskFlipped = flipRows && m_layout.upright;
    m_plan.Build(m_image, m_kind == kText || m_kind == kSysTime);
    return true;
}
