// CPolygonItem: connected lines through a list of points (rectangles are
// polygons of five points), drawn with a pen as wide as the frame height asks
// for. Each point lands at its own x and y (y upward from the bottom edge).
#pragma once

#include "COverlayItem.h"

#include <vector>

class CPolygonItem : public COverlayItem {
public:
    // Fewer than two points (or none) make an item without a shape that never
    // draws. The box runs from the lowest x and y to the highest x and y plus
    // one; an odd x0 moves the box one pixel left.
    CPolygonItem(const POINT* points, LONG count, BYTE r, BYTE g, BYTE b);

    bool HasShape() const { return !m_points.empty(); }
    // The points as given (absolute coordinates).
    std::vector<POINT> Points() const;

protected:
    bool Render() override;
    void Blend(const OverlayFrame& frame) override;

private:
    std::vector<POINT> m_points; // relative to the lowest x and lowest y
    LONG m_minX = 0;
    LONG m_minY = 0;
    int64_t m_width = 0; // highest - lowest + 1
    int64_t m_height = 0;
};
