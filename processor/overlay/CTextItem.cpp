#include "CTextItem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Line {
    size_t offset;
    size_t length;
};

// Lines end at "\r" or "\n"; "\r\n" and "\n\r" are one break.
std::vector<Line> SplitLines(const char* s, size_t n)
{
    std::vector<Line> lines;
    size_t p = 0;
    while (p < n) {
        size_t e = p;
        while (e < n && s[e] != '\r' && s[e] != '\n')
            ++e;
        lines.push_back(Line{p, e - p});
        if (e < n) {
            char first = s[e++];
            if (e < n && (s[e] == '\r' || s[e] == '\n') && s[e] != first)
                ++e;
        }
        p = e;
    }
    return lines;
}

} // namespace

CTextItem::CTextItem(LONG x, LONG y, const LOGFONTA& font, const char* text, size_t length, BYTE r,
                     BYTE g, BYTE b)
    : CTextItem(kText, x, y, font, r, g, b)
{
    if (text && length > 0)
        m_text.assign(text, length);
    if (m_text.empty() || m_text.back() != '\0')
        m_text.push_back('\0');
}

CTextItem::CTextItem(Kind kind, LONG x, LONG y, const LOGFONTA& font, BYTE r, BYTE g, BYTE b)
    : COverlayItem(kind, r, g, b), m_font(font)
{
    m_x0 = m_x1 = EvenX(x);
    m_y0 = m_y1 = y;
}

bool CTextItem::Render()
{
    return RenderText(m_text);
}

bool CTextItem::RenderText(const std::string& text)
{
    const size_t n = std::min(text.size(), std::strlen(text.c_str()));
    const std::vector<Line> lines = SplitLines(text.data(), n);

    HFONT font = CreateFontIndirectA(&m_font);
    if (!font)
        return false;
    HDC measure = CreateCompatibleDC(nullptr);
    if (!measure) {
        DeleteObject(reinterpret_cast<HGDIOBJ>(font));
        return false;
    }
    HGDIOBJ oldFont = SelectObject(measure, reinterpret_cast<HGDIOBJ>(font));
    std::vector<LONG> heights;
    int64_t width = 0, height = 0;
    bool ok = oldFont != nullptr;
    for (size_t i = 0; ok && i < lines.size(); ++i) {
        SIZE sz{0, 0};
        if (lines[i].length > 0) {
            ok = GetTextExtentPoint32A(measure, text.data() + lines[i].offset, int(lines[i].length),
                                       &sz);
        } else {
            ok = GetTextExtentPoint32A(measure, "i", 1, &sz);
            sz.cx = 0; // an empty line counts only its height
        }
        width = std::max<int64_t>(width, sz.cx);
        height += sz.cy;
        heights.push_back(sz.cy);
    }
    SelectObject(measure, oldFont);
    DeleteDC(measure);

    ok = ok && width > 0 && height > 0;
    if (ok) {
        m_x1 = Saturate(int64_t(m_x0) + width);
        m_y1 = Saturate(int64_t(m_y0) + height);
        ok = RenderMask(width, height, false, [&](HDC dc, LONG dx, LONG dy) {
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(font));
            bool drawn = old != nullptr;
            int64_t top = 0;
            for (size_t i = 0; drawn && i < lines.size(); ++i) {
                // Lines wholly outside the part rendered are not drawn.
                const int64_t y = top + dy, bottom = y + heights[i];
                if (lines[i].length > 0 && bottom > 0 && y <= TV_GDI_MAX_BITMAP_DIM) {
                    RECT rc = {dx, LONG(y), LONG(width + dx), LONG(bottom)};
                    drawn =
                        ExtTextOutA(dc, dx, LONG(y), ETO_OPAQUE | ETO_CLIPPED, &rc,
                                    text.data() + lines[i].offset, UINT(lines[i].length), nullptr);
                }
                top += heights[i];
            }
            SelectObject(dc, old);
            return drawn;
        });
    }
    DeleteObject(reinterpret_cast<HGDIOBJ>(font));
    return ok;
}

void CTextItem::Blend(const OverlayFrame& frame)
{
    OverlayBlendTextPlanned(frame, m_image, m_plan, MaskX(m_x0), MaskY(m_y0),
                            OverlayRgbToYuv(m_r, m_g, m_b),
                            OverlayRgbToYuv(m_outline[0], m_outline[1], m_outline[2]));
}

CSysTimeItem::CSysTimeItem(LONG x, LONG y, const LOGFONTA& font, BYTE r, BYTE g, BYTE b)
    : CTextItem(kSysTime, x, y, font, r, g, b)
{
    m_rerender = true;
}

bool CSysTimeItem::FormatTime(time_t t, std::string* out)
{
    struct tm tm;
    if (!localtime_r(&t, &tm))
        return false;
    char buf[64];
    int n = std::snprintf(buf, sizeof(buf), "%4d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                          tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    if (n <= 0 || size_t(n) >= sizeof(buf))
        return false;
    out->assign(buf, size_t(n));
    return true;
}

bool CSysTimeItem::Render()
{
    std::string text;
    if (!FormatTime(Now(), &text))
        return false;
    // Within one second the text and so the image stay the same; GDI runs
    // only when the second changes.
    if (text == m_shown && !m_image.Empty())
        return true;
    m_text = text;
    m_text.push_back('\0');
    m_shown.clear();
    if (!RenderText(m_text)) {
        m_image.Clear();
        return false;
    }
    m_shown = text;
    return true;
}
