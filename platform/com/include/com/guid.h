// GUIDs: the 16-byte identifiers of classes and interfaces, in the Windows
// layout, and their registry text form "{8D7CA2C8-939F-4402-A266-3C9DE277E118}".
#pragma once

#include <string>

#include "win32/types.h"

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
static_assert(sizeof(GUID) == 16, "GUID must keep the Windows layout");

typedef GUID IID;
typedef GUID CLSID;
typedef GUID* LPGUID;
typedef IID* LPIID;
typedef CLSID* LPCLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

// Defines a named GUID constant in a header. Each shared object gets its own
// copy (hidden visibility): the constant is never exported, so a module that
// uses it can still be unloaded (an exported inline variable would be a
// "unique" symbol, and glibc never unloads an object that binds one) and no
// module's GUID can be interposed by another's. Compare GUIDs by value.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                               \
    [[gnu::visibility("hidden")]] inline constexpr GUID name = {                                   \
        (uint32_t)(l),                                                                             \
        (uint16_t)(w1),                                                                            \
        (uint16_t)(w2),                                                                            \
        {(uint8_t)(b1), (uint8_t)(b2), (uint8_t)(b3), (uint8_t)(b4), (uint8_t)(b5), (uint8_t)(b6), \
         (uint8_t)(b7), (uint8_t)(b8)}}

DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i])
            return false;
    }
    return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return IsEqualGUID(a, b);
}
constexpr bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}
constexpr bool operator!=(REFGUID a, REFGUID b)
{
    return !IsEqualGUID(a, b);
}

// Length of the registry form including its braces, without the terminating NUL.
#define TV_GUID_STRING_LENGTH 38

// Wide registry form, upper case, into buf (cch characters including the NUL).
// Returns the characters written including the NUL (39), or 0 when buf is null
// or too small.
extern "C" int StringFromGUID2(REFGUID guid, LPOLESTR buf, int cch);
// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in either
// case). Anything else gives CO_E_CLASSSTRING and GUID_NULL in *out. A null
// string gives GUID_NULL and S_OK, as on Windows; a null out gives E_INVALIDARG.
extern "C" HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID out);
extern "C" HRESULT IIDFromString(LPCOLESTR text, LPIID out);
// The registry form in memory from CoTaskMemAlloc (the caller frees it with
// CoTaskMemFree). E_POINTER for a null out, E_OUTOFMEMORY when allocation fails.
extern "C" HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* out);
extern "C" HRESULT StringFromIID(REFIID iid, LPOLESTR* out);

// Narrow forms, same text and rules as above (a failed parse leaves GUID_NULL;
// false for null arguments).
bool TvGuidToString(const GUID& guid, char out[TV_GUID_STRING_LENGTH + 1]);
std::string TvGuidToString(const GUID& guid);
bool TvGuidFromString(const char* text, GUID* out);
