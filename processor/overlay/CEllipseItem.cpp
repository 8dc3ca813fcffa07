#include "CEllipseItem.h"

#include <utility>

CEllipseItem::CEllipseItem(LONG x0, LONG y0, LONG x1, LONG y1, BYTE r, BYTE g, BYTE b)
    : COverlayItem(kEllipse, r, g, b)
{
    if (x0 > x1)
        std::swap(x0, x1);
    if (y0 > y1)
        std::swap(y0, y1);
    if (x0 & 1) {
        --x0;
        --x1;
    }
    m_x0 = x0;
    m_y0 = y0;
    m_x1 = x1;
    m_y1 = y1;
}

bool CEllipseItem::Render()
{
    const int64_t w = int64_t(m_x1) - m_x0, h = int64_t(m_y1) - m_y0;
    const LONG penWidth = m_penWidth;
    return RenderMask(w, h, false, [&](HDC dc, LONG dx, LONG dy) {
        HPEN pen = CreatePen(PS_SOLID, penWidth, RGB(0, 0, 0));
        if (!pen)
            return false;
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(pen));
        bool ok = old && Ellipse(dc, dx, dy, int(w + dx), int(h + dy));
        SelectObject(dc, old);
        DeleteObject(reinterpret_cast<HGDIOBJ>(pen));
        return ok;
    });
}

void CEllipseItem::Blend(const OverlayFrame& frame)
{
    OverlayBlendMaskPlanned(frame, m_image, m_plan, MaskX(m_x0), MaskY(m_y0), false,
                            OverlayRgbToYuv(m_r, m_g, m_b));
}
