#include "OverlayRecord.h"

#include "CBitmapItem.h"
#include "CEllipseItem.h"
#include "CPolygonItem.h"
#include "CTextItem.h"

#include <climits>
#include <cstring>

namespace {

// Offsets in a record's body (the bytes after marker, length and kind).
constexpr int64_t kBodyFields = 27; // ID, start, end, flicker, R, G, B
constexpr int64_t kFontBytes = 60;
constexpr uint32_t kBitmapLengthFlag = 0x80000000u;

uint32_t Le32(const BYTE* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

LONG LeLong(const BYTE* p)
{
    return LONG(Le32(p));
}

LONGLONG Le64(const BYTE* p)
{
    return LONGLONG(uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32);
}

void PutLe32(std::vector<BYTE>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(BYTE(v >> (8 * i)));
}

void PutLe64(std::vector<BYTE>& out, uint64_t v)
{
    PutLe32(out, uint32_t(v));
    PutLe32(out, uint32_t(v >> 32));
}

void PutBytes(std::vector<BYTE>& out, const void* data, size_t n)
{
    const BYTE* p = static_cast<const BYTE*>(data);
    out.insert(out.end(), p, p + n);
}

// Extra data at body + at, announced by the length field before it; the body
// checks have made sure both lie inside the body.
void TakeExtra(const BYTE* body, int64_t at, OverlayRecord* rec)
{
    rec->extraLength = LeLong(body + at);
    if (rec->extraLength > 0)
        rec->extra = body + at + 4;
}

// Checks a record's body by its kind and reads it. False: the record is skipped.
bool ReadBody(BYTE kind, const BYTE* body, int64_t b, OverlayRecord* rec)
{
    switch (kind) {
    case COverlayItem::kText: {
        if (b <= 102)
            return false;
        const int64_t t = LeLong(body + 95);
        if (t <= 0 || b < t + 103)
            return false;
        const int64_t e = LeLong(body + 99 + t);
        if (b < e + t + 103)
            return false;
        rec->text = reinterpret_cast<const char*>(body + 99);
        rec->textLength = LONG(t);
        TakeExtra(body, 99 + t, rec);
        break;
    }
    case COverlayItem::kSysTime: {
        if (b <= 98)
            return false;
        if (b < int64_t(LeLong(body + 95)) + 99)
            return false;
        TakeExtra(body, 95, rec);
        break;
    }
    case COverlayItem::kEllipse: {
        if (b <= 46)
            return false;
        if (b < int64_t(LeLong(body + 43)) + 47)
            return false;
        rec->x1 = LeLong(body + 35);
        rec->y1 = LeLong(body + 39);
        TakeExtra(body, 43, rec);
        break;
    }
    case COverlayItem::kPolygon: {
        if (b <= 34)
            return false;
        const int64_t n = LeLong(body + 27);
        if (n <= 1 || b < 8 * n + 35)
            return false;
        if (b < int64_t(LeLong(body + 31 + 8 * n)) + 8 * n + 35)
            return false;
        rec->points.resize(size_t(n));
        for (int64_t i = 0; i < n; ++i)
            rec->points[size_t(i)] = POINT{LeLong(body + 31 + 8 * i), LeLong(body + 35 + 8 * i)};
        TakeExtra(body, 31 + 8 * n, rec);
        break;
    }
    case COverlayItem::kBitmap: {
        if (b <= 42)
            return false;
        const int64_t bmp = Le32(body + 35) & ~kBitmapLengthFlag;
        if (bmp <= 0 || b < bmp + 43)
            return false;
        if (b < int64_t(LeLong(body + 39 + bmp)) + bmp + 43)
            return false;
        rec->bitmap = body + 39;
        rec->bitmapLength = LONG(bmp);
        TakeExtra(body, 39 + bmp, rec);
        break;
    }
    default:
        return false;
    }
    rec->kind = kind;
    rec->id = LeLong(body);
    rec->start = Le64(body + 4);
    rec->end = Le64(body + 12);
    rec->flicker = Le32(body + 20);
    rec->r = body[24];
    rec->g = body[25];
    rec->b = body[26];
    // x, y (ellipse: x0, y0) lead every kind's own part except the polygon's.
    if (kind != COverlayItem::kPolygon) {
        rec->x = LeLong(body + kBodyFields);
        rec->y = LeLong(body + kBodyFields + 4);
    }
    if (kind == COverlayItem::kText || kind == COverlayItem::kSysTime)
        std::memcpy(&rec->font, body + kBodyFields + 8, kFontBytes);
    return true;
}

} // namespace

LONG OverlayParseRecords(const BYTE* data, size_t n,
                         const std::function<bool(const OverlayRecord&)>& add)
{
    if (!data || n < 5)
        return 0;
    LONG count = 0;
    size_t p = 0;
    while (p <= n - 5) {
        if (data[p] != kOverlayRecordMarker) {
            ++p;
            continue;
        }
        const uint64_t length = Le32(data + p + 1);
        const uint64_t q = p + length;
        // A length that ends neither the buffer nor on the next marker is a
        // lie (or the marker was a stray byte). So is one too short to hold
        // the record's kind: it would never move past the marker.
        if (length < kOverlayRecordPrefix || q > n || (q < n && data[q] != kOverlayRecordMarker)) {
            p += 2;
            continue;
        }
        OverlayRecord rec;
        if (ReadBody(data[p + 5], data + p + kOverlayRecordPrefix,
                     int64_t(length) - int64_t(kOverlayRecordPrefix), &rec) &&
            add(rec))
            ++count;
        p = size_t(q);
    }
    return count;
}

bool OverlayWriteRecord(const COverlayItem& item, std::vector<BYTE>* out)
{
    std::vector<BYTE> rec;
    rec.push_back(kOverlayRecordMarker);
    PutLe32(rec, 0); // the length, once known
    rec.push_back(BYTE(item.GetKind()));
    PutLe32(rec, uint32_t(item.id));
    PutLe64(rec, uint64_t(item.start));
    PutLe64(rec, uint64_t(item.end));
    PutLe32(rec, uint32_t(item.flickerOn) << 16 | item.flickerOff);
    rec.push_back(item.R());
    rec.push_back(item.G());
    rec.push_back(item.B());

    switch (item.GetKind()) {
    case COverlayItem::kText:
    case COverlayItem::kSysTime: {
        const auto& text = static_cast<const CTextItem&>(item);
        PutLe32(rec, uint32_t(text.X0()));
        PutLe32(rec, uint32_t(text.Y0()));
        PutBytes(rec, &text.Font(), sizeof(LOGFONTA));
        if (item.GetKind() == COverlayItem::kText) {
            if (text.Text().size() > size_t(INT32_MAX))
                return false;
            PutLe32(rec, uint32_t(text.Text().size()));
            PutBytes(rec, text.Text().data(), text.Text().size());
        }
        break;
    }
    case COverlayItem::kEllipse:
        PutLe32(rec, uint32_t(item.X0()));
        PutLe32(rec, uint32_t(item.Y0()));
        PutLe32(rec, uint32_t(item.X1()));
        PutLe32(rec, uint32_t(item.Y1()));
        break;
    case COverlayItem::kPolygon: {
        const std::vector<POINT> points = static_cast<const CPolygonItem&>(item).Points();
        PutLe32(rec, uint32_t(points.size()));
        for (const POINT& pt : points) {
            PutLe32(rec, uint32_t(pt.x));
            PutLe32(rec, uint32_t(pt.y));
        }
        break;
    }
    case COverlayItem::kBitmap: {
        std::vector<BYTE> file;
        if (!static_cast<const CBitmapItem&>(item).ReadFileBytes(&file) || file.empty() ||
            file.size() >= kBitmapLengthFlag)
            return false;
        PutLe32(rec, item.X0());
        PutLe32(rec, item.Y0());
        PutLe32(rec, uint32_t(file.size()) | kBitmapLengthFlag);
        PutBytes(rec, file.data(), file.size());
        break;
    }
    }
    PutLe32(rec, uint32_t(item.extra.size()));
    PutBytes(rec, item.extra.data(), item.extra.size());
    if (rec.size() > size_t(INT32_MAX))
        return false;
    const uint32_t length = uint32_t(rec.size());
    for (int i = 0; i < 4; ++i)
        rec[1 + size_t(i)] = BYTE(length >> (8 * i));
    out->insert(out->end(), rec.begin(), rec.end());
    return true;
}
