#include "COverlayList.h"

#include "CBitmapItem.h"
#include "CEllipseItem.h"
#include "CPolygonItem.h"
#include "CTextItem.h"
#include "OverlayRecord.h"

#include "win32/file.h"
#include "win32/sync.h"

#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace {

LONG SaturateLong(int64_t v)
{
    return LONG(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

OverlayNow SystemNow()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return OverlayNow{tv.tv_sec, int(tv.tv_usec / 1000)};
}

// A descriptor of the item's own for a caller's file handle; -1 when the
// handle is not an open file.
int DuplicateFd(HANDLE file)
{
    HANDLE copy = TvDuplicateFileHandle(file);
    return copy == INVALID_HANDLE_VALUE ? -1 : TvFdFromHandle(copy);
}

// The BMP bytes of a bitmap record in a temporary file of their own, opened
// for reading. The file's name is gone as soon as it is open (the item holds
// the only way to it) and its storage goes when the item closes it. -1 on
// failure, with nothing left behind.
int BitmapRecordFile(const BYTE* bytes, LONG length)
{
    char dir[MAX_PATH];
    char name[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof(dir), dir);
    if (n == 0 || n >= sizeof(dir) || GetTempFileNameA(dir, "b_", 0, name) == 0)
        return -1;
    HANDLE writer = CreateFileA(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (writer == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return -1;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(writer, bytes, DWORD(length), &written, nullptr) && written == DWORD(length);
    CloseHandle(writer);
    HANDLE reader = ok ? CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr)
                       : INVALID_HANDLE_VALUE;
    if (reader == INVALID_HANDLE_VALUE) {
        DeleteFileA(name);
        return -1;
    }
    return TvFdFromHandle(reader);
}

// An item for a record; null when it cannot be made.
std::unique_ptr<COverlayItem> ItemForRecord(const OverlayRecord& rec)
{
    switch (rec.kind) {
    case COverlayItem::kText:
        return std::make_unique<CTextItem>(rec.x, rec.y, rec.font, rec.text, size_t(rec.textLength),
                                           rec.r, rec.g, rec.b);
    case COverlayItem::kSysTime:
        return std::make_unique<CSysTimeItem>(rec.x, rec.y, rec.font, rec.r, rec.g, rec.b);
    case COverlayItem::kEllipse:
        return std::make_unique<CEllipseItem>(rec.x, rec.y, rec.x1, rec.y1, rec.r, rec.g, rec.b);
    case COverlayItem::kPolygon:
        return std::make_unique<CPolygonItem>(rec.points.data(), LONG(rec.points.size()), rec.r,
                                              rec.g, rec.b);
    case COverlayItem::kBitmap: {
        const int fd = BitmapRecordFile(rec.bitmap, rec.bitmapLength);
        if (fd < 0)
            return nullptr;
        return std::make_unique<CBitmapItem>(fd, rec.x, rec.y, rec.r, rec.g, rec.b, true);
    }
    }
    return nullptr;
}

} // namespace

COverlayList::~COverlayList()
{
    COverlayItem* item = m_head;
    while (item) {
        COverlayItem* next = item->next;
        delete item;
        item = next;
    }
}

// ---- adding ----

HRESULT COverlayList::Prepare(COverlayItem& item, LONG id, LONGLONG start, LONGLONG end,
                              DWORD flicker, LONG extraLength, const BYTE* extra)
{
    if (extraLength > 0 && !extra)
        return E_FAIL;
    try {
        if (extraLength > 0)
            item.extra.assign(extra, extra + extraLength);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
    item.id = id;
    item.start = std::min(start, end);
    item.end = std::max(start, end);
    item.flickerOn = WORD(flicker >> 16);
    item.flickerOff = WORD(flicker & 0xFFFF);
    item.showTimeMode = 0;
    item.wallStart = SaturateLong(Now().seconds);
    item.duration = 0;
    item.list = this;
    item.next = nullptr;
    return S_OK;
}

HRESULT COverlayList::Append(std::unique_ptr<COverlayItem> item, LONG id, LONGLONG start,
                             LONGLONG end, DWORD flicker, LONG extraLength, const BYTE* extra)
{
    if (!item || Prepare(*item, id, start, end, flicker, extraLength, extra) != S_OK)
        return E_FAIL;
    std::lock_guard<std::mutex> guard(m_lock);
    LinkLocked(item.release());
    return S_OK;
}

void COverlayList::LinkLocked(COverlayItem* item)
{
    if (m_tail)
        m_tail->next = item;
    else
        m_head = item;
    m_tail = item;
    m_count.fetch_add(1);
}

LONG COverlayList::NewIdLocked()
{
    LONG candidate = m_nextId;
    for (;;) {
        bool used = false;
        for (COverlayItem* item = m_head; item && !used; item = item->next)
            used = item->id == candidate;
        if (!used)
            break;
        ++candidate;
    }
    m_nextId = candidate + 1;
    return candidate;
}

HRESULT COverlayList::NewOverlayID(LONG* id)
{
    if (!id)
        return E_FAIL;
    std::lock_guard<std::mutex> guard(m_lock);
    *id = NewIdLocked();
    return S_OK;
}

bool COverlayList::SimpleAddId(LONG* id)
{
    if (!id)
        return false;
    if (*id < PROCESSER_OVERLAY_FIRST_APP_ID)
        NewOverlayID(id);
    return true;
}

HRESULT COverlayList::AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                                     const LOGFONTA& font, LONG x, LONG y, LONG* id)
{
    if (!text || length <= 0 || !SimpleAddId(id))
        return E_FAIL;
    return AddTextOverlayEx(id, 0, 0, 0, r, g, b, x, y, &font, length, text, 0, nullptr);
}

HRESULT COverlayList::AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, const LOGFONTA& font, LONG x,
                                        LONG y, LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    return AddSysTimeOverlayEx(id, 0, 0, 0, r, g, b, x, y, &font, 0, nullptr);
}

HRESULT COverlayList::AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent, LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    return AddBitmapOverlayEx(id, 0, 0, 0, BYTE(transparent), BYTE(transparent >> 8),
                              BYTE(transparent >> 16), x, y, file, 0, nullptr);
}

HRESULT COverlayList::AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top, LONG right,
                                          LONG bottom, LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    const POINT corners[5] = {
        {left, top}, {right, top}, {right, bottom}, {left, bottom}, {left, top}};
    return AddPolygonOverlayEx(id, 0, 0, 0, r, g, b, 5, corners, 0, nullptr);
}

HRESULT COverlayList::AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy, LONG radius,
                                       LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    return AddEllipseOverlayEx(id, 0, 0, 0, r, g, b, SaturateLong(int64_t(cx) - radius),
                               SaturateLong(int64_t(cy) - radius),
                               SaturateLong(int64_t(cx) + radius),
                               SaturateLong(int64_t(cy) + radius), 0, nullptr);
}

HRESULT COverlayList::AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                        LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    return AddEllipseOverlayEx(id, 0, 0, 0, r, g, b, x0, y0, x1, y1, 0, nullptr);
}

HRESULT COverlayList::AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points, LONG count,
                                        LONG* id)
{
    if (!SimpleAddId(id))
        return E_FAIL;
    return AddPolygonOverlayEx(id, 0, 0, 0, r, g, b, count, points, 0, nullptr);
}

HRESULT COverlayList::AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                       BYTE r, BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                       LONG textLength, const char* text, LONG extraLength,
                                       const BYTE* extra)
{
    if (!id || !font || !text || textLength <= 0)
        return E_FAIL;
    try {
        return Append(std::make_unique<CTextItem>(x, y, *font, text, size_t(textLength), r, g, b),
                      *id, start, end, flicker, extraLength, extra);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
}

HRESULT COverlayList::AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                          BYTE r, BYTE g, BYTE b, LONG x, LONG y,
                                          const LOGFONTA* font, LONG extraLength, const BYTE* extra)
{
    if (!id || !font)
        return E_FAIL;
    try {
        return Append(std::make_unique<CSysTimeItem>(x, y, *font, r, g, b), *id, start, end,
                      flicker, extraLength, extra);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
}

HRESULT COverlayList::AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                          BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1,
                                          LONG y1, LONG extraLength, const BYTE* extra)
{
    if (!id)
        return E_FAIL;
    try {
        return Append(std::make_unique<CEllipseItem>(x0, y0, x1, y1, r, g, b), *id, start, end,
                      flicker, extraLength, extra);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
}

HRESULT COverlayList::AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                          BYTE r, BYTE g, BYTE b, LONG count, const POINT* points,
                                          LONG extraLength, const BYTE* extra)
{
    if (!id)
        return E_FAIL;
    try {
        return Append(std::make_unique<CPolygonItem>(points, count, r, g, b), *id, start, end,
                      flicker, extraLength, extra);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
}

HRESULT COverlayList::AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker,
                                         BYTE r, BYTE g, BYTE b, LONG x, LONG y, HANDLE file,
                                         LONG extraLength, const BYTE* extra)
{
    if (!id)
        return E_FAIL;
    const int fd = DuplicateFd(file);
    if (fd < 0)
        return E_FAIL;
    try {
        return Append(std::make_unique<CBitmapItem>(fd, x, y, r, g, b, true), *id, start, end,
                      flicker, extraLength, extra);
    } catch (const std::bad_alloc&) {
        CloseHandle(TvHandleFromFd(fd));
        return E_FAIL;
    }
}

void COverlayList::ReplaceText(LONG id, const std::string& text, const LOGFONTA& font, LONG x,
                               LONG y)
{
    std::unique_ptr<COverlayItem> item;
    if (!text.empty()) {
        try {
            item = std::make_unique<CTextItem>(x, y, font, text.data(), text.size(), 255, 255, 255);
        } catch (const std::bad_alloc&) {
        }
        if (item)
            Prepare(*item, id, 0, 0, 0, 0, nullptr);
    }
    std::lock_guard<std::mutex> guard(m_lock);
    RemoveIfLocked([id](const COverlayItem& it) { return it.id == id; });
    if (item)
        LinkLocked(item.release());
}

// ---- removing ----

void COverlayList::UnlinkLocked(COverlayItem* prev, COverlayItem* item)
{
    if (prev)
        prev->next = item->next;
    else
        m_head = item->next;
    if (m_tail == item)
        m_tail = prev;
    delete item;
    m_count.fetch_sub(1);
}

void COverlayList::RemoveIfLocked(const std::function<bool(const COverlayItem&)>& match)
{
    COverlayItem* prev = nullptr;
    for (COverlayItem* it = m_head; it;) {
        COverlayItem* next = it->next;
        if (match(*it))
            UnlinkLocked(prev, it);
        else
            prev = it;
        it = next;
    }
}

void COverlayList::RemoveIf(const std::function<bool(const COverlayItem&)>& match)
{
    std::lock_guard<std::mutex> guard(m_lock);
    RemoveIfLocked(match);
}

HRESULT COverlayList::RemoveOverlay(LONG id)
{
    RemoveIf([id](const COverlayItem& item) { return item.id == id; });
    return S_OK;
}

HRESULT COverlayList::RemoveAllOverlay()
{
    RemoveIf([](const COverlayItem& item) { return item.id >= PROCESSER_OVERLAY_FIRST_APP_ID; });
    return S_OK;
}

// ---- show times and flicker ----

HRESULT COverlayList::SetShowTime(LONG id, LONGLONG start, LONG duration)
{
    const LONG startSeconds = start > 0 ? SaturateLong(start) : SaturateLong(Now().seconds);
    std::lock_guard<std::mutex> guard(m_lock);
    for (COverlayItem* it = m_head; it; it = it->next) {
        if (it->id != id)
            continue;
        it->showTimeMode = 1;
        it->wallStart = startSeconds;
        it->duration = duration;
    }
    return S_OK;
}

HRESULT COverlayList::SetTimeRange(LONG id, LONGLONG start, LONGLONG end)
{
    // -1 stands for the frame on screen now (when a frame time is known).
    const LONGLONG frameTime = m_frameTime.load();
    if (frameTime >= 0) {
        if (start == -1)
            start = frameTime;
        if (end == -1)
            end = frameTime;
    }
    if (start <= 0 || end <= 0)
        return S_OK;
    if (end < start)
        std::swap(start, end);
    std::lock_guard<std::mutex> guard(m_lock);
    for (COverlayItem* it = m_head; it; it = it->next) {
        if (it->id != id)
            continue;
        it->start = start;
        it->end = end;
    }
    return S_OK;
}

HRESULT COverlayList::SetFlickerTime(LONG id, DWORD flicker)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (COverlayItem* it = m_head; it; it = it->next) {
        if (it->id != id)
            continue;
        it->flickerOn = WORD(flicker >> 16);
        it->flickerOff = WORD(flicker & 0xFFFF);
    }
    return S_OK;
}

// ---- records ----

HRESULT COverlayList::WriteRecords(const std::function<bool(const COverlayItem&)>& select,
                                   BYTE* buffer, LONG* size, LONG* count)
{
    if (!buffer || !size || !count)
        return E_FAIL;
    const size_t capacity = *size > 0 ? size_t(*size) : 0;
    size_t written = 0;
    LONG records = 0;
    std::vector<BYTE> record;
    std::lock_guard<std::mutex> guard(m_lock);
    for (COverlayItem* it = m_head; it; it = it->next) {
        if (!select(*it))
            continue;
        record.clear();
        try {
            if (!OverlayWriteRecord(*it, &record))
                continue; // a bitmap whose file cannot be read has no record
        } catch (const std::bad_alloc&) {
            *size = LONG(written);
            return E_FAIL;
        }
        if (record.size() > capacity - written) {
            *size = LONG(written);
            return E_FAIL;
        }
        std::memcpy(buffer + written, record.data(), record.size());
        written += record.size();
        ++records;
    }
    *size = LONG(written);
    *count = records;
    return S_OK;
}

HRESULT COverlayList::GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count)
{
    return WriteRecords([id](const COverlayItem& item) { return item.id == id; }, buffer, size,
                        count);
}

HRESULT COverlayList::GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start, LONGLONG end)
{
    const bool window = start != 0 || end != 0;
    return WriteRecords(
        [window, start, end](const COverlayItem& item) {
            if (item.id < PROCESSER_OVERLAY_FIRST_APP_ID)
                return false;
            if (!window || item.start == 0 || item.end == 0)
                return true;
            return item.start >= 0 && item.end >= 0 && item.end >= start && item.start <= end;
        },
        buffer, size, count);
}

LONG COverlayList::AddRecords(const BYTE* data, size_t length)
{
    return OverlayParseRecords(data, length, [this](const OverlayRecord& rec) {
        LONG id = rec.id;
        std::unique_ptr<COverlayItem> item;
        try {
            item = ItemForRecord(rec);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return Append(std::move(item), id, rec.start, rec.end, rec.flicker, rec.extraLength,
                      rec.extra) == S_OK;
    });
}

HRESULT COverlayList::AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count)
{
    if (!data || length < 0)
        return E_FAIL;
    const LONG added = AddRecords(data, size_t(length));
    if (count)
        *count = added;
    return S_OK;
}

HRESULT COverlayList::AddOverlaysFromFile(const char* path, LONG* count)
{
    if (!path)
        return E_FAIL;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return E_FAIL;
    LARGE_INTEGER size{};
    std::vector<BYTE> bytes;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart <= INT32_MAX;
    if (ok) {
        try {
            bytes.resize(size_t(size.QuadPart));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    DWORD read = 0;
    ok = ok && (bytes.empty() || ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr));
    CloseHandle(file);
    if (!ok)
        return E_FAIL;
    const LONG added = AddRecords(bytes.data(), read);
    if (count)
        *count = added;
    return S_OK;
}

// ---- drawing ----

void COverlayList::SetClock(std::function<OverlayNow()> clock)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_clock = std::move(clock);
}

OverlayNow COverlayList::Now() const
{
    std::function<OverlayNow()> clock;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        clock = m_clock;
    }
    return clock ? clock() : SystemNow();
}

COverlayList::Show COverlayList::Decide(const COverlayItem& item, LONGLONG frameTime,
                                        const OverlayNow& now)
{
    if (item.showTimeMode == 1) {
        if (int64_t(now.seconds) < item.wallStart)
            return Show::kHide;
        if (item.duration > 0 && int64_t(item.wallStart) + item.duration < int64_t(now.seconds))
            return Show::kExpired;
    } else if (frameTime > 0) {
        if (frameTime < item.start)
            return Show::kHide;
        if (item.end > 0 && frameTime > item.end)
            return Show::kExpired;
    }
    const int64_t on = item.flickerOn, off = item.flickerOff;
    if (on == 0 && off > 0)
        return Show::kHide;
    if (on > 0 && off > 0) {
        const int64_t ms = int64_t(now.seconds % 10000) * 1000 + now.millis;
        if (ms % (on + off) >= on)
            return Show::kHide;
    }
    return Show::kDraw;
}

void COverlayList::Draw(BYTE* frame, size_t frameBytes, IOverlayLayoutSource& source)
{
    if (Empty())
        return;
    const LONGLONG frameTime = m_frameTime.load();
    const OverlayNow now = Now();
    std::lock_guard<std::mutex> guard(m_lock);
    COverlayItem* prev = nullptr;
    for (COverlayItem* it = m_head; it;) {
        COverlayItem* next = it->next;
        switch (Decide(*it, frameTime, now)) {
        case Show::kExpired:
            UnlinkLocked(prev, it);
            it = next;
            continue;
        case Show::kDraw:
            // A failed render leaves the item in the list, undrawn.
            it->Draw(frame, frameBytes, source);
            break;
        case Show::kHide:
            break;
        }
        prev = it;
        it = next;
    }
}

void COverlayList::ResetLayouts()
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (COverlayItem* it = m_head; it; it = it->next)
        it->ResetLayout();
}

void COverlayList::ForEach(const std::function<void(const COverlayItem&)>& visit) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const COverlayItem* it = m_head; it; it = it->next)
        visit(*it);
}
