// Video format blocks of FORMAT_VideoInfo (VIDEOINFOHEADER, VIDEOINFO) and the
// bitmap size helpers. Windows layouts: AvgTimePerFrame at offset 40 and the
// BITMAPINFOHEADER at offset 48 of a VIDEOINFOHEADER (88 bytes).
#pragma once

#include <cstddef>
#include <cstdint>

#include "strmif.h"
#include "win32/bitmap.h"
#include "win32/types.h"

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource; // the part of the picture to use (empty: all of it)
    RECT rcTarget; // where in the destination it goes (empty: all of it)
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER keeps the Windows layout");
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40, "VIDEOINFOHEADER layout");
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48, "VIDEOINFOHEADER layout");

#define iPALETTE_COLORS 256
#define iMASK_COLORS 3

typedef struct tagTRUECOLORINFO {
    DWORD dwBitMasks[iMASK_COLORS];
    RGBQUAD bmiColors[iPALETTE_COLORS];
} TRUECOLORINFO;

// A VIDEOINFOHEADER with room for a palette or bit masks after the bitmap header
// (1128 bytes).
typedef struct tagVIDEOINFO {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
    union {
        RGBQUAD bmiColors[iPALETTE_COLORS];
        DWORD dwBitMasks[iMASK_COLORS];
        TRUECOLORINFO TrueColorInfo;
    };
} VIDEOINFO;
static_assert(sizeof(VIDEOINFO) == 1128, "VIDEOINFO keeps the Windows layout");

// Bytes in front of the bitmap header of a VIDEOINFOHEADER.
#define SIZE_PREHEADER (offsetof(VIDEOINFOHEADER, bmiHeader))
#define SIZE_VIDEOHEADER (sizeof(BITMAPINFOHEADER) + SIZE_PREHEADER)
#define HEADER(pVideoInfo) (&(((VIDEOINFOHEADER*)(pVideoInfo))->bmiHeader))
#define BITMASKS(pbmi) ((DWORD*)(((BYTE*)(pbmi)) + sizeof(BITMAPINFOHEADER)))
#define PALETTISED(pbmi) ((pbmi)->bmiHeader.biBitCount <= 8)
#define PALETTE_ENTRIES(pbmi) ((DWORD)1 << (pbmi)->bmiHeader.biBitCount)

// Bytes of one row of bits pixels, padded to 4 bytes.
#define WIDTHBYTES(bits) ((DWORD)(((bits) + 31) & (~31)) / 8)

// Bytes of the picture a BITMAPINFOHEADER describes: rows padded to 4 bytes,
// times the absolute height (a negative height is a top-down picture of the same
// size). 0 for a null header, a negative width, or a size that does not fit in a
// DWORD (so nobody allocates a wrapped-around size).
inline DWORD GetBitmapSize(const BITMAPINFOHEADER* pHeader)
{
    if (!pHeader || pHeader->biWidth < 0)
        return 0;
    const uint64_t bits = (uint64_t)(uint32_t)pHeader->biWidth * pHeader->biBitCount;
    const uint64_t row = ((bits + 31) & ~(uint64_t)31) / 8;
    const int64_t height = pHeader->biHeight;
    const uint64_t rows = (uint64_t)(height < 0 ? -height : height);
    const uint64_t size = row * rows;
    return size > 0xFFFFFFFFull ? 0 : (DWORD)size;
}
