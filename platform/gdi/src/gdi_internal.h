// What the GDI objects are inside: plain structs behind the handle types,
// validated through one registry so that a stale or foreign handle is refused
// instead of dereferenced.
#pragma once

#include "wingdi.h"

#include <cairo.h>

#include <memory>
#include <mutex>
#include <string>

namespace tvgdi {

enum class ObjKind : uint8_t { Dc, Bitmap, Pen, Brush, Font };

struct Object {
    explicit Object(ObjKind k) : kind(k) {}
    virtual ~Object() = default;
    ObjKind kind;
    bool stock = false;
    int selections = 0; // DCs this object is selected into; guarded by the registry lock
};

struct Dc;

struct Bitmap : Object {
    Bitmap() : Object(ObjKind::Bitmap) {}
    ~Bitmap() override
    {
        if (surface)
            cairo_surface_destroy(surface);
    }
    cairo_surface_t* surface = nullptr; // CAIRO_FORMAT_A1: alpha 1 = white
    int width = 0;
    int height = 0;
    Dc* owner = nullptr; // the DC it is selected into; guarded by the registry lock
};

struct Pen : Object {
    Pen() : Object(ObjKind::Pen) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct Brush : Object {
    Brush() : Object(ObjKind::Brush) {}
    COLORREF color = 0;
};

class FontFace; // resolved faces and metrics, shared by equal LOGFONTs

struct Font : Object {
    Font() : Object(ObjKind::Font) {}
    std::shared_ptr<FontFace> face;
};

// Selected objects and attributes. Changed only by SelectObject and the Set*
// calls on the thread that uses the DC.
struct Dc : Object {
    Dc() : Object(ObjKind::Dc) {}
    Bitmap* bitmap = nullptr;
    Pen* pen = nullptr;
    Brush* brush = nullptr;
    Font* font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
};

// What a drawing call needs from a DC, copied out under the registry lock.
struct DcState {
    Bitmap* bitmap;
    Pen* pen;
    Brush* brush;
    Font* font;
    COLORREF textColor;
    COLORREF bkColor;
    int bkMode;
};

// Copies a DC's state; false for an invalid DC or one without a drawable
// bitmap (the 1x1 stock bitmap).
bool SnapshotDc(HDC hdc, DcState* out, bool needBitmap);

// A monochrome device maps every colour to black or white.
inline bool IsWhite(COLORREF c)
{
    return unsigned(GetRValue(c)) + GetGValue(c) + GetBValue(c) >= 384;
}

// Sets cr's source to the colour as the A1 surface stores it.
inline void SetMonoSource(cairo_t* cr, COLORREF c)
{
    cairo_set_source_rgba(cr, 0, 0, 0, IsWhite(c) ? 1.0 : 0.0);
}

// A cairo context on the bitmap that writes bits exactly (no antialiasing,
// SOURCE operator).
cairo_t* BeginDraw(Bitmap* bmp);

// ---- text (gdi_text.cpp) ----
std::shared_ptr<FontFace> ResolveFont(const LOGFONTA& lf);
// Decodes bytes in the current ANSI code page (gdi_codepage.cpp).
std::u32string DecodeAnsi(const char* text, size_t count);
bool MeasureText(FontFace& face, const std::u32string& text, SIZE* size);
bool DrawText(cairo_t* cr, FontFace& face, int x, int y, const std::u32string& text, const INT* dx);

} // namespace tvgdi
