// CEllipseItem: the outline of an ellipse (or circle) in its bounding box,
// drawn with a pen as wide as the frame height asks for.
#pragma once

#include "COverlayItem.h"

class CEllipseItem : public COverlayItem {
public:
    // The box is ordered so that x0 <= x1 and y0 <= y1; an odd x0 moves the
    // box one pixel left.
    CEllipseItem(LONG x0, LONG y0, LONG x1, LONG y1, BYTE r, BYTE g, BYTE b);

protected:
    bool Render() override;
    void Blend(const OverlayFrame& frame) override;
};
