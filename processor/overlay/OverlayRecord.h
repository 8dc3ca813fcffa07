// The overlay record format: how overlay items are saved to files and memory
// blocks and loaded back. Little-endian records, each starting with the marker
// 0xFB and its length:
//
//   0  marker 0xFB      1  length L (4, from the marker)   5  kind
//   6  ID (4)          10  start (8)   18  end (8)   26  flicker (4)
//  30  R   31  G   32  B   33  the kind's own part, then extra length E (4)
//      and E bytes of extra data:
//   text     x, y, LOGFONTA (60), text length T (4), text (T, its NUL included)
//   time     x, y, LOGFONTA (60)
//   ellipse  x0, y0, x1, y1
//   polygon  count N (4), N points x, y (absolute coordinates)
//   bitmap   x, y, BMP length B | 0x80000000 (4), the whole BMP file (B)
//
// Reading trusts a record only when its length ends the buffer or lands on
// the next marker, and builds an item only when the record's body holds every
// field it announces. Pure code; nothing here touches the overlay list.
#pragma once

#include "COverlayItem.h"

#include <cstddef>
#include <functional>
#include <vector>

constexpr BYTE kOverlayRecordMarker = 0xFB;
// Marker, length and kind.
constexpr size_t kOverlayRecordPrefix = 6;
// Where the kind's own part starts.
constexpr size_t kOverlayRecordHeader = 33;

// One record as read: the fields its kind has (others stay zero). The
// pointers point into the buffer being parsed.
struct OverlayRecord {
    BYTE kind = 0;
    LONG id = 0;
    LONGLONG start = 0;
    LONGLONG end = 0;
    DWORD flicker = 0;
    BYTE r = 0, g = 0, b = 0;
    LONG x = 0, y = 0;          // text, time, bitmap; ellipse: x0, y0
    LONG x1 = 0, y1 = 0;        // ellipse
    LOGFONTA font{};            // text, time
    const char* text = nullptr; // text: textLength bytes
    LONG textLength = 0;
    std::vector<POINT> points;    // polygon
    const BYTE* bitmap = nullptr; // bitmap: the BMP file
    LONG bitmapLength = 0;
    const BYTE* extra = nullptr; // extraLength bytes, when extraLength > 0
    LONG extraLength = 0;
};

// Walks the records in data and calls add for each one that is trusted and
// whose body passes its kind's checks (unknown kinds are skipped). Returns how
// many calls to add returned true.
LONG OverlayParseRecords(const BYTE* data, size_t length,
                         const std::function<bool(const OverlayRecord&)>& add);

// Appends the record of an item to out. False (nothing appended) when the
// item's record cannot be made: a bitmap whose file cannot be read, or a
// record longer than a length field holds.
bool OverlayWriteRecord(const COverlayItem& item, std::vector<BYTE>* out);
