// CTextItem: lines of text in a LOGFONTA font, drawn in the item colour with
// a one-pair outline (black) so that they stay readable on any background.
// CSysTimeItem: the same for the current local time, renewed each second.
#pragma once

#include "COverlayItem.h"

#include <ctime>
#include <string>

class CTextItem : public COverlayItem {
public:
    // (x, y): the lower-left corner (x made even). text: length bytes in the
    // ANSI code page, lines ended by "\r", "\n", "\r\n" or "\n\r"; a NUL is
    // appended when the text does not end in one.
    CTextItem(LONG x, LONG y, const LOGFONTA& font, const char* text, size_t length, BYTE r, BYTE g,
              BYTE b);

    const LOGFONTA& Font() const { return m_font; }
    // The text as stored, its terminating NUL included.
    const std::string& Text() const { return m_text; }
    BYTE OutlineR() const { return m_outline[0]; }
    BYTE OutlineG() const { return m_outline[1]; }
    BYTE OutlineB() const { return m_outline[2]; }

protected:
    CTextItem(Kind kind, LONG x, LONG y, const LOGFONTA& font, BYTE r, BYTE g, BYTE b);

    bool Render() override;
    void Blend(const OverlayFrame& frame) override;

    // Measures and renders text (up to its first NUL) into the mask; sets
    // x1 and y1. False for an empty extent or a failing GDI step.
    bool RenderText(const std::string& text);

    LOGFONTA m_font;
    std::string m_text;
    BYTE m_outline[3] = {0, 0, 0};
};

class CSysTimeItem : public CTextItem {
public:
    CSysTimeItem(LONG x, LONG y, const LOGFONTA& font, BYTE r, BYTE g, BYTE b);

    // The current local time as the item shows it: "%4d-%02d-%02d %02d:%02d:%02d".
    // False when the time cannot be converted.
    static bool FormatTime(time_t t, std::string* out);

protected:
    bool Render() override;
    // The clock the item shows (tests replace it).
    virtual time_t Now() const { return time(nullptr); }

private:
    std::string m_shown; // the text the current image shows
};
