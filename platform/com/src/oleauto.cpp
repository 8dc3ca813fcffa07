// BSTR allocation and the VARIANT operations.
#include "oleauto.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <limits>
#include <string>

#include "com/coapi.h"

// ---- BSTR ----

namespace {

// The byte count sits right before the characters; a NUL character follows.
constexpr size_t kPrefix = sizeof(DWORD);

BSTR AllocBytes(const void* bytes, size_t count)
{
    if (count > std::numeric_limits<DWORD>::max() - kPrefix - sizeof(OLECHAR))
        return nullptr;
    auto* block = static_cast<BYTE*>(CoTaskMemAlloc(kPrefix + count + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    const DWORD length = static_cast<DWORD>(count);
    std::memcpy(block, &length, sizeof(length));
    if (bytes)
        std::memmove(block + kPrefix, bytes, count);
    else
        std::memset(block + kPrefix, 0, count);
    std::memset(block + kPrefix + count, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(block + kPrefix);
}

DWORD ByteCount(BSTR text)
{
    DWORD length = 0;
    std::memcpy(&length, reinterpret_cast<const BYTE*>(text) - kPrefix, sizeof(length));
    return length;
}

} // namespace

STDAPI_(BSTR) SysAllocString(const OLECHAR* text)
{
    return text ? AllocBytes(text, std::wcslen(text) * sizeof(OLECHAR)) : nullptr;
}

STDAPI_(BSTR) SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > std::numeric_limits<DWORD>::max() / sizeof(OLECHAR))
        return nullptr;
    return AllocBytes(text, size_t(length) * sizeof(OLECHAR));
}

STDAPI_(BSTR) SysAllocStringByteLen(LPCSTR text, UINT length)
{
    return AllocBytes(text, length);
}

STDAPI_(void) SysFreeString(BSTR text)
{
    if (text)
        CoTaskMemFree(reinterpret_cast<BYTE*>(text) - kPrefix);
}

STDAPI_(INT) SysReAllocStringLen(BSTR* old, const OLECHAR* text, UINT length)
{
    if (!old)
        return FALSE;
    // The copy is made before the old string goes: text may point into it.
    BSTR copy = SysAllocStringLen(text, length);
    if (!copy)
        return FALSE;
    SysFreeString(*old);
    *old = copy;
    return TRUE;
}

STDAPI_(INT) SysReAllocString(BSTR* old, const OLECHAR* text)
{
    if (!old)
        return FALSE;
    if (!text) {
        SysFreeString(*old);
        *old = nullptr;
        return TRUE;
    }
    return SysReAllocStringLen(old, text, static_cast<UINT>(std::wcslen(text)));
}

STDAPI_(UINT) SysStringLen(BSTR text)
{
    return text ? ByteCount(text) / sizeof(OLECHAR) : 0;
}

STDAPI_(UINT) SysStringByteLen(BSTR text)
{
    return text ? ByteCount(text) : 0;
}

// ---- VARIANT ----

namespace {

// The value types a variant may hold here (alone or by reference).
bool IsHeldType(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return true;
    default:
        return false;
    }
}

bool IsValidVariantType(VARTYPE vt)
{
    if (vt & VT_BYREF) {
        const VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (IsHeldType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return IsHeldType(vt);
}

// A by-value variant that reads the value a by-reference one points to. It
// does not own what it holds (no copy of the BSTR, no reference).
HRESULT ReadThrough(const VARIANT& ref, VARIANT* value)
{
    if (!ref.byref)
        return E_POINTER;
    VariantInit(value);
    value->vt = ref.vt & ~VT_BYREF;
    switch (value->vt) {
    case VT_I1:
    case VT_UI1:
        value->bVal = *ref.pbVal;
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        value->iVal = *ref.piVal;
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        value->lVal = *ref.plVal;
        break;
    case VT_I8:
    case VT_UI8:
    case VT_CY:
        value->llVal = *ref.pllVal;
        break;
    case VT_R4:
        value->fltVal = *ref.pfltVal;
        break;
    case VT_R8:
    case VT_DATE:
        value->dblVal = *ref.pdblVal;
        break;
    case VT_BSTR:
        value->bstrVal = *ref.pbstrVal;
        break;
    case VT_DISPATCH:
        value->pdispVal = *ref.ppdispVal;
        break;
    case VT_UNKNOWN:
        value->punkVal = *ref.ppunkVal;
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// The value a variant stands for: itself, or what its reference points to
// (one level of VT_VARIANT by reference included). Not owning, as above.
HRESULT Dereference(const VARIANT& source, VARIANT* value)
{
    if (!IsValidVariantType(source.vt))
        return DISP_E_BADVARTYPE;
    if (!(source.vt & VT_BYREF)) {
        *value = source;
        return S_OK;
    }
    if (source.vt == (VT_BYREF | VT_VARIANT)) {
        if (!source.pvarVal)
            return E_POINTER;
        const VARIANT& inner = *source.pvarVal;
        if (inner.vt == (VT_BYREF | VT_VARIANT) || !IsValidVariantType(inner.vt))
            return DISP_E_BADVARTYPE;
        return (inner.vt & VT_BYREF) ? ReadThrough(inner, value) : (*value = inner, S_OK);
    }
    return ReadThrough(source, value);
}

// A number read from a variant: exact when it is an integer, else real.
struct Number {
    bool integer = true;
    bool negative = false;
    ULONGLONG magnitude = 0; // integer: |value|
    double real = 0;         // integer: the value too (possibly rounded)
};

Number FromSigned(LONGLONG v)
{
    Number n;
    n.negative = v < 0;
    n.magnitude = n.negative ? ULONGLONG(0) - ULONGLONG(v) : ULONGLONG(v);
    n.real = double(v);
    return n;
}

Number FromUnsigned(ULONGLONG v)
{
    Number n;
    n.magnitude = v;
    n.real = double(v);
    return n;
}

Number FromReal(double v)
{
    Number n;
    n.integer = false;
    n.real = v;
    return n;
}

bool EqualsIgnoringCase(const std::wstring& text, const wchar_t* word)
{
    if (text.size() != std::wcslen(word))
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (std::towlower(text[i]) != std::towlower(word[i]))
            return false;
    }
    return true;
}

std::wstring Trimmed(BSTR text)
{
    std::wstring s(text ? text : L"", SysStringLen(text));
    size_t first = 0;
    while (first < s.size() && std::iswspace(s[first]))
        ++first;
    size_t last = s.size();
    while (last > first && std::iswspace(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

// Text as a number: "&H" hex, "&O" octal, or a decimal number with an optional
// sign, fraction and exponent. Read without regard to the locale.
HRESULT ParseNumber(BSTR text, Number* out)
{
    const std::wstring s = Trimmed(text);
    if (s.size() > 2 && s[0] == L'&' &&
        (s[1] == L'H' || s[1] == L'h' || s[1] == L'O' || s[1] == L'o')) {
        const ULONGLONG base = (s[1] == L'H' || s[1] == L'h') ? 16 : 8;
        ULONGLONG value = 0;
        for (size_t i = 2; i < s.size(); ++i) {
            const wchar_t c = s[i];
            ULONGLONG digit = 0;
            if (c >= L'0' && c <= L'9')
                digit = ULONGLONG(c - L'0');
            else if (base == 16 && c >= L'a' && c <= L'f')
                digit = ULONGLONG(c - L'a' + 10);
            else if (base == 16 && c >= L'A' && c <= L'F')
                digit = ULONGLONG(c - L'A' + 10);
            else
                return DISP_E_TYPEMISMATCH;
            if (digit >= base)
                return DISP_E_TYPEMISMATCH;
            if (value > (std::numeric_limits<ULONGLONG>::max() - digit) / base)
                return DISP_E_OVERFLOW;
            value = value * base + digit;
        }
        *out = FromUnsigned(value);
        return S_OK;
    }
    // Only the characters of a decimal number, as ASCII.
    std::string ascii;
    size_t i = 0;
    bool digits = false;
    bool fraction = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
        ascii += char(s[i++]);
    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
        ascii += char(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == L'.') {
        ascii += char(s[i++]);
        fraction = true;
        while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
            ascii += char(s[i++]);
            digits = true;
        }
    }
    if (!digits)
        return DISP_E_TYPEMISMATCH;
    if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
        fraction = true;
        ascii += 'e';
        ++i;
        if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
            ascii += char(s[i++]);
        bool exponentDigits = false;
        while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
            ascii += char(s[i++]);
            exponentDigits = true;
        }
        if (!exponentDigits)
            return DISP_E_TYPEMISMATCH;
    }
    if (i != s.size())
        return DISP_E_TYPEMISMATCH;
    const char* begin = ascii.c_str() + (ascii[0] == '+' ? 1 : 0);
    const char* end = ascii.c_str() + ascii.size();
    if (!fraction) {
        const bool negative = *begin == '-';
        ULONGLONG magnitude = 0;
        const auto [ptr, ec] = std::from_chars(begin + (negative ? 1 : 0), end, magnitude);
        if (ec == std::errc() && ptr == end) {
            Number n = FromUnsigned(magnitude);
            n.negative = negative && magnitude != 0;
            n.real = negative ? -n.real : n.real;
            *out = n;
            return S_OK;
        }
    }
    double real = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, real);
    if (ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (ec != std::errc() || ptr != end)
        return DISP_E_TYPEMISMATCH;
    *out = FromReal(real);
    return S_OK;
}

// The number a by-value variant holds; text is parsed.
HRESULT ToNumber(const VARIANT& v, Number* out)
{
    switch (v.vt) {
    case VT_EMPTY:
        *out = FromSigned(0);
        return S_OK;
    case VT_I1:
        *out = FromSigned(v.cVal);
        return S_OK;
    case VT_UI1:
        *out = FromUnsigned(v.bVal);
        return S_OK;
    case VT_I2:
        *out = FromSigned(v.iVal);
        return S_OK;
    case VT_UI2:
        *out = FromUnsigned(v.uiVal);
        return S_OK;
    case VT_BOOL:
        *out = FromSigned(v.boolVal ? -1 : 0);
        return S_OK;
    case VT_I4:
    case VT_INT:
        *out = FromSigned(v.lVal);
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        *out = FromUnsigned(v.ulVal);
        return S_OK;
    case VT_I8:
        *out = FromSigned(v.llVal);
        return S_OK;
    case VT_UI8:
        *out = FromUnsigned(v.ullVal);
        return S_OK;
    case VT_R4:
        *out = FromReal(v.fltVal);
        return S_OK;
    case VT_R8:
        *out = FromReal(v.dblVal);
        return S_OK;
    case VT_BSTR:
        return ParseNumber(v.bstrVal, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// n as an integer within [min, max]; fractions round to the nearest, halves
// to even.
HRESULT ToInteger(const Number& n, LONGLONG min, ULONGLONG max, LONGLONG* signedOut,
                  ULONGLONG* unsignedOut)
{
    bool negative = n.negative;
    ULONGLONG magnitude = n.magnitude;
    if (!n.integer) {
        if (!std::isfinite(n.real))
            return DISP_E_OVERFLOW;
        const double rounded = std::nearbyint(n.real);
        // 2^64: every double below it converts to ULONGLONG exactly.
        if (std::fabs(rounded) >= 18446744073709551616.0)
            return DISP_E_OVERFLOW;
        negative = rounded < 0;
        magnitude = ULONGLONG(std::fabs(rounded));
        if (magnitude == 0)
            negative = false;
    }
    if (negative) {
        const ULONGLONG limit = min < 0 ? ULONGLONG(0) - ULONGLONG(min) : 0;
        if (magnitude > limit)
            return DISP_E_OVERFLOW;
        *signedOut = LONGLONG(ULONGLONG(0) - magnitude);
        *unsignedOut = 0;
    } else {
        if (magnitude > max)
            return DISP_E_OVERFLOW;
        *signedOut = LONGLONG(magnitude);
        *unsignedOut = magnitude;
    }
    return S_OK;
}

HRESULT ToIntegerType(const Number& n, VARTYPE vt, VARIANT* out)
{
    struct Range {
        VARTYPE vt;
        LONGLONG min;
        ULONGLONG max;
    };
    static const Range kRanges[] = {
        {VT_I1, -128, 127},
        {VT_UI1, 0, 255},
        {VT_I2, -32768, 32767},
        {VT_UI2, 0, 65535},
        {VT_I4, std::numeric_limits<LONG>::min(), ULONGLONG(std::numeric_limits<LONG>::max())},
        {VT_INT, std::numeric_limits<LONG>::min(), ULONGLONG(std::numeric_limits<LONG>::max())},
        {VT_UI4, 0, std::numeric_limits<ULONG>::max()},
        {VT_UINT, 0, std::numeric_limits<ULONG>::max()},
        {VT_I8, std::numeric_limits<LONGLONG>::min(),
         ULONGLONG(std::numeric_limits<LONGLONG>::max())},
        {VT_UI8, 0, std::numeric_limits<ULONGLONG>::max()},
    };
    for (const Range& range : kRanges) {
        if (range.vt != vt)
            continue;
        LONGLONG s = 0;
        ULONGLONG u = 0;
        const HRESULT hr = ToInteger(n, range.min, range.max, &s, &u);
        if (FAILED(hr))
            return hr;
        VariantInit(out);
        out->vt = vt;
        switch (vt) {
        case VT_I1:
            out->cVal = CHAR(s);
            break;
        case VT_UI1:
            out->bVal = BYTE(u);
            break;
        case VT_I2:
            out->iVal = SHORT(s);
            break;
        case VT_UI2:
            out->uiVal = USHORT(u);
            break;
        case VT_I4:
        case VT_INT:
            out->lVal = LONG(s);
            break;
        case VT_UI4:
        case VT_UINT:
            out->ulVal = ULONG(u);
            break;
        case VT_I8:
            out->llVal = s;
            break;
        default:
            out->ullVal = u;
            break;
        }
        return S_OK;
    }
    return DISP_E_BADVARTYPE;
}

HRESULT NewText(const std::wstring& text, VARIANT* out)
{
    BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!s)
        return E_OUTOFMEMORY;
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = s;
    return S_OK;
}

std::wstring RealText(double value, int digits)
{
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, digits);
    std::wstring text;
    if (ec != std::errc())
        return text;
    for (const char* p = buffer; p != ptr; ++p)
        text += wchar_t(*p == 'e' ? 'E' : *p);
    return text;
}

HRESULT ToText(const VARIANT& v, USHORT flags, VARIANT* out)
{
    switch (v.vt) {
    case VT_EMPTY:
        return NewText(L"", out);
    case VT_BOOL:
        if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            return NewText(v.boolVal ? L"True" : L"False", out);
        return NewText(v.boolVal ? L"-1" : L"0", out);
    case VT_R4:
        return NewText(RealText(v.fltVal, 7), out);
    case VT_R8:
        return NewText(RealText(v.dblVal, 15), out);
    default:
        break;
    }
    Number n;
    const HRESULT hr = ToNumber(v, &n);
    if (FAILED(hr))
        return hr;
    std::wstring text = std::to_wstring(n.magnitude);
    if (n.negative)
        text.insert(text.begin(), L'-');
    return NewText(text, out);
}

HRESULT ToBool(const VARIANT& v, VARIANT* out)
{
    if (v.vt == VT_BSTR) {
        const std::wstring s = Trimmed(v.bstrVal);
        if (EqualsIgnoringCase(s, L"true") || EqualsIgnoringCase(s, L"false")) {
            VariantInit(out);
            out->vt = VT_BOOL;
            out->boolVal = EqualsIgnoringCase(s, L"true") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    Number n;
    const HRESULT hr = ToNumber(v, &n);
    if (FAILED(hr))
        return hr;
    VariantInit(out);
    out->vt = VT_BOOL;
    out->boolVal = (n.integer ? n.magnitude != 0 : n.real != 0) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ToReal(const VARIANT& v, VARTYPE vt, VARIANT* out)
{
    Number n;
    const HRESULT hr = ToNumber(v, &n);
    if (FAILED(hr))
        return hr;
    VariantInit(out);
    out->vt = vt;
    if (vt == VT_R8) {
        out->dblVal = n.real;
        return S_OK;
    }
    if (std::isfinite(n.real) && std::fabs(n.real) > std::numeric_limits<float>::max())
        return DISP_E_OVERFLOW;
    out->fltVal = float(n.real);
    return S_OK;
}

HRESULT ToInterface(const VARIANT& v, VARTYPE vt, VARIANT* out)
{
    if (v.vt != VT_EMPTY && v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN)
        return DISP_E_TYPEMISMATCH;
    IUnknown* source = v.vt == VT_EMPTY ? nullptr : v.punkVal;
    void* result = nullptr;
    if (source &&
        FAILED(source->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &result)))
        return DISP_E_TYPEMISMATCH;
    VariantInit(out);
    out->vt = vt;
    out->punkVal = static_cast<IUnknown*>(result);
    return S_OK;
}

HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT* out);

// An object as a value: its DISPID_VALUE property.
HRESULT ValueProperty(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT* out)
{
    if (flags & VARIANT_NOVALUEPROP)
        return DISP_E_TYPEMISMATCH;
    IDispatch* dispatch = nullptr;
    if (!value.punkVal ||
        FAILED(value.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT property;
    VariantInit(&property);
    HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                  &none, &property, nullptr, nullptr);
    dispatch->Release();
    if (FAILED(hr))
        return DISP_E_TYPEMISMATCH;
    VARIANT direct;
    hr = Dereference(property, &direct);
    if (SUCCEEDED(hr))
        hr = Convert(direct, flags | VARIANT_NOVALUEPROP, vt, out);
    VariantClear(&property);
    return hr;
}

// value is by value (not owning); out receives a new, owning variant.
HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT* out)
{
    if (value.vt == vt)
        return (VariantInit(out), VariantCopy(out, &value));
    if (vt == VT_EMPTY) {
        VariantInit(out);
        return S_OK;
    }
    if (value.vt == VT_NULL || vt == VT_NULL) {
        if (value.vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        VariantInit(out);
        out->vt = VT_NULL;
        return S_OK;
    }
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN)
        return ToInterface(value, vt, out);
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN)
        return ValueProperty(value, flags, vt, out);
    if (value.vt == VT_CY || value.vt == VT_DATE)
        return DISP_E_BADVARTYPE;
    switch (vt) {
    case VT_BSTR:
        return ToText(value, flags, out);
    case VT_BOOL:
        return ToBool(value, out);
    case VT_R4:
    case VT_R8:
        return ToReal(value, vt, out);
    case VT_ERROR:
        return DISP_E_TYPEMISMATCH;
    default: {
        Number n;
        const HRESULT hr = ToNumber(value, &n);
        return FAILED(hr) ? hr : ToIntegerType(n, vt, out);
    }
    }
}

} // namespace

STDAPI_(void) VariantInit(VARIANTARG* v)
{
    if (v)
        v->vt = VT_EMPTY;
}

STDAPI VariantClear(VARIANTARG* v)
{
    if (!v)
        return E_INVALIDARG;
    if (!IsValidVariantType(v->vt))
        return DISP_E_BADVARTYPE;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal)
        v->punkVal->Release();
    v->vt = VT_EMPTY;
    return S_OK;
}

STDAPI VariantCopy(VARIANTARG* dest, const VARIANTARG* src)
{
    if (!dest || !src)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    if (!IsValidVariantType(src->vt))
        return DISP_E_BADVARTYPE;
    // src may be owned by dest (a BSTR or object inside what dest holds), so
    // the copy is taken before dest lets go of anything.
    VARIANT copy = *src;
    if (copy.vt == VT_BSTR && copy.bstrVal) {
        copy.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(src->bstrVal),
                                             SysStringByteLen(src->bstrVal));
        if (!copy.bstrVal) {
            VariantClear(dest);
            return E_OUTOFMEMORY;
        }
    } else if ((copy.vt == VT_DISPATCH || copy.vt == VT_UNKNOWN) && copy.punkVal) {
        copy.punkVal->AddRef();
    }
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

STDAPI VariantCopyInd(VARIANT* dest, const VARIANTARG* src)
{
    if (!dest || !src)
        return E_INVALIDARG;
    if (!(src->vt & VT_BYREF))
        return VariantCopy(dest, src);
    VARIANT value;
    HRESULT hr = Dereference(*src, &value);
    if (FAILED(hr))
        return hr == E_POINTER ? E_INVALIDARG : hr;
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &value);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

STDAPI VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt)
{
    if (!dest || !src)
        return E_INVALIDARG;
    if ((vt & (VT_BYREF | VT_ARRAY)) || !IsHeldType(vt) || vt == VT_CY || vt == VT_DATE)
        return DISP_E_BADVARTYPE;
    VARIANT value;
    HRESULT hr = Dereference(*src, &value);
    if (FAILED(hr))
        return hr == E_POINTER ? E_INVALIDARG : hr;
    VARIANT result;
    VariantInit(&result);
    hr = Convert(value, flags, vt, &result);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

STDAPI VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags, VARTYPE vt)
{
    return VariantChangeType(dest, src, flags, vt);
}
