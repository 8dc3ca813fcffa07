// Device contexts, objects, shapes and GetDIBits.
#include "gdi_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_set>

namespace tvgdi {
namespace {

// Every live object, so that handles can be checked before use.
std::mutex g_lock;
std::unordered_set<Object*>& Live()
{
    static auto* set = new std::unordered_set<Object*>();
    return *set;
}

struct Stock {
    Brush whiteBrush, blackBrush;
    Pen whitePen, blackPen;
    Font systemFont;
    Bitmap defaultBitmap; // the 1x1 bitmap a new memory DC holds
};

Stock& Stocks()
{
    static Stock* s = [] {
        auto* st = new Stock();
        st->whiteBrush.color = RGB(255, 255, 255);
        st->blackBrush.color = RGB(0, 0, 0);
        st->whitePen.color = RGB(255, 255, 255);
        st->blackPen.color = RGB(0, 0, 0);
        LOGFONTA lf{};
        lf.lfHeight = 16;
        lf.lfWeight = FW_BOLD;
        st->systemFont.face = ResolveFont(lf);
        st->defaultBitmap.width = 1;
        st->defaultBitmap.height = 1;
        Object* all[] = {&st->whiteBrush, &st->blackBrush, &st->whitePen,
                         &st->blackPen,   &st->systemFont, &st->defaultBitmap};
        std::lock_guard<std::mutex> g(g_lock);
        for (Object* o : all) {
            o->stock = true;
            Live().insert(o);
        }
        return st;
    }();
    return *s;
}

template <class T> T* Lookup(const void* h, ObjKind kind)
{
    auto* o = static_cast<Object*>(const_cast<void*>(h));
    if (!o || !Live().count(o) || o->kind != kind)
        return nullptr;
    return static_cast<T*>(o);
}

Object* LookupAny(const void* h)
{
    auto* o = static_cast<Object*>(const_cast<void*>(h));
    return (o && Live().count(o)) ? o : nullptr;
}

template <class T> HGDIOBJ Register(T* o)
{
    std::lock_guard<std::mutex> g(g_lock);
    Live().insert(o);
    return reinterpret_cast<HGDIOBJ>(static_cast<Object*>(o));
}

// Coordinates far outside any bitmap still have to stay inside cairo's
// fixed-point range; clamping them there does not change what is visible.
double ClampCoord(double v)
{
    return std::clamp(v, -4194304.0, 4194304.0);
}

void SetPen(cairo_t* cr, const Pen& pen)
{
    SetMonoSource(cr, pen.color);
    cairo_set_line_width(cr, std::max(1, pen.width));
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
}

// An ellipse through the pixel centres of the box, as four Bezier arcs (no
// scaling, so a box one pixel thin stays a valid path).
void EllipsePath(cairo_t* cr, double cx, double cy, double rx, double ry)
{
    const double k = 0.5522847498307936;
    cairo_new_path(cr);
    cairo_move_to(cr, cx + rx, cy);
    cairo_curve_to(cr, cx + rx, cy + k * ry, cx + k * rx, cy + ry, cx, cy + ry);
    cairo_curve_to(cr, cx - k * rx, cy + ry, cx - rx, cy + k * ry, cx - rx, cy);
    cairo_curve_to(cr, cx - rx, cy - k * ry, cx - k * rx, cy - ry, cx, cy - ry);
    cairo_curve_to(cr, cx + k * rx, cy - ry, cx + rx, cy - k * ry, cx + rx, cy);
    cairo_close_path(cr);
}

void Normalize(int& a, int& b)
{
    if (a > b)
        std::swap(a, b);
}

const BYTE* ReverseBits()
{
    static BYTE table[256];
    static std::once_flag once;
    std::call_once(once, [] {
        for (int i = 0; i < 256; ++i) {
            int r = 0;
            for (int b = 0; b < 8; ++b)
                if (i & (1 << b))
                    r |= 0x80 >> b;
            table[i] = BYTE(r);
        }
    });
    return table;
}

} // namespace

bool SnapshotDc(HDC hdc, DcState* out, bool needBitmap)
{
    Stocks();
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    if (!dc)
        return false;
    *out =
        DcState{dc->bitmap, dc->pen, dc->brush, dc->font, dc->textColor, dc->bkColor, dc->bkMode};
    return !needBitmap || (dc->bitmap && dc->bitmap->surface);
}

cairo_t* BeginDraw(Bitmap* bmp)
{
    cairo_t* cr = cairo_create(bmp->surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    return cr;
}

} // namespace tvgdi

using namespace tvgdi;

HDC CreateCompatibleDC(HDC hdc)
{
    Stock& st = Stocks();
    if (hdc) {
        std::lock_guard<std::mutex> g(g_lock);
        if (!Lookup<Dc>(hdc, ObjKind::Dc))
            return nullptr;
    }
    auto* dc = new (std::nothrow) Dc();
    if (!dc)
        return nullptr;
    dc->bitmap = &st.defaultBitmap;
    dc->pen = &st.blackPen;
    dc->brush = &st.whiteBrush;
    dc->font = &st.systemFont;
    std::lock_guard<std::mutex> g(g_lock);
    for (Object* o : {static_cast<Object*>(dc->bitmap), static_cast<Object*>(dc->pen),
                      static_cast<Object*>(dc->brush), static_cast<Object*>(dc->font)})
        ++o->selections;
    Live().insert(dc);
    return reinterpret_cast<HDC>(static_cast<Object*>(dc));
}

BOOL DeleteDC(HDC hdc)
{
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    if (!dc)
        return FALSE;
    for (Object* o : {static_cast<Object*>(dc->bitmap), static_cast<Object*>(dc->pen),
                      static_cast<Object*>(dc->brush), static_cast<Object*>(dc->font)})
        if (o)
            --o->selections;
    if (dc->bitmap && dc->bitmap->owner == dc)
        dc->bitmap->owner = nullptr;
    Live().erase(dc);
    delete dc;
    return TRUE;
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    if (planes != 1 || bitsPerPixel != 1 || width <= 0 || height <= 0 ||
        width > TV_GDI_MAX_BITMAP_DIM || height > TV_GDI_MAX_BITMAP_DIM)
        return nullptr;
    auto* bmp = new (std::nothrow) Bitmap();
    if (!bmp)
        return nullptr;
    bmp->surface = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    if (cairo_surface_status(bmp->surface) != CAIRO_STATUS_SUCCESS) {
        delete bmp;
        return nullptr;
    }
    bmp->width = width;
    bmp->height = height;
    if (bits) {
        // Windows rows: top-down, MSB first, padded to 16 bits. Cairo A1 rows:
        // 32-bit words in native order, first pixel in the lowest bit (little endian).
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                      "A1 bit order assumes little endian");
        const BYTE* rev = ReverseBits();
        const BYTE* src = static_cast<const BYTE*>(bits);
        size_t srcStride = size_t((width + 15) / 16) * 2;
        cairo_surface_flush(bmp->surface);
        BYTE* dst = cairo_image_surface_get_data(bmp->surface);
        int dstStride = cairo_image_surface_get_stride(bmp->surface);
        size_t rowBytes = size_t((width + 7) / 8);
        for (int y = 0; y < height; ++y)
            for (size_t i = 0; i < rowBytes; ++i)
                dst[size_t(y) * dstStride + i] = rev[src[size_t(y) * srcStride + i]];
        cairo_surface_mark_dirty(bmp->surface);
    }
    return reinterpret_cast<HBITMAP>(Register(bmp));
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height)
{
    if (hdc) {
        Stocks();
        std::lock_guard<std::mutex> g(g_lock);
        if (!Lookup<Dc>(hdc, ObjKind::Dc))
            return nullptr;
    }
    return CreateBitmap(width, height, 1, 1, nullptr);
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style != PS_SOLID)
        return nullptr;
    auto* pen = new (std::nothrow) Pen();
    if (!pen)
        return nullptr;
    pen->style = style;
    pen->width = std::clamp(width, 1, TV_GDI_MAX_BITMAP_DIM);
    pen->color = color;
    return reinterpret_cast<HPEN>(Register(pen));
}

HFONT CreateFontIndirectA(const LOGFONTA* lf)
{
    if (!lf)
        return nullptr;
    Stocks();
    auto* font = new (std::nothrow) Font();
    if (!font)
        return nullptr;
    font->face = ResolveFont(*lf);
    return reinterpret_cast<HFONT>(Register(font));
}

HGDIOBJ GetStockObject(int index)
{
    Stock& st = Stocks();
    Object* o = nullptr;
    switch (index) {
    case WHITE_BRUSH:
        o = &st.whiteBrush;
        break;
    case BLACK_BRUSH:
        o = &st.blackBrush;
        break;
    case WHITE_PEN:
        o = &st.whitePen;
        break;
    case BLACK_PEN:
        o = &st.blackPen;
        break;
    case SYSTEM_FONT:
        o = &st.systemFont;
        break;
    default:
        return nullptr;
    }
    return reinterpret_cast<HGDIOBJ>(o);
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h)
{
    Stock& st = Stocks();
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    Object* o = LookupAny(h);
    if (!dc || !o)
        return nullptr;
    Object** slot = nullptr;
    switch (o->kind) {
    case ObjKind::Bitmap: {
        auto* bmp = static_cast<Bitmap*>(o);
        if (bmp != &st.defaultBitmap && bmp->owner && bmp->owner != dc)
            return nullptr;
        if (dc->bitmap != &st.defaultBitmap && dc->bitmap->owner == dc)
            dc->bitmap->owner = nullptr;
        if (bmp != &st.defaultBitmap)
            bmp->owner = dc;
        slot = reinterpret_cast<Object**>(&dc->bitmap);
        break;
    }
    case ObjKind::Pen:
        slot = reinterpret_cast<Object**>(&dc->pen);
        break;
    case ObjKind::Brush:
        slot = reinterpret_cast<Object**>(&dc->brush);
        break;
    case ObjKind::Font:
        slot = reinterpret_cast<Object**>(&dc->font);
        break;
    case ObjKind::Dc:
        return nullptr;
    }
    Object* old = *slot;
    *slot = o;
    ++o->selections;
    --old->selections;
    return reinterpret_cast<HGDIOBJ>(old);
}

BOOL DeleteObject(HGDIOBJ h)
{
    Stocks();
    std::lock_guard<std::mutex> g(g_lock);
    Object* o = LookupAny(h);
    if (!o || o->kind == ObjKind::Dc)
        return FALSE;
    if (o->stock)
        return TRUE;
    if (o->selections > 0)
        return FALSE;
    Live().erase(o);
    delete o;
    return TRUE;
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

int SetBkMode(HDC hdc, int mode)
{
    std::lock_guard<std::mutex> g(g_lock);
    Dc* dc = Lookup<Dc>(hdc, ObjKind::Dc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    DcState s;
    if (!SnapshotDc(hdc, &s, false))
        return FALSE;
    if (!s.bitmap->surface)
        return TRUE;
    Normalize(left, right);
    Normalize(top, bottom);
    if (left == right || top == bottom)
        return TRUE;
    cairo_t* cr = BeginDraw(s.bitmap);
    double l = ClampCoord(left), t = ClampCoord(top), r = ClampCoord(right), b = ClampCoord(bottom);
    cairo_rectangle(cr, l, t, r - l, b - t);
    SetMonoSource(cr, s.brush->color);
    cairo_fill(cr);
    cairo_rectangle(cr, l + 0.5, t + 0.5, r - l - 1, b - t - 1);
    SetPen(cr, *s.pen);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cr);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_mark_dirty(s.bitmap->surface);
    return ok;
}

BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom)
{
    DcState s;
    if (!SnapshotDc(hdc, &s, false))
        return FALSE;
    if (!s.bitmap->surface)
        return TRUE;
    Normalize(left, right);
    Normalize(top, bottom);
    if (left == right || top == bottom)
        return TRUE;
    double l = ClampCoord(left), t = ClampCoord(top), r = ClampCoord(right), b = ClampCoord(bottom);
    cairo_t* cr = BeginDraw(s.bitmap);
    double cx = (l + r) / 2, cy = (t + b) / 2;
    EllipsePath(cr, cx, cy, (r - l) / 2, (b - t) / 2);
    SetMonoSource(cr, s.brush->color);
    cairo_fill(cr);
    EllipsePath(cr, cx, cy, (r - l - 1) / 2, (b - t - 1) / 2);
    SetPen(cr, *s.pen);
    cairo_stroke(cr);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_mark_dirty(s.bitmap->surface);
    return ok;
}

BOOL Polyline(HDC hdc, const POINT* points, int count)
{
    if (!points || count < 2)
        return FALSE;
    DcState s;
    if (!SnapshotDc(hdc, &s, false))
        return FALSE;
    if (!s.bitmap->surface)
        return TRUE;
    cairo_t* cr = BeginDraw(s.bitmap);
    cairo_move_to(cr, ClampCoord(points[0].x) + 0.5, ClampCoord(points[0].y) + 0.5);
    for (int i = 1; i < count; ++i)
        cairo_line_to(cr, ClampCoord(points[i].x) + 0.5, ClampCoord(points[i].y) + 0.5);
    SetPen(cr, *s.pen);
    cairo_stroke(cr);
    bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_mark_dirty(s.bitmap->surface);
    return ok;
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT startScan, UINT lines, void* bits, BITMAPINFO* info,
              UINT usage)
{
    if (!info || usage != DIB_RGB_COLORS)
        return 0;
    Bitmap* bmp;
    {
        Stocks();
        std::lock_guard<std::mutex> g(g_lock);
        if (!Lookup<Dc>(hdc, ObjKind::Dc))
            return 0;
        bmp = Lookup<Bitmap>(hbm, ObjKind::Bitmap);
        if (!bmp || !bmp->surface)
            return 0;
    }
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    const DWORD stride = DWORD((bmp->width + 31) / 32) * 4;
    if (!bits) {
        h.biWidth = bmp->width;
        h.biHeight = bmp->height;
        h.biPlanes = 1;
        if (h.biBitCount == 0)
            h.biBitCount = 1;
        h.biCompression = BI_RGB;
        h.biSizeImage = stride * DWORD(bmp->height);
        return bmp->height;
    }
    if (h.biBitCount != 1 || h.biCompression != BI_RGB || h.biWidth != bmp->width ||
        (h.biHeight != bmp->height && h.biHeight != -bmp->height))
        return 0;
    const bool bottomUp = h.biHeight > 0;
    if (startScan >= UINT(bmp->height))
        return 0;
    lines = std::min<UINT>(lines, UINT(bmp->height) - startScan);
    info->bmiColors[0] = RGBQUAD{0, 0, 0, 0};
    (&info->bmiColors[0])[1] = RGBQUAD{255, 255, 255, 0};

    cairo_surface_flush(bmp->surface);
    const BYTE* src = cairo_image_surface_get_data(bmp->surface);
    const int srcStride = cairo_image_surface_get_stride(bmp->surface);
    const BYTE* rev = ReverseBits();
    const size_t fullBytes = size_t(bmp->width) / 8;
    const int tailBits = bmp->width % 8;
    BYTE* out = static_cast<BYTE*>(bits);
    for (UINT i = 0; i < lines; ++i) {
        // DIB scan line number (startScan + i) counts from the DIB's first stored row.
        UINT scan = startScan + i;
        UINT row = bottomUp ? UINT(bmp->height) - 1 - scan : scan;
        const BYTE* s = src + size_t(row) * srcStride;
        BYTE* d = out + size_t(i) * stride;
        size_t j = 0;
        for (; j < fullBytes; ++j)
            d[j] = rev[s[j]];
        if (tailBits) {
            d[j] = BYTE(rev[s[j]] & (0xFF00 >> tailBits));
            ++j;
        }
        std::memset(d + j, 0, stride - j);
    }
    return int(lines);
}
