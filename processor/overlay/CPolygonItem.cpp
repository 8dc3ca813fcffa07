#include "CPolygonItem.h"

#include <algorithm>

CPolygonItem::CPolygonItem(const POINT* points, LONG count, BYTE r, BYTE g, BYTE b)
    : COverlayItem(kPolygon, r, g, b)
{
    if (!points || count < 2)
        return;
    int64_t minX = points[0].x, minY = points[0].y, maxX = minX, maxY = minY;
    for (LONG i = 1; i < count; ++i) {
        minX = std::min<int64_t>(minX, points[i].x);
        maxX = std::max<int64_t>(maxX, points[i].x);
        minY = std::min<int64_t>(minY, points[i].y);
        maxY = std::max<int64_t>(maxY, points[i].y);
    }
    m_minX = LONG(minX);
    m_minY = LONG(minY);
    m_width = maxX - minX + 1;
    m_height = maxY - minY + 1;
    m_points.reserve(size_t(count));
    // Offsets beyond the 32-bit range only occur in boxes far too large to
    // render; they are kept saturated and the render refuses the box.
    for (LONG i = 0; i < count; ++i)
        m_points.push_back(POINT{Saturate(points[i].x - minX), Saturate(points[i].y - minY)});
    int64_t x0 = minX, x1 = maxX + 1;
    if (x0 & 1) {
        --x0;
        --x1;
    }
    m_x0 = LONG(x0);
    m_x1 = Saturate(x1);
    m_y0 = LONG(minY);
    m_y1 = Saturate(maxY + 1);
}

std::vector<POINT> CPolygonItem::Points() const
{
    std::vector<POINT> out;
    out.reserve(m_points.size());
    for (const POINT& p : m_points)
        out.push_back(POINT{Saturate(int64_t(p.x) + m_minX), Saturate(int64_t(p.y) + m_minY)});
    return out;
}

bool CPolygonItem::Render()
{
    if (m_points.empty())
        return false;
    const LONG penWidth = m_penWidth;
    std::vector<POINT> moved;
    return RenderMask(m_width, m_height, true, [&](HDC dc, LONG dx, LONG dy) {
        HPEN pen = CreatePen(PS_SOLID, penWidth, RGB(0, 0, 0));
        if (!pen)
            return false;
        const POINT* points = m_points.data();
        if (dx || dy) {
            moved.reserve(m_points.size());
            for (const POINT& p : m_points)
                moved.push_back(POINT{Saturate(int64_t(p.x) + dx), Saturate(int64_t(p.y) + dy)});
            points = moved.data();
        }
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(pen));
        bool ok = old && Polyline(dc, points, int(m_points.size()));
        SelectObject(dc, old);
        DeleteObject(reinterpret_cast<HGDIOBJ>(pen));
        return ok;
    });
}

void CPolygonItem::Blend(const OverlayFrame& frame)
{
    // The image width is the point extent; the box may sit one pixel left of
    // the lowest x (even x0), and the image is placed at the box.
    OverlayBlendMaskPlanned(frame, m_image, m_plan, MaskX(m_x0), MaskY(m_y0), true,
                            OverlayRgbToYuv(m_r, m_g, m_b));
}
