// The overlay operations of CGraphPlayer: each is translated into calls on the
// frame processor's IProcesserOverlay, which keeps and draws the items.
#include <cstring>

#include <windows.h>

#include "CGraphPlayer.h"
#include "IProcesserOverlay.h"
#include "win32/file.h"

namespace {

// Text and the system time are always drawn in white; the caller's colour
// argument is not used for them.
constexpr BYTE kTextLevel = 255;

// The three components of a 0x00BBGGRR colour; the processor keeps the low
// byte of each.
struct Rgb {
    BYTE r, g, b;
};
Rgb SplitColor(int color)
{
    return Rgb{static_cast<BYTE>(color), static_cast<BYTE>(color >> 8),
               static_cast<BYTE>(color >> 16)};
}

// The processor's overlay interface for one operation. Result(): 0, or the
// error code of what was missing.
class OverlayAccess {
public:
    explicit OverlayAccess(CGraphPlayer& player, int noProcessor)
    {
        IBaseFilter* processor = nullptr;
        m_result = player.TakeProcessor(noProcessor, &processor);
        if (m_result != 0)
            return;
        if (FAILED(processor->QueryInterface(IID_IProcesserOverlay,
                                             reinterpret_cast<void**>(&m_overlay))) ||
            !m_overlay) {
            m_overlay = nullptr;
            m_result = TP_ERR_OVERLAY_REFUSED;
        }
        processor->Release();
    }
    ~OverlayAccess()
    {
        if (m_overlay)
            m_overlay->Release();
    }
    OverlayAccess(const OverlayAccess&) = delete;
    OverlayAccess& operator=(const OverlayAccess&) = delete;

    int Result() const { return m_result; }
    IProcesserOverlay* operator->() const { return m_overlay; }

private:
    IProcesserOverlay* m_overlay = nullptr;
    int m_result = 0;
};

int FailWith(int error)
{
    TpSetLastError(error);
    return -1;
}

// The sequence the seven add operations share: a fresh index, the item's own
// add call, and the show time when the caller gives a duration.
template <typename AddItem>
int AddItemWithShowTime(CGraphPlayer& player, int startTime, int duration, AddItem addItem)
{
    OverlayAccess overlay(player, TP_ERR_NO_PROCESSOR_OVERLAY);
    if (overlay.Result() != 0)
        return FailWith(overlay.Result());
    LONG index = -1;
    overlay->NewOverlayID(&index);
    const HRESULT hr = addItem(*overlay.operator->(), &index);
    if (duration > 0)
        overlay->SetShowTime(index, static_cast<LONGLONG>(startTime), duration, 0);
    if (hr != S_OK)
        return FailWith(TP_ERR_OVERLAY_REFUSED);
    return index;
}

// Rectangles and ellipses: an add slot that takes the box from the first
// point (left, top) to the second (right, bottom).
using BoxAddSlot = decltype(&IProcesserOverlay::AddRectangleOverlay);
int AddBoxItem(CGraphPlayer& player, BoxAddSlot add, const POINT* topLeft, const POINT* bottomRight,
               int color, int startTime, int duration)
{
    if (!topLeft || !bottomRight)
        return FailWith(E_POINTER);
    const Rgb c = SplitColor(color);
    return AddItemWithShowTime(player, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return (o.*add)(c.r, c.g, c.b, topLeft->x, topLeft->y, bottomRight->x, bottomRight->y,
                        index);
    });
}

// The shared sequence of the pass-through operations that answer 0 or -1.
template <typename Call> int PassThrough(CGraphPlayer& player, Call call)
{
    OverlayAccess overlay(player, TP_ERR_NO_PROCESSOR_OVERLAY);
    if (overlay.Result() != 0)
        return FailWith(overlay.Result());
    call(*overlay.operator->());
    return 0;
}

} // namespace

int CGraphPlayer::AddTextOverlay(int x, int y, const char* text, int, void* font, int startTime,
                                 int duration)
{
    const LONG length = text ? static_cast<LONG>(std::strlen(text)) : 0;
    return AddItemWithShowTime(*this, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return o.AddTextOverlayEx(index, 0, 0, 0, kTextLevel, kTextLevel, kTextLevel, x, y,
                                  static_cast<const LOGFONTA*>(font), length, text, 0, nullptr);
    });
}

int CGraphPlayer::AddSysTimeOverlay(int x, int y, int, void* font, int startTime, int duration)
{
    return AddItemWithShowTime(*this, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return o.AddSysTimeOverlayEx(index, 0, 0, 0, kTextLevel, kTextLevel, kTextLevel, x, y,
                                     static_cast<const LOGFONTA*>(font), 0, nullptr);
    });
}

int CGraphPlayer::AddBitmapOverlay(int x, int y, int bitmap, int maskColor, int startTime,
                                   int duration)
{
    const Rgb mask = SplitColor(maskColor);
    return AddItemWithShowTime(*this, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return o.AddBitmapOverlayEx(index, 0, 0, 0, mask.r, mask.g, mask.b, x, y,
                                    TvHandleFromFd(bitmap), 0, nullptr);
    });
}

int CGraphPlayer::AddRectangleOverlay(const POINT* topLeft, const POINT* bottomRight, int color,
                                      int startTime, int duration)
{
    return AddBoxItem(*this, &IProcesserOverlay::AddRectangleOverlay, topLeft, bottomRight, color,
                      startTime, duration);
}

int CGraphPlayer::AddCircleOverlay(const POINT* center, int radius, int color, int startTime,
                                   int duration)
{
    if (!center)
        return FailWith(E_POINTER);
    const Rgb c = SplitColor(color);
    return AddItemWithShowTime(*this, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return o.AddCircleOverlay(c.r, c.g, c.b, center->x, center->y, radius, index);
    });
}

int CGraphPlayer::AddEllipseOverlay(const POINT* topLeft, const POINT* bottomRight, int color,
                                    int startTime, int duration)
{
    return AddBoxItem(*this, &IProcesserOverlay::AddEllipseOverlay, topLeft, bottomRight, color,
                      startTime, duration);
}

int CGraphPlayer::AddPolygonOverlay(const POINT* points, int count, int color, int startTime,
                                    int duration)
{
    const Rgb c = SplitColor(color);
    return AddItemWithShowTime(*this, startTime, duration, [&](IProcesserOverlay& o, LONG* index) {
        return o.AddPolygonOverlay(c.r, c.g, c.b, points, count, index);
    });
}

int CGraphPlayer::SetFlickerTime(int index, int flickerTime)
{
    return PassThrough(*this, [&](IProcesserOverlay& o) {
        o.SetFlickerTime(index, static_cast<DWORD>(flickerTime));
    });
}

int CGraphPlayer::GetItemsByIndex(int index, BYTE* data, int* dataSize, int* count)
{
    return PassThrough(*this, [&](IProcesserOverlay& o) {
        o.GetItemsByIndex(index, data, reinterpret_cast<LONG*>(dataSize),
                          reinterpret_cast<LONG*>(count));
    });
}

int CGraphPlayer::AddOverlaysFromFile(const char* path, int* count)
{
    return PassThrough(*this, [&](IProcesserOverlay& o) {
        o.AddOverlaysFromFile(path, reinterpret_cast<LONG*>(count));
    });
}

int CGraphPlayer::AddOverlaysFromByte(const BYTE* data, int length, int* count)
{
    return PassThrough(*this, [&](IProcesserOverlay& o) {
        o.AddOverlaysFromByte(data, length, reinterpret_cast<LONG*>(count));
    });
}

int CGraphPlayer::RemoveOverlay(int index)
{
    OverlayAccess overlay(*this, TP_ERR_NO_PROCESSOR_OVERLAY);
    if (overlay.Result() != 0)
        return overlay.Result();
    overlay->RemoveOverlay(index);
    return 0;
}

int CGraphPlayer::RemoveAllOverlay()
{
    OverlayAccess overlay(*this, TP_ERR_NO_PROCESSOR_OVERLAY);
    if (overlay.Result() != 0)
        return overlay.Result();
    overlay->RemoveAllOverlay();
    return 0;
}
