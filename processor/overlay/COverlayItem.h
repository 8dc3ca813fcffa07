// COverlayItem: one overlay drawn into every processed frame: a text, the
// current time, an ellipse, a polygon or a bitmap. Each item renders an image
// of its own once (a 1-bit mask drawn with GDI, or the pixel rows of a BMP)
// and blends that image into each frame; the time item renders again whenever
// the second it shows changes.
//
// The overlay list owns its items; it decides whether an item shows on a
// frame (window, flicker) and calls Draw for those that do. The fields marked
// "model" are the list's: Draw neither reads nor changes them.
//
// Threads: an item is used under the overlay list's lock (interface calls and
// the streaming thread's Draw alike), never by two threads at once.
#pragma once

#include "OverlayBlend.h"

#include "wingdi.h"

#include <cstdint>
#include <functional>
#include <vector>

class COverlayList;

class COverlayItem {
public:
    // The type byte of the overlay record format.
    enum Kind : BYTE {
        kText = 0x00,
        kSysTime = 0x10,
        kEllipse = 0x20,
        kPolygon = 0x30,
        kBitmap = 0x40
    };

    virtual ~COverlayItem() = default;
    COverlayItem(const COverlayItem&) = delete;
    COverlayItem& operator=(const COverlayItem&) = delete;

    Kind GetKind() const { return m_kind; }

    // Renders the image if there is none yet (or it must be renewed) and
    // blends it into the frame of frameBytes bytes. The frame layout and the
    // pen width are learned from source at the first draw that can learn
    // them. False when nothing could be drawn (no layout, a failed render, a
    // buffer smaller than the layout); an item wholly outside the picture is
    // not a failure.
    bool Draw(BYTE* frame, size_t frameBytes, IOverlayLayoutSource& source);

    // Forgets the learned layout (the output was connected anew) and the
    // image drawn for it (the pen width follows the frame height), so that
    // the next draw learns and renders again.
    void ResetLayout()
    {
        m_layout = OverlayFrameLayout{};
        m_penWidth = 2;
        m_image.Clear();
        m_plan.Clear();
    }

    // The box: (x0, y0) lower-left, (x1, y1) the opposite corner, exclusive.
    LONG X0() const { return m_x0; }
    LONG Y0() const { return m_y0; }
    LONG X1() const { return m_x1; }
    LONG Y1() const { return m_y1; }
    BYTE R() const { return m_r; }
    BYTE G() const { return m_g; }
    BYTE B() const { return m_b; }
    const OverlayImage& Image() const { return m_image; }
    bool RerenderEachFrame() const { return m_rerender; }
    const OverlayFrameLayout& Layout() const { return m_layout; }
    LONG PenWidth() const { return m_penWidth; }

    // ---- model ----
    LONG id = 0;
    LONGLONG start = 0; // show window, microseconds since 1970 on the frame clock; 0 unset
    LONGLONG end = 0;
    WORD flickerOn = 0; // milliseconds
    WORD flickerOff = 0;
    std::vector<BYTE> extra; // attached by the creator, never interpreted
    LONG showTimeMode = 0;   // 0 frame-time window, 1 wall-clock window
    LONG wallStart = 0;      // seconds since 1970
    LONG duration = 0;       // seconds, 0 unlimited
    COverlayList* list = nullptr;
    COverlayItem* next = nullptr;

protected:
    COverlayItem(Kind kind, BYTE r, BYTE g, BYTE b);

    // Builds m_image (and whatever the blend needs) and sets the box's far
    // corner where the image decides it. False: nothing to draw.
    virtual bool Render() = 0;
    // Whether the image must be rendered again before this frame.
    virtual bool NeedsRender() const { return m_image.Empty() || m_rerender; }
    // Blends the rendered image into a checked frame.
    virtual void Blend(const OverlayFrame& frame) = 0;

    // Renders the 1-bit mask of an image of width x height placed at (m_x0,
    // m_y0) with GDI: a memory DC and bitmap, filled white, shape(dc, dx, dy)
    // draws in black with every coordinate moved by (dx, dy), read back as a
    // bottom-up DIB into m_image, and plans its blend (with an outline for
    // texts and times). Once the layout is known only the part of the image
    // that can reach the frame is rendered (with the pixels around it that an
    // outline looks at): an item far larger than the picture, a huge font or
    // ellipse, would otherwise cost its whole image in time and memory on the
    // streaming thread. flipRows: the blend turns the rows over in an upright
    // frame (polygons). False when either size is 0 or less or above the GDI's
    // largest bitmap, or a GDI step fails.
    bool RenderMask(int64_t width, int64_t height, bool flipRows,
                    const std::function<bool(HDC, LONG dx, LONG dy)>& shape);
    // Where the blend places m_image for an item whose whole image would be
    // placed at (x0, y0), with the rows turned over as RenderMask was told.
    int64_t MaskX(int64_t x0) const { return x0 + m_maskCol; }
    int64_t MaskY(int64_t y0) const
    {
        return m_maskFlipped ? y0 + m_maskFullHeight - m_maskRow - m_image.height : y0 + m_maskRow;
    }

public:
    // Renders whole images whatever the frame (the reference the clipped
    // render must equal, for tests).
    void RenderWholeMaskForTesting() { m_wholeMask = true; }

protected:
    // Makes an x even by subtracting 1 from odd values (pixel pairs).
    static LONG EvenX(LONG x) { return (x & 1) ? x - 1 : x; }
    static LONG Saturate(int64_t v);

    Kind m_kind;
    LONG m_x0 = 0, m_y0 = 0, m_x1 = 0, m_y1 = 0;
    BYTE m_r, m_g, m_b;
    OverlayImage m_image;
    OverlayMaskPlan m_plan; // of a mask image, built by RenderMask
    // The part of the whole image that m_image holds: its first column, its
    // first row counted from the bottom, and the whole image's height.
    int64_t m_maskCol = 0, m_maskRow = 0, m_maskFullHeight = 0;
    bool m_maskFlipped = false; // the blend turns the rows over
    bool m_wholeMask = false;
    bool m_rerender = false;
    OverlayFrameLayout m_layout;
    LONG m_penWidth = 2;
};
