// Draws an overlay list into a grey YUY2 picture of the given size, upright,
// the way the frame processor's output pin lays it out.
#pragma once

#include "COverlayList.h"

#include <vector>

class FuzzLayoutSource : public IOverlayLayoutSource {
public:
    explicit FuzzLayoutSource(const OverlayFrameLayout& layout) : m_layout(layout) {}
    bool QueryOverlayLayout(OverlayFrameLayout* layout) override
    {
        *layout = m_layout;
        return true;
    }

private:
    OverlayFrameLayout m_layout;
};

inline void FuzzDrawYuy2(COverlayList& list, LONG width, LONG height)
{
    OverlayFrameLayout layout;
    layout.format = OVERLAY_FORMAT_YUY2;
    layout.width = width;
    layout.height = height;
    layout.stride = width * 2;
    layout.upright = 1;
    std::vector<BYTE> frame(size_t(width) * 2 * size_t(height), 0x80);
    FuzzLayoutSource source(layout);
    list.Draw(frame.data(), frame.size(), source);
}
