// OLE Automation's records and IDispatch: BSTR, VARIANT, DISPPARAMS, EXCEPINFO,
// the dispatch flags and the DISP_E_ results, with the Windows layouts and
// values. The calls that work on them (SysAllocString, VariantChangeType, ...)
// are in oleauto.h.
//
// Text: OLECHAR is WCHAR, which is wchar_t here (UTF-32), so a BSTR holds
// 4-byte characters. Its layout is Windows' own otherwise: a DWORD byte count
// right before the first character, the characters, and a terminating NUL
// that the count leaves out. Only the Sys* calls may make or free one; a
// plain wide literal is not a BSTR (SysStringLen on it reads before it).
#pragma once

#include "com/unknown.h"
#include "win32/types.h"

typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;
typedef DWORD LCID;
typedef LONG DISPID;
typedef DISPID MEMBERID;
typedef LONG SCODE;
typedef uint16_t VARTYPE;
typedef SHORT VARIANT_BOOL;
typedef double DATE;
typedef union tagCY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
} CY;

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define LOCALE_USER_DEFAULT 0x0400u

// Variant types. VT_BYREF combines with any of the value types: the variant
// then holds a pointer to a value of that type, owned by whoever made it.
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_TYPEMASK = 0x0fff,
};

struct IDispatch;

// 24 bytes on a 64-bit system, as on Windows: the type, three reserved words
// and a 16-byte union (the largest member is the record pair).
typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        struct tagVARIANT* pvarVal;
        PVOID byref;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
            PVOID pvRecord;
            PVOID pRecInfo;
        } brecVal;
    };
} VARIANT;
typedef VARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;
typedef VARIANT* LPVARIANTARG;
static_assert(sizeof(void*) != 8 || sizeof(VARIANT) == 24, "VARIANT keeps the Windows size");

#define V_VT(v) ((v)->vt)
#define V_ISBYREF(v) (V_VT(v) & VT_BYREF)
#define V_I2(v) ((v)->iVal)
#define V_I4(v) ((v)->lVal)
#define V_I4REF(v) ((v)->plVal)
#define V_UI4(v) ((v)->ulVal)
#define V_R8(v) ((v)->dblVal)
#define V_BOOL(v) ((v)->boolVal)
#define V_BSTR(v) ((v)->bstrVal)
#define V_DISPATCH(v) ((v)->pdispVal)
#define V_UNKNOWN(v) ((v)->punkVal)
#define V_VARIANTREF(v) ((v)->pvarVal)
#define V_BYREF(v) ((v)->byref)

// The arguments of IDispatch::Invoke, in reverse order: rgvarg[cArgs - 1] is
// the first argument. Named arguments come first in rgvarg, their DISPIDs in
// rgdispidNamedArgs (a property put names its value DISPID_PROPERTYPUT).
typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT (*pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

// Invoke's wFlags.
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

// Reserved DISPIDs.
#define DISPID_VALUE 0
#ifndef DISPID_UNKNOWN
#define DISPID_UNKNOWN (-1)
#endif
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)
#define DISPID_EVALUATE (-5)
#define DISPID_CONSTRUCTOR (-6)
#define DISPID_DESTRUCTOR (-7)
#define DISPID_COLLECT (-8)

// Results of the dispatch calls and of the variant conversions.
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_UNKNOWNLCID ((HRESULT)0x8002000C)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000D)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000F)
#define DISP_E_BADCALLEE ((HRESULT)0x80020010)
#define DISP_E_NOTACOLLECTION ((HRESULT)0x80020011)
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802B)

struct ITypeInfo;

// {00020400-0000-0000-C000-000000000046}
DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
// Late-bound calls. No type libraries exist on this platform: an object that
// offers calls by name answers GetTypeInfoCount with 0 and maps names itself.
//
// GetIDsOfNames: rgszNames[0] is the member, the rest its parameter names;
// names match without regard to case. Unknown names give DISP_E_UNKNOWNNAME
// with DISPID_UNKNOWN in their entries (known ones are still filled in).
// riid must be IID_NULL (else DISP_E_UNKNOWNINTERFACE).
//
// Invoke: the arguments as DISPPARAMS holds them (reversed); pVarResult may be
// null when the caller wants no result; on DISP_E_TYPEMISMATCH and
// DISP_E_PARAMNOTFOUND *puArgErr is the index into rgvarg of the argument at
// fault. The callee never takes ownership of the arguments: the caller clears
// them afterwards (by-reference ones may have been written).
struct IDispatch : public IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;
};
typedef IDispatch* LPDISPATCH;
