// The small GDI the overlay drawing needs: memory device contexts, 1-bit
// bitmaps, solid pens, Rectangle/Ellipse/Polyline, fonts from a LOGFONTA and
// single-line text, and GetDIBits to a 1-bit device-independent bitmap.
//
// Built on cairo (A1 image surfaces, antialiasing off) with FreeType and
// fontconfig. Contracts are those of Win32 unless a comment says otherwise;
// the main differences:
//   - The only bitmap depth is 1 bit per pixel. CreateCompatibleBitmap gives a
//     1-bit bitmap whatever the device context (a "screen compatible" memory
//     DC here is itself monochrome). A pixel is white (DIB index 1) or black
//     (index 0); a colour counts as white when R + G + B >= 384.
//   - Bitmaps larger than TV_GDI_MAX_BITMAP_DIM in either direction, or with a
//     size of 0 or less, are refused (null) rather than allocated.
//   - Face names are matched through fontconfig, so "Arial" finds a metric-
//     compatible face (Liberation Sans) and an unknown name finds the default
//     face, as Windows substitutes too. Characters the face lacks are drawn
//     from a fallback face that has them (CJK text in a Latin face).
//   - Text in the A functions is in the process's ANSI code page: UTF-8
//     (65001) by default, or a legacy code page set with TvSetAnsiCodePage and
//     converted with iconv.
//
// Threads: GDI objects may be created and used on any thread; one object (a DC
// with what is selected into it) is used by one thread at a time, as on Windows.
// Handle validation, the stock objects and the code page are MT safe.
#pragma once

#include "win32/bitmap.h"
#include "win32/types.h"

typedef struct HGDIOBJ__* HGDIOBJ;
typedef struct HDC__* HDC;
typedef struct HBITMAP__* HBITMAP;
typedef struct HPEN__* HPEN;
typedef struct HBRUSH__* HBRUSH;
typedef struct HFONT__* HFONT;
typedef DWORD COLORREF;
typedef COLORREF* LPCOLORREF;

#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)((rgb)&0xFF))
#define GetGValue(rgb) ((BYTE)(((rgb) >> 8) & 0xFF))
#define GetBValue(rgb) ((BYTE)(((rgb) >> 16) & 0xFF))
#define CLR_INVALID 0xFFFFFFFFu

#define TV_GDI_MAX_BITMAP_DIM 32767

// ---- Stock objects ----
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define WHITE_PEN 6
#define BLACK_PEN 7
#define SYSTEM_FONT 13

// ---- Pens ----
#define PS_SOLID 0

// ---- Background modes ----
#define TRANSPARENT 1
#define OPAQUE 2

// ---- ExtTextOut options ----
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

// ---- GetDIBits ----
#define DIB_RGB_COLORS 0

// ---- Font weights, character sets, pitch ----
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define GB2312_CHARSET 134
#define LF_FACESIZE 32

// ---- Code pages ----
#define CP_ACP 0
#define CP_UTF8 65001

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *PLOGFONTA, *LPLOGFONTA;
static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA keeps the Windows layout");

// RGBQUAD, BITMAPINFOHEADER and BITMAPINFO: win32/bitmap.h (shared with DirectShow).

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *PBITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER keeps the Windows layout");

// ---- Device contexts ----

// A memory DC. hdc may be null (the screen) or another DC; either way the new
// DC holds a 1x1 monochrome bitmap, the white brush, the black pen, the system
// font, black text on a white, opaque background.
HDC CreateCompatibleDC(HDC hdc);
// Deletes a DC made by CreateCompatibleDC; the objects selected into it are
// released from it (not deleted).
BOOL DeleteDC(HDC hdc);

// ---- Objects ----

// A 1-bit bitmap; planes and bitsPerPixel must both be 1. bits, when given,
// are the rows top-down, most significant bit first, each row padded to a
// multiple of 16 bits; null leaves the bitmap black.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// A black 1-bit bitmap of that size (see the header comment).
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HPEN CreatePen(int style, int width, COLORREF color);
// Never fails for an unknown face name (a substitute is used); null only for a
// null argument or when memory runs out.
HFONT CreateFontIndirectA(const LOGFONTA* lf);
HGDIOBJ GetStockObject(int index);
// Selects a bitmap, pen, brush or font and returns the one it replaces; null
// for an invalid handle, or for a bitmap already selected into another DC.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
// FALSE for an invalid handle or an object still selected into a DC. Deleting
// a stock object succeeds and does nothing.
BOOL DeleteObject(HGDIOBJ obj);

// ---- Attributes ----
COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF SetBkColor(HDC hdc, COLORREF color);
int SetBkMode(HDC hdc, int mode);

// ---- Drawing ----

// Outline with the selected pen, inside with the selected brush; the figure
// covers columns left .. right-1 and rows top .. bottom-1 for a 1-pixel pen.
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL Ellipse(HDC hdc, int left, int top, int right, int bottom);
// Connected lines with the selected pen through count points (count >= 2).
BOOL Polyline(HDC hdc, const POINT* points, int count);

// ---- Text ----

// Width (sum of the advances) and height (the font's cell height) of count
// bytes of text in the ANSI code page.
BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size);
// Draws count bytes of text with the cell's top-left corner at (x, y).
// ETO_OPAQUE fills rect with the background colour, ETO_CLIPPED clips the text
// to rect (both need rect). dx, when given, holds one advance per character.
BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count,
                 const INT* dx);

// ---- Device-independent bitmaps ----

// Copies scan lines of a 1-bit bitmap into a 1-bit DIB (biBitCount 1,
// biCompression BI_RGB, biWidth the bitmap's width; biHeight positive for
// bottom-up, negative for top-down, its magnitude the bitmap's height).
// Writes two colour table entries (black, white) after the header, so info
// must have room for two RGBQUADs, as on Windows. With bits null, fills in the
// header (size, bit count 1 when 0, biSizeImage) and copies nothing.
// Returns the number of lines copied (or the height with bits null), 0 on
// failure.
int GetDIBits(HDC hdc, HBITMAP bitmap, UINT startScan, UINT lines, void* bits, BITMAPINFO* info,
              UINT usage);

// ---- ANSI code page ----

// The ANSI code page text arrives in (65001 = UTF-8 by default).
UINT GetACP(void);
// Sets the process's ANSI code page, e.g. 936 for GBK captions. FALSE (and
// nothing changes) when iconv cannot convert from it.
BOOL TvSetAnsiCodePage(UINT codePage);
