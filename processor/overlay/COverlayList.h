// COverlayList: the frame processor's overlay items, in the order they were
// added (later items are drawn over earlier ones), with the IDs that name them,
// their show windows and flicker, the overlay record format in and out, and
// the drawing of every processed picture.
//
// The methods named like IProcesserOverlay's have its contract (see
// IProcesserOverlay.h), so that the filter forwards its interface to them one
// to one.
//
// Threads: the interface methods on application threads and on the "Overlay
// Input" pin's streaming thread; Draw on the processor's input streaming
// thread. m_lock guards the list, every item in it and the next automatic ID:
// each interface call and each picture's drawing hold it for their whole
// work, so a picture sees one consistent set of items.
#pragma once

#include "COverlayItem.h"
#include "IProcesserOverlay.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The wall clock as the list sees it: seconds since 1970 and the millisecond
// within the second.
struct OverlayNow {
    time_t seconds = 0;
    int millis = 0;
};

class COverlayList {
public:
    COverlayList() = default;
    ~COverlayList();
    COverlayList(const COverlayList&) = delete;
    COverlayList& operator=(const COverlayList&) = delete;

    // ---- IProcesserOverlay, in slot order ----
    HRESULT RemoveOverlay(LONG id);
    HRESULT RemoveAllOverlay();
    HRESULT AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                           const LOGFONTA& font, LONG x, LONG y, LONG* id);
    HRESULT AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, const LOGFONTA& font, LONG x, LONG y,
                              LONG* id);
    HRESULT AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent, LONG* id);
    HRESULT AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top, LONG right,
                                LONG bottom, LONG* id);
    HRESULT AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy, LONG radius, LONG* id);
    HRESULT AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1, LONG* id);
    HRESULT AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points, LONG count, LONG* id);
    HRESULT SetShowTime(LONG id, LONGLONG start, LONG duration);
    HRESULT SetTimeRange(LONG id, LONGLONG start, LONGLONG end);
    HRESULT SetFlickerTime(LONG id, DWORD flicker);
    HRESULT NewOverlayID(LONG* id);
    HRESULT GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count);
    HRESULT GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start, LONGLONG end);
    HRESULT AddOverlaysFromFile(const char* path, LONG* count);
    HRESULT AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count);
    HRESULT AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r, BYTE g,
                             BYTE b, LONG x, LONG y, const LOGFONTA* font, LONG textLength,
                             const char* text, LONG extraLength, const BYTE* extra);
    HRESULT AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                LONG extraLength, const BYTE* extra);
    HRESULT AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                LONG extraLength, const BYTE* extra);
    HRESULT AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                BYTE g, BYTE b, LONG count, const POINT* points, LONG extraLength,
                                const BYTE* extra);
    HRESULT AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                               BYTE g, BYTE b, LONG x, LONG y, HANDLE file, LONG extraLength,
                               const BYTE* extra);

    // ---- The processor's own ----

    // Replaces every item with this ID by one white text item (no window, no
    // flicker) at (x, y), in one step, so that no picture is drawn between
    // the removal and the add. An empty text only removes. The "Overlay
    // Input" pin keeps its caption and time line with it.
    void ReplaceText(LONG id, const std::string& text, const LOGFONTA& font, LONG x, LONG y);

    // The current frame time, microseconds since 1970 on the device's frame
    // clock (0 until the "Overlay Input" pin sees its first packet).
    void SetFrameTime(LONGLONG frameTime) { m_frameTime = frameTime; }
    LONGLONG FrameTime() const { return m_frameTime; }

    // Streaming thread: draws every item that shows now into the frame, in
    // list order, and destroys the items whose window has passed.
    void Draw(BYTE* frame, size_t frameBytes, IOverlayLayoutSource& source);

    // True when there is no item (read without the lock: a picture that
    // races an add simply draws it on the next one).
    bool Empty() const { return m_count.load(std::memory_order_relaxed) == 0; }
    size_t Count() const { return m_count.load(); }

    // The output was connected anew: every item learns the layout again.
    void ResetLayouts();

    // What the list takes for "now" (tests replace the wall clock).
    void SetClock(std::function<OverlayNow()> clock);
    OverlayNow Now() const;

    // Whether an item shows on a picture with frame time frameTime at now.
    enum class Show { kDraw, kHide, kExpired };
    static Show Decide(const COverlayItem& item, LONGLONG frameTime, const OverlayNow& now);

    // Visits every item in list order under the lock (tests and tools).
    void ForEach(const std::function<void(const COverlayItem&)>& visit) const;

private:
    // Appends item under the lock with the given model values; E_FAIL for a
    // null item or extra data announced but not given.
    HRESULT Append(std::unique_ptr<COverlayItem> item, LONG id, LONGLONG start, LONGLONG end,
                   DWORD flicker, LONG extraLength, const BYTE* extra);
    // Sets an item's model values (not yet in the list).
    HRESULT Prepare(COverlayItem& item, LONG id, LONGLONG start, LONGLONG end, DWORD flicker,
                    LONG extraLength, const BYTE* extra);
    // The ID a simple add uses: *id itself when it is 1000 or more, else a
    // new automatic ID written back through id. False for a null id.
    bool SimpleAddId(LONG* id);
    LONG NewIdLocked();
    void RemoveIf(const std::function<bool(const COverlayItem&)>& match);
    void RemoveIfLocked(const std::function<bool(const COverlayItem&)>& match);
    void LinkLocked(COverlayItem* item);
    void UnlinkLocked(COverlayItem* prev, COverlayItem* item);
    HRESULT WriteRecords(const std::function<bool(const COverlayItem&)>& select, BYTE* buffer,
                         LONG* size, LONG* count);
    // Adds the items the records in data describe; how many were added.
    LONG AddRecords(const BYTE* data, size_t length);

    mutable std::mutex m_lock;
    COverlayItem* m_head = nullptr;                 // guarded by m_lock
    COverlayItem* m_tail = nullptr;                 // guarded by m_lock
    LONG m_nextId = PROCESSER_OVERLAY_FIRST_APP_ID; // guarded by m_lock; only grows
    std::atomic<size_t> m_count{0};                 // written under m_lock
    std::atomic<LONGLONG> m_frameTime{0};
    std::function<OverlayNow()> m_clock; // guarded by m_lock; empty: the system clock
};
