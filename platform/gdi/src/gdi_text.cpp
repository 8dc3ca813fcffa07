// Fonts and text: a LOGFONTA resolved through fontconfig into cairo FreeType
// faces, with Windows cell metrics and per-character fallback faces.
#include "gdi_internal.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <vector>

namespace tvgdi {

namespace {

constexpr double kMaxEm = 4096; // pixels; larger text could never fit a bitmap anyway
constexpr int kDefaultCellHeight = 16;

cairo_font_options_t* MonoOptions()
{
    static cairo_font_options_t* opts = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
        return o;
    }();
    return opts;
}

// A face of a fontconfig pattern at a pixel size, or null when cairo cannot
// load it.
cairo_scaled_font_t* MakeScaled(FcPattern* pattern, double em)
{
    cairo_font_face_t* ff = cairo_ft_font_face_create_for_pattern(pattern);
    if (cairo_font_face_status(ff) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(ff);
        return nullptr;
    }
    cairo_matrix_t fm, ctm;
    cairo_matrix_init_scale(&fm, em, em);
    cairo_matrix_init_identity(&ctm);
    cairo_scaled_font_t* sf = cairo_scaled_font_create(ff, &fm, &ctm, MonoOptions());
    cairo_font_face_destroy(ff);
    if (cairo_scaled_font_status(sf) != CAIRO_STATUS_SUCCESS) {
        cairo_scaled_font_destroy(sf);
        return nullptr;
    }
    return sf;
}

void EnsureFontconfig()
{
    static std::once_flag once;
    std::call_once(once, [] { FcInit(); });
}

} // namespace

// One resolved LOGFONTA: the matched main face and, found lazily, faces for
// characters the main face lacks. Shared between the fonts created from equal
// LOGFONTs; MT safe.
class FontFace {
public:
    explicit FontFace(const LOGFONTA& lf) { Resolve(lf); }
    ~FontFace()
    {
        for (auto& f : m_faces)
            if (f.scaled)
                cairo_scaled_font_destroy(f.scaled);
        if (m_sorted)
            FcFontSetDestroy(m_sorted);
        if (m_query)
            FcPatternDestroy(m_query);
    }
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    // m_faces grows under m_lock while other threads draw; the main face is
    // fixed at construction, so this reads only that.
    bool Usable() const { return m_main != nullptr; }
    int Ascent() const { return m_ascent; }
    int Descent() const { return m_descent; }
    bool Underline() const { return m_underline; }
    int UnderlineOffset() const { return m_ulOffset; }
    int UnderlineThickness() const { return m_ulThickness; }

    struct Glyph {
        cairo_scaled_font_t* font;
        unsigned long index;
        int advance;
    };

    // Maps each character to a glyph of the first face that has it.
    std::vector<Glyph> Shape(const std::u32string& text)
    {
        std::vector<Glyph> out;
        out.reserve(text.size());
        std::lock_guard<std::mutex> g(m_lock);
        for (char32_t ch : text) {
            cairo_scaled_font_t* font = m_faces[0].scaled;
            unsigned long index = CharIndex(font, ch);
            if (index == 0 && ch >= 0x20) {
                if (cairo_scaled_font_t* fb = FallbackFor(ch)) {
                    font = fb;
                    index = CharIndex(fb, ch);
                }
            }
            cairo_glyph_t glyph{index, 0, 0};
            cairo_text_extents_t ext;
            cairo_scaled_font_glyph_extents(font, &glyph, 1, &ext);
            out.push_back(Glyph{font, index, int(std::lround(ext.x_advance))});
        }
        return out;
    }

private:
    struct Face {
        int fontIndex; // position in m_sorted, -1 for the main face
        cairo_scaled_font_t* scaled;
    };

    static unsigned long CharIndex(cairo_scaled_font_t* sf, char32_t ch)
    {
        FT_Face face = cairo_ft_scaled_font_lock_face(sf);
        if (!face)
            return 0;
        unsigned long index = FT_Get_Char_Index(face, FT_ULong(ch));
        cairo_ft_scaled_font_unlock_face(sf);
        return index;
    }

    void Resolve(const LOGFONTA& lf)
    {
        EnsureFontconfig();
        char name[LF_FACESIZE + 1];
        std::memcpy(name, lf.lfFaceName, LF_FACESIZE);
        name[LF_FACESIZE] = 0;
        m_query = FcPatternCreate();
        if (!m_query)
            return;
        FcPatternAddString(m_query, FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(name[0] ? name : "Arial"));
        int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(lf.lfWeight, 1000);
        FcPatternAddDouble(m_query, FC_WEIGHT, FcWeightFromOpenTypeDouble(weight));
        FcPatternAddInteger(m_query, FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(m_query, FC_ANTIALIAS, FcFalse);
        FcPatternAddBool(m_query, FC_HINTING, FcTrue);
        FcPatternAddInteger(m_query, FC_HINT_STYLE, FC_HINT_FULL);
        FcConfigSubstitute(nullptr, m_query, FcMatchPattern);
        FcDefaultSubstitute(m_query);
        FcResult res;
        FcPattern* match = FcFontMatch(nullptr, m_query, &res);
        if (!match)
            return;

        // Cell metrics in font units decide the pixel em size for a positive
        // (cell) height and the ascent/descent Windows reports.
        cairo_scaled_font_t* probe = MakeScaled(match, 64);
        if (!probe) {
            FcPatternDestroy(match);
            return;
        }
        double upem = 2048, asc = 1854, desc = 434, ulPos = -217, ulThick = 150;
        if (FT_Face face = cairo_ft_scaled_font_lock_face(probe)) {
            if (face->units_per_EM > 0)
                upem = face->units_per_EM;
            auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
                asc = os2->usWinAscent;
                desc = os2->usWinDescent;
            } else if (face->ascender - face->descender > 0) {
                asc = face->ascender;
                desc = -face->descender;
            }
            if (face->underline_thickness > 0) {
                ulPos = face->underline_position;
                ulThick = face->underline_thickness;
            }
            cairo_ft_scaled_font_unlock_face(probe);
        }
        cairo_scaled_font_destroy(probe);

        const double cellUnits = asc + desc;
        double em;
        long long cell = 0;
        if (lf.lfHeight < 0) {
            em = std::min<double>(-static_cast<long long>(lf.lfHeight), kMaxEm);
        } else {
            cell = lf.lfHeight == 0 ? kDefaultCellHeight : lf.lfHeight;
            em = std::min(double(cell) * upem / cellUnits, kMaxEm);
        }
        em = std::max(em, 1.0);
        // Windows rounds the ascent up and the descent to nearest (Arial -16:
        // 15 + 3, -20: 19 + 4); the small tolerance keeps exact sizes exact.
        m_ascent = int(std::ceil(asc * em / upem - 1e-6));
        m_descent = int(std::lround(desc * em / upem));
        if (cell > 0 && em < kMaxEm)
            m_descent = std::max(0, int(cell) - m_ascent); // the cell is exactly what was asked for
        m_underline = lf.lfUnderline != 0;
        m_ulOffset = std::max(1, int(std::lround(-ulPos * em / upem)));
        m_ulThickness = std::max(1, int(std::lround(ulThick * em / upem)));
        m_em = em;

        cairo_scaled_font_t* sf = MakeScaled(match, em);
        FcPatternDestroy(match);
        if (sf)
            m_faces.push_back(Face{-1, sf});
        m_main = sf;
    }

    // The face of the sorted fallback list that has ch, opened once. Called
    // with m_lock held.
    cairo_scaled_font_t* FallbackFor(char32_t ch)
    {
        if (!m_sortDone) {
            m_sortDone = true;
            FcResult res;
            m_sorted = FcFontSort(nullptr, m_query, FcTrue, nullptr, &res);
        }
        if (!m_sorted)
            return nullptr;
        for (int i = 0; i < m_sorted->nfont; ++i) {
            FcCharSet* cs = nullptr;
            if (FcPatternGetCharSet(m_sorted->fonts[i], FC_CHARSET, 0, &cs) != FcResultMatch ||
                !FcCharSetHasChar(cs, FcChar32(ch)))
                continue;
            for (auto& f : m_faces)
                if (f.fontIndex == i)
                    return f.scaled;
            FcPattern* full = FcFontRenderPrepare(nullptr, m_query, m_sorted->fonts[i]);
            if (!full)
                return nullptr;
            cairo_scaled_font_t* sf = MakeScaled(full, m_em);
            FcPatternDestroy(full);
            if (!sf)
                return nullptr;
            m_faces.push_back(Face{i, sf});
            return sf;
        }
        return nullptr;
    }

    FcPattern* m_query = nullptr;
    double m_em = 1;
    int m_ascent = 0;
    int m_descent = 0;
    bool m_underline = false;
    int m_ulOffset = 1;
    int m_ulThickness = 1;
    cairo_scaled_font_t* m_main = nullptr; // m_faces[0].scaled, or null when unusable

    std::mutex m_lock; // guards the members below (the main face is fixed at construction)
    std::vector<Face> m_faces;
    bool m_sortDone = false;
    FcFontSet* m_sorted = nullptr;
};

std::shared_ptr<FontFace> ResolveFont(const LOGFONTA& lf)
{
    // Equal LOGFONTs share one resolved face: a time overlay creates its font
    // anew every second, and matching plus loading a face costs far more than
    // drawing the text.
    static std::mutex lock;
    static auto* cache = new std::list<std::pair<LOGFONTA, std::shared_ptr<FontFace>>>();
    constexpr size_t kCacheSize = 32;
    {
        std::lock_guard<std::mutex> g(lock);
        for (auto it = cache->begin(); it != cache->end(); ++it) {
            if (std::memcmp(&it->first, &lf, sizeof(LOGFONTA)) == 0) {
                cache->splice(cache->begin(), *cache, it);
                return it->second;
            }
        }
    }
    auto face = std::make_shared<FontFace>(lf);
    std::lock_guard<std::mutex> g(lock);
    cache->emplace_front(lf, face);
    if (cache->size() > kCacheSize)
        cache->pop_back();
    return face;
}

bool MeasureText(FontFace& face, const std::u32string& text, SIZE* size)
{
    if (!face.Usable())
        return false;
    long long width = 0;
    for (const auto& g : face.Shape(text))
        width += g.advance;
    size->cx = LONG(std::min<long long>(width, 0x7FFFFFFF));
    size->cy = face.Ascent() + face.Descent();
    return true;
}

bool DrawText(cairo_t* cr, FontFace& face, int x, int y, const std::u32string& text, const INT* dx)
{
    if (!face.Usable())
        return false;
    std::vector<FontFace::Glyph> glyphs = face.Shape(text);
    const double baseline = double(y) + face.Ascent();
    double penX = x;
    std::vector<cairo_glyph_t> run;
    cairo_scaled_font_t* runFont = nullptr;
    auto flush = [&] {
        if (!run.empty()) {
            cairo_set_scaled_font(cr, runFont);
            cairo_show_glyphs(cr, run.data(), int(run.size()));
            run.clear();
        }
    };
    for (size_t i = 0; i < glyphs.size(); ++i) {
        if (glyphs[i].font != runFont) {
            flush();
            runFont = glyphs[i].font;
        }
        run.push_back(cairo_glyph_t{glyphs[i].index, penX, baseline});
        penX += dx ? dx[i] : glyphs[i].advance;
        if (penX > 8.0e6) // nothing further can land on a bitmap
            break;
    }
    flush();
    if (face.Underline() && penX > x) {
        cairo_rectangle(cr, x, baseline + face.UnderlineOffset() - 1, penX - x,
                        face.UnderlineThickness());
        cairo_fill(cr);
    }
    return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

} // namespace tvgdi

using namespace tvgdi;

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size)
{
    if (!size || count < 0 || (!text && count > 0))
        return FALSE;
    DcState s;
    if (!SnapshotDc(hdc, &s, false))
        return FALSE;
    return MeasureText(*s.font->face, DecodeAnsi(text, size_t(count)), size) ? TRUE : FALSE;
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx)
{
    if (!text && count > 0)
        return FALSE;
    DcState s;
    if (!SnapshotDc(hdc, &s, false))
        return FALSE;
    FontFace& face = *s.font->face;
    if (!face.Usable())
        return FALSE;
    if (!s.bitmap->surface)
        return TRUE;
    // Far outside any bitmap, but inside cairo's fixed-point range.
    x = std::clamp(x, -4194304, 4194304);
    y = std::clamp(y, -4194304, 4194304);
    std::u32string chars = DecodeAnsi(text, count);
    SIZE ext{0, 0};
    if (!dx) {
        MeasureText(face, chars, &ext);
    } else {
        long long w = 0;
        for (size_t i = 0; i < chars.size(); ++i)
            w += dx[i];
        ext = SIZE{LONG(std::clamp<long long>(w, 0, 0x7FFFFFFF)), face.Ascent() + face.Descent()};
    }
    cairo_t* cr = BeginDraw(s.bitmap);
    if (rect && (options & ETO_OPAQUE)) {
        cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left,
                        double(rect->bottom) - rect->top);
        SetMonoSource(cr, s.bkColor);
        cairo_fill(cr);
    }
    if (rect && (options & ETO_CLIPPED)) {
        cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left,
                        double(rect->bottom) - rect->top);
        cairo_clip(cr);
    }
    if (s.bkMode == OPAQUE && ext.cx > 0) {
        cairo_rectangle(cr, x, y, ext.cx, ext.cy);
        SetMonoSource(cr, s.bkColor);
        cairo_fill(cr);
    }
    SetMonoSource(cr, s.textColor);
    bool ok = DrawText(cr, face, x, y, chars, dx);
    cairo_destroy(cr);
    cairo_surface_mark_dirty(s.bitmap->surface);
    return ok ? TRUE : FALSE;
}
