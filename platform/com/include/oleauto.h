// OLE Automation's calls: BSTR allocation and the VARIANT operations a
// dispatch interface and its script hosts need. Any thread; no shared state.
#pragma once

#include "oaidl.h"

// ---- BSTR ----
// A copy of the NUL-terminated text; null for null text or when out of memory.
STDAPI_(BSTR) SysAllocString(const OLECHAR* text);
// A string of length characters (and a NUL after them): a copy of the first
// length characters of text, or all zero when text is null. Embedded NULs are
// kept. Null when out of memory or when the byte count would not fit a DWORD.
STDAPI_(BSTR) SysAllocStringLen(const OLECHAR* text, UINT length);
// A string of length bytes (two NUL characters follow them) holding the bytes
// of text, or zero bytes when text is null: the ANSI-in-BSTR form. Its
// SysStringLen is length / sizeof(OLECHAR), rounded down.
STDAPI_(BSTR) SysAllocStringByteLen(LPCSTR text, UINT length);
// Null does nothing.
STDAPI_(void) SysFreeString(BSTR text);
// *old becomes a new copy (the previous string is freed); FALSE, and *old
// unchanged, when out of memory or old is null. text may point into *old.
STDAPI_(INT) SysReAllocString(BSTR* old, const OLECHAR* text);
STDAPI_(INT) SysReAllocStringLen(BSTR* old, const OLECHAR* text, UINT length);
// Characters (not counting the terminating NUL); 0 for null.
STDAPI_(UINT) SysStringLen(BSTR text);
// Bytes (not counting the terminating NUL); 0 for null.
STDAPI_(UINT) SysStringByteLen(BSTR text);

// ---- VARIANT ----
// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

// vt = VT_EMPTY (the rest is left as it is, as on Windows).
STDAPI_(void) VariantInit(VARIANTARG* v);
// Frees what the variant owns (a BSTR, a reference on an interface) and makes
// it VT_EMPTY; a by-reference variant owns nothing. DISP_E_BADVARTYPE for a
// type this platform does not hold (arrays, records, decimals, unknown
// numbers): the variant is left as it is. E_INVALIDARG for null.
STDAPI VariantClear(VARIANTARG* v);
// Clears dest, then copies src into it: a BSTR is duplicated, an interface
// gets a reference, a by-reference variant copies the pointer. dest == src
// does nothing. Failures leave dest VT_EMPTY (E_OUTOFMEMORY) or untouched
// (DISP_E_BADVARTYPE for a type VariantClear refuses).
STDAPI VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a by-reference src is copied as the value it points to
// (VT_BYREF | VT_VARIANT: the variant it points to, one level).
STDAPI VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts src to the type vt into dest (dest may be src). On failure dest
// is left as it was. A by-reference src is read through its pointer; vt may
// not be by reference (DISP_E_BADVARTYPE). The conversions:
//   to the integer types (VT_I1/I2/I4/I8/UI1/UI2/UI4/UI8/INT/UINT) from any
//     number, VT_BOOL (-1/0), VT_EMPTY (0) and VT_BSTR (the text read as a
//     number: blanks around it, sign, digits, fraction, exponent, or "&H" hex
//     and "&O" octal); fractions round to the nearest, halves to even, as
//     Windows does; out of range: DISP_E_OVERFLOW;
//   to VT_R4/VT_R8 likewise (no rounding);
//   to VT_BOOL: non-zero numbers VARIANT_TRUE; text "True"/"False" (any case)
//     or a number;
//   to VT_BSTR: decimal text; VT_R4/R8 with up to 7/15 significant digits;
//     VT_BOOL "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL or
//     VARIANT_LOCALBOOL; VT_EMPTY "";
//   to VT_DISPATCH/VT_UNKNOWN from either (QueryInterface; a null pointer
//     stays null);
//   from VT_DISPATCH to a value: the object's DISPID_VALUE property, unless
//     VARIANT_NOVALUEPROP;
//   to VT_EMPTY: always VT_EMPTY; to VT_NULL: only from VT_EMPTY or VT_NULL;
//   VT_NULL to anything else, VT_ERROR to anything else, and text that is not a number or truth
//     value: DISP_E_TYPEMISMATCH. VT_CY, VT_DATE, VT_DECIMAL, arrays and
//     records are not converted here: DISP_E_BADVARTYPE.
STDAPI VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);
// The same; the locale is ignored (numbers are written and read with '.').
STDAPI VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID lcid, USHORT flags,
                           VARTYPE vt);
