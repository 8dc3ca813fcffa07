// FOURCC media subtypes: a four-character code c becomes the GUID
// {c-0000-0010-8000-00AA00389B71} (Data1 = the code, little-endian, so "YUY2"
// is 0x32595559).
#pragma once

#include <objbase.h>

#include "win32/types.h"

#ifndef MAKEFOURCC
#define MAKEFOURCC(ch0, ch1, ch2, ch3)                                                             \
    ((DWORD)(BYTE)(ch0) | ((DWORD)(BYTE)(ch1) << 8) | ((DWORD)(BYTE)(ch2) << 16) |                 \
     ((DWORD)(BYTE)(ch3) << 24))
#endif

// The subtype GUID of a FOURCC, usable in constant expressions.
constexpr GUID TvFourccGuid(DWORD fourcc)
{
    return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

// True when guid has the FOURCC form (any Data1).
constexpr bool TvIsFourccGuid(const GUID& guid)
{
    return IsEqualGUID(TvFourccGuid(guid.Data1), guid);
}

// A GUID built from (or read as) a FOURCC.
class FOURCCMap : public GUID {
public:
    FOURCCMap() : GUID(TvFourccGuid(0)) {}
    explicit FOURCCMap(DWORD fourcc) : GUID(TvFourccGuid(fourcc)) {}
    // Takes the FOURCC (Data1) of any GUID.
    explicit FOURCCMap(const GUID* guid) : GUID(TvFourccGuid(guid ? guid->Data1 : 0)) {}

    DWORD GetFOURCC() const { return Data1; }
    void SetFOURCC(DWORD fourcc) { *static_cast<GUID*>(this) = TvFourccGuid(fourcc); }
    void SetFOURCC(const GUID* guid) { SetFOURCC(guid ? guid->Data1 : 0); }
};
static_assert(sizeof(FOURCCMap) == sizeof(GUID), "a FOURCCMap is a GUID");
