// IProcesserOverlay: the frame processor's overlays. The player library adds
// texts, the current time, ellipses, polygons and bitmaps, removes them, sets
// their show times and flicker, and loads and reads back whole sets in the
// overlay record format.
//
// The slot order after the three IUnknown slots is binding. Every method
// returns S_OK or E_FAIL. Any thread: every call that walks or changes the
// list takes the list's lock, which the per-picture drawing takes too.
//
// IDs name one or more items; removal and the setters act on all items of an
// ID. IDs 0 to 999 belong to the processor (0: the "Overlay Input" caption,
// 1: its time line); the simple adds (slots 5 to 11) replace an ID below 1000
// by a fresh one and write it back, the Ex adds (slots 20 to 24) keep the ID
// they are given. Coordinates are output pixels, x to the right, y upward from
// the picture's bottom edge. Start and end are microseconds since 1970 on the
// device's frame clock (0: not set). Flicker is (on ms << 16) | off ms.
//
// Bitmap items: the file handle names a 24-bit BMP file that is read whenever
// the item renders. The add duplicates the handle, so the caller may close its
// own at once; the item closes its duplicate when it is destroyed.
#pragma once

#include <objbase.h>

#include "wingdi.h"
#include "win32/types.h"

// {7D364A0E-6553-4C45-80F7-D86932A081AC}
DEFINE_GUID(IID_IProcesserOverlay, 0x7d364a0e, 0x6553, 0x4c45, 0x80, 0xf7, 0xd8, 0x69, 0x32, 0xa0,
            0x81, 0xac);

// The IDs of the items the "Overlay Input" pin keeps up to date.
#define PROCESSER_OVERLAY_CAPTION_ID 0
#define PROCESSER_OVERLAY_TIMELINE_ID 1
// The first ID an application item may have.
#define PROCESSER_OVERLAY_FIRST_APP_ID 1000

struct IProcesserOverlay : public IUnknown {
    // Slot 3. Removes and destroys every item with this ID.
    virtual HRESULT RemoveOverlay(LONG id) = 0;
    // Slot 4. Removes every item with an ID of 1000 or more.
    virtual HRESULT RemoveAllOverlay() = 0;
    // Slot 5. E_FAIL for a null text or a length of 0 or less.
    virtual HRESULT AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                                   LOGFONTA font, LONG x, LONG y, LONG* id) = 0;
    // Slot 6.
    virtual HRESULT AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, LOGFONTA font, LONG x, LONG y,
                                      LONG* id) = 0;
    // Slot 7. transparent: the colour drawn as transparent, 0x00BBGGRR.
    virtual HRESULT AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent, LONG* id) = 0;
    // Slot 8. A polygon through the four corners, closed.
    virtual HRESULT AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top, LONG right,
                                        LONG bottom, LONG* id) = 0;
    // Slot 9.
    virtual HRESULT AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy, LONG radius,
                                     LONG* id) = 0;
    // Slot 10.
    virtual HRESULT AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                      LONG* id) = 0;
    // Slot 11.
    virtual HRESULT AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points, LONG count,
                                      LONG* id) = 0;
    // Slot 12. Shows the items from start (seconds since 1970 on the wall
    // clock; 0 or less: now) for duration seconds (0: without end), then
    // deletes them. The player library passes a fourth value, always 0,
    // which is not used.
    virtual HRESULT SetShowTime(LONG id, LONGLONG start, LONG duration, LONG reserved = 0) = 0;
    // Slot 13. A start or end of -1 means the current frame time; both
    // greater than 0 are stored in order; anything else changes nothing.
    virtual HRESULT SetTimeRange(LONG id, LONGLONG start, LONGLONG end) = 0;
    // Slot 14.
    virtual HRESULT SetFlickerTime(LONG id, DWORD flicker) = 0;
    // Slot 15. The next automatic ID that no item uses.
    virtual HRESULT NewOverlayID(LONG* id) = 0;
    // Slot 16. The records of all items with this ID. *size: the buffer's
    // size on entry, the bytes written on return; when a record does not
    // fit, E_FAIL with the size of the whole records that did (and *count
    // untouched).
    virtual HRESULT GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count) = 0;
    // Slot 17. The records of the application items (ID 1000 or more) that
    // fall in the window; a window of (0, 0) selects all of them.
    virtual HRESULT GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start,
                             LONGLONG end) = 0;
    // Slot 18. Adds the items the records in the file describe; *count: how many.
    virtual HRESULT AddOverlaysFromFile(const char* path, LONG* count) = 0;
    // Slot 19. Adds the items the records in the bytes describe; *count: how many.
    virtual HRESULT AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count) = 0;
    // Slot 20. E_FAIL for a null text or a length of 0 or less.
    virtual HRESULT AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                     LONG textLength, const char* text, LONG extraLength,
                                     const BYTE* extra) = 0;
    // Slot 21.
    virtual HRESULT AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                        BYTE r, BYTE g, BYTE b, LONG x, LONG y,
                                        const LOGFONTA* font, LONG extraLength,
                                        const BYTE* extra) = 0;
    // Slot 22.
    virtual HRESULT AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                        BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                        LONG extraLength, const BYTE* extra) = 0;
    // Slot 23. Fewer than two points make an item that never draws.
    virtual HRESULT AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                        BYTE r, BYTE g, BYTE b, LONG count, const POINT* points,
                                        LONG extraLength, const BYTE* extra) = 0;
    // Slot 24. (r, g, b): the transparent colour.
    virtual HRESULT AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                       BYTE r, BYTE g, BYTE b, LONG x, LONG y, HANDLE file,
                                       LONG extraLength, const BYTE* extra) = 0;
};
