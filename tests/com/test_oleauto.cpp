// BSTR allocation, the VARIANT operations and their conversions, and ProgIDs
// in the registry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "com_test_support.h"
#include "objbase.h"
#include "oleauto.h"

namespace {

// A variant that clears itself.
struct Var : VARIANT {
    Var() { VariantInit(this); }
    ~Var() { VariantClear(this); }
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
};

TEST(Bstr, KeepsItsByteCountBeforeTheTextAndANulAfterIt)
{
    BSTR s = SysAllocString(L"Tarvo");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 5u * sizeof(OLECHAR));
    DWORD prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<BYTE*>(s) - sizeof(DWORD), sizeof(prefix));
    EXPECT_EQ(prefix, 5u * sizeof(OLECHAR));
    EXPECT_EQ(s[5], L'\0');
    EXPECT_EQ(std::wstring(s), L"Tarvo");

    // Embedded NULs count; a null source gives zeros of the asked length.
    BSTR embedded = SysAllocStringLen(L"a\0b", 3);
    EXPECT_EQ(SysStringLen(embedded), 3u);
    EXPECT_EQ(embedded[2], L'b');
    BSTR zeros = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(SysStringLen(zeros), 4u);
    EXPECT_EQ(zeros[0], L'\0');
    EXPECT_EQ(zeros[4], L'\0');

    // The byte form keeps odd byte counts.
    BSTR bytes = SysAllocStringByteLen("abcdefg", 7);
    EXPECT_EQ(SysStringByteLen(bytes), 7u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    EXPECT_EQ(std::memcmp(bytes, "abcdefg", 7), 0);

    // Reallocation from a part of itself.
    EXPECT_TRUE(SysReAllocStringLen(&s, s + 1, 3));
    EXPECT_EQ(std::wstring(s), L"arv");
    EXPECT_TRUE(SysReAllocString(&s, L""));
    EXPECT_EQ(SysStringLen(s), 0u);
    EXPECT_FALSE(SysReAllocString(nullptr, L"x"));

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x40000000u), nullptr);
    SysFreeString(nullptr);
    for (BSTR b : {s, embedded, zeros, bytes})
        SysFreeString(b);
}

Var* MakeI4(Var* v, LONG value)
{
    v->vt = VT_I4;
    v->lVal = value;
    return v;
}

// One conversion: the source (built by a function), the target type, and the
// expected result (HRESULT and, on success, the value as text through the
// same conversion to VT_BSTR, or the exact number for integer targets).
struct Conversion {
    const char* name;
    void (*make)(VARIANT* v);
    VARTYPE target;
    USHORT flags;
    HRESULT result;
    LONGLONG integer;    // integer and boolean targets
    double real;         // VT_R4 and VT_R8 targets
    const wchar_t* text; // VT_BSTR targets
};

void Text(VARIANT* v, const wchar_t* text)
{
    v->vt = VT_BSTR;
    v->bstrVal = SysAllocString(text);
}

LONGLONG IntegerOf(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I1:
        return v.cVal;
    case VT_UI1:
        return v.bVal;
    case VT_I2:
        return v.iVal;
    case VT_UI2:
        return v.uiVal;
    case VT_I4:
    case VT_INT:
        return v.lVal;
    case VT_UI4:
    case VT_UINT:
        return v.ulVal;
    case VT_I8:
        return v.llVal;
    case VT_UI8:
        return LONGLONG(v.ullVal);
    case VT_BOOL:
        return v.boolVal;
    default:
        return 0x7EADBEEF;
    }
}

const Conversion kConversions[] = {
    // Numbers to I4: fractions round to the nearest, halves to even.
    {"R8_2_5_to_I4", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 2.5; }, VT_I4, 0, S_OK, 2, 0,
     nullptr},
    {"R8_3_5_to_I4", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 3.5; }, VT_I4, 0, S_OK, 4, 0,
     nullptr},
    {"R8_m2_5_to_I4", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = -2.5; }, VT_I4, 0, S_OK, -2, 0,
     nullptr},
    {"R8_2_6_to_I4", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 2.6; }, VT_I4, 0, S_OK, 3, 0,
     nullptr},
    {"R8_huge_to_I4", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 3e9; }, VT_I4, 0, DISP_E_OVERFLOW,
     0, 0, nullptr},
    {"R4_to_I4", [](VARIANT* v) { v->vt = VT_R4, v->fltVal = -7.25f; }, VT_I4, 0, S_OK, -7, 0,
     nullptr},
    {"I2_to_I4", [](VARIANT* v) { v->vt = VT_I2, v->iVal = -300; }, VT_I4, 0, S_OK, -300, 0,
     nullptr},
    {"UI4_big_to_I4", [](VARIANT* v) { v->vt = VT_UI4, v->ulVal = 0x80000000u; }, VT_I4, 0,
     DISP_E_OVERFLOW, 0, 0, nullptr},
    {"UI4_to_I4", [](VARIANT* v) { v->vt = VT_UI4, v->ulVal = 0x7FFFFFFFu; }, VT_I4, 0, S_OK,
     0x7FFFFFFF, 0, nullptr},
    {"I4_to_I2_overflow", [](VARIANT* v) { v->vt = VT_I4, v->lVal = 40000; }, VT_I2, 0,
     DISP_E_OVERFLOW, 0, 0, nullptr},
    {"I4_to_UI4_negative", [](VARIANT* v) { v->vt = VT_I4, v->lVal = -1; }, VT_UI4, 0,
     DISP_E_OVERFLOW, 0, 0, nullptr},
    {"I4_to_UI4", [](VARIANT* v) { v->vt = VT_I4, v->lVal = 255; }, VT_UI4, 0, S_OK, 255, 0,
     nullptr},
    {"Bool_to_I4", [](VARIANT* v) { v->vt = VT_BOOL, v->boolVal = VARIANT_TRUE; }, VT_I4, 0, S_OK,
     -1, 0, nullptr},
    {"Empty_to_I4", [](VARIANT* v) { v->vt = VT_EMPTY; }, VT_I4, 0, S_OK, 0, 0, nullptr},
    {"Null_to_I4", [](VARIANT* v) { v->vt = VT_NULL; }, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, 0,
     nullptr},
    {"I8_to_I4", [](VARIANT* v) { v->vt = VT_I8, v->llVal = -2147483648LL; }, VT_I4, 0, S_OK,
     -2147483648LL, 0, nullptr},
    {"I8_to_I4_overflow", [](VARIANT* v) { v->vt = VT_I8, v->llVal = -2147483649LL; }, VT_I4, 0,
     DISP_E_OVERFLOW, 0, 0, nullptr},
    // Text to numbers.
    {"Text_to_I4", [](VARIANT* v) { Text(v, L"  -1234 "); }, VT_I4, 0, S_OK, -1234, 0, nullptr},
    {"Text_fraction_to_I4", [](VARIANT* v) { Text(v, L"12.5"); }, VT_I4, 0, S_OK, 12, 0, nullptr},
    {"Text_exponent_to_I4", [](VARIANT* v) { Text(v, L"1e3"); }, VT_I4, 0, S_OK, 1000, 0, nullptr},
    {"Text_hex_to_I4", [](VARIANT* v) { Text(v, L"&HFF"); }, VT_I4, 0, S_OK, 255, 0, nullptr},
    {"Text_octal_to_I4", [](VARIANT* v) { Text(v, L"&o17"); }, VT_I4, 0, S_OK, 15, 0, nullptr},
    {"Text_big_to_I4", [](VARIANT* v) { Text(v, L"2147483648"); }, VT_I4, 0, DISP_E_OVERFLOW, 0, 0,
     nullptr},
    {"Text_word_to_I4", [](VARIANT* v) { Text(v, L"twelve"); }, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, 0,
     nullptr},
    {"Text_empty_to_I4", [](VARIANT* v) { Text(v, L""); }, VT_I4, 0, DISP_E_TYPEMISMATCH, 0, 0,
     nullptr},
    {"Text_trailing_to_I4", [](VARIANT* v) { Text(v, L"12abc"); }, VT_I4, 0, DISP_E_TYPEMISMATCH, 0,
     0, nullptr},
    {"Text_bad_hex_to_I4", [](VARIANT* v) { Text(v, L"&HFG"); }, VT_I4, 0, DISP_E_TYPEMISMATCH, 0,
     0, nullptr},
    {"Text_to_R8", [](VARIANT* v) { Text(v, L"-0.125"); }, VT_R8, 0, S_OK, 0, -0.125, nullptr},
    {"Text_to_I8", [](VARIANT* v) { Text(v, L"9007199254740993"); }, VT_I8, 0, S_OK,
     9007199254740993LL, 0, nullptr},
    // Truth values.
    {"Text_true_to_Bool", [](VARIANT* v) { Text(v, L"TRUE"); }, VT_BOOL, 0, S_OK, VARIANT_TRUE, 0,
     nullptr},
    {"Text_false_to_Bool", [](VARIANT* v) { Text(v, L"false"); }, VT_BOOL, 0, S_OK, VARIANT_FALSE,
     0, nullptr},
    {"Text_number_to_Bool", [](VARIANT* v) { Text(v, L"2"); }, VT_BOOL, 0, S_OK, VARIANT_TRUE, 0,
     nullptr},
    {"I4_to_Bool", [](VARIANT* v) { v->vt = VT_I4, v->lVal = 5; }, VT_BOOL, 0, S_OK, VARIANT_TRUE,
     0, nullptr},
    {"R8_zero_to_Bool", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 0.0; }, VT_BOOL, 0, S_OK,
     VARIANT_FALSE, 0, nullptr},
    // Numbers to text.
    {"I4_to_Text", [](VARIANT* v) { v->vt = VT_I4, v->lVal = -42; }, VT_BSTR, 0, S_OK, 0, 0,
     L"-42"},
    {"UI4_to_Text", [](VARIANT* v) { v->vt = VT_UI4, v->ulVal = 4294967295u; }, VT_BSTR, 0, S_OK, 0,
     0, L"4294967295"},
    {"R8_to_Text", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 0.1; }, VT_BSTR, 0, S_OK, 0, 0,
     L"0.1"},
    {"R8_big_to_Text", [](VARIANT* v) { v->vt = VT_R8, v->dblVal = 1e20; }, VT_BSTR, 0, S_OK, 0, 0,
     L"1E+20"},
    {"Bool_to_Text", [](VARIANT* v) { v->vt = VT_BOOL, v->boolVal = VARIANT_TRUE; }, VT_BSTR, 0,
     S_OK, 0, 0, L"-1"},
    {"Bool_to_AlphaText", [](VARIANT* v) { v->vt = VT_BOOL, v->boolVal = VARIANT_FALSE; }, VT_BSTR,
     VARIANT_ALPHABOOL, S_OK, 0, 0, L"False"},
    {"Empty_to_Text", [](VARIANT* v) { v->vt = VT_EMPTY; }, VT_BSTR, 0, S_OK, 0, 0, L""},
    {"Null_to_Text", [](VARIANT* v) { v->vt = VT_NULL; }, VT_BSTR, 0, DISP_E_TYPEMISMATCH, 0, 0,
     nullptr},
    // Types not held here, and by-reference targets.
    {"I4_to_Date", [](VARIANT* v) { v->vt = VT_I4, v->lVal = 1; }, VT_DATE, 0, DISP_E_BADVARTYPE, 0,
     0, nullptr},
    {"I4_to_ByRef", [](VARIANT* v) { v->vt = VT_I4, v->lVal = 1; }, VT_BYREF | VT_I4, 0,
     DISP_E_BADVARTYPE, 0, 0, nullptr},
    {"Error_to_I4", [](VARIANT* v) { v->vt = VT_ERROR, v->scode = DISP_E_PARAMNOTFOUND; }, VT_I4, 0,
     DISP_E_TYPEMISMATCH, 0, 0, nullptr},
};

class VariantConversion : public testing::TestWithParam<Conversion> {};

TEST_P(VariantConversion, GivesTheWindowsResult)
{
    const Conversion& c = GetParam();
    Var source;
    c.make(&source);
    Var dest;
    dest.vt = VT_I4;
    dest.lVal = 77;
    const HRESULT hr = VariantChangeType(&dest, &source, c.flags, c.target);
    ASSERT_EQ(hr, c.result);
    if (FAILED(hr)) {
        // A failure leaves the destination as it was.
        EXPECT_EQ(dest.vt, VT_I4);
        EXPECT_EQ(dest.lVal, 77);
        return;
    }
    ASSERT_EQ(dest.vt, c.target);
    if (c.target == VT_BSTR)
        EXPECT_EQ(std::wstring(dest.bstrVal, SysStringLen(dest.bstrVal)), c.text);
    else if (c.target == VT_R8)
        EXPECT_EQ(dest.dblVal, c.real);
    else
        EXPECT_EQ(IntegerOf(dest), c.integer);
}

INSTANTIATE_TEST_SUITE_P(Table, VariantConversion, testing::ValuesIn(kConversions),
                         [](const testing::TestParamInfo<Conversion>& info) {
                             return std::string(info.param.name);
                         });

TEST(Variant, ByReferenceSourcesAreReadThroughTheirPointer)
{
    // VT_BYREF | VT_I4, as a script host passes an out parameter.
    LONG value = 41;
    Var ref;
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &value;
    Var text;
    ASSERT_EQ(VariantChangeType(&text, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::wstring(text.bstrVal), L"41");

    // VT_BYREF | VT_VARIANT pointing at a BSTR: converted in place, the
    // referenced variant keeps its string.
    Var inner;
    Text(&inner, L"17");
    Var outer;
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&outer, &outer, 0, VT_I4), S_OK);
    EXPECT_EQ(outer.vt, VT_I4);
    EXPECT_EQ(outer.lVal, 17);
    EXPECT_EQ(std::wstring(inner.bstrVal), L"17");

    // VariantCopyInd copies the referenced value, VariantCopy the reference.
    Var copy;
    ref.plVal = &value;
    ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, 41);
    ASSERT_EQ(VariantCopy(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_BYREF | VT_I4);
    EXPECT_EQ(copy.plVal, &value);

    // A null reference is refused, never followed.
    Var broken;
    broken.vt = VT_BYREF | VT_I4;
    broken.plVal = nullptr;
    EXPECT_EQ(VariantChangeType(&copy, &broken, 0, VT_I4), E_INVALIDARG);
    broken.vt = VT_EMPTY;
}

// A counted object that answers IDispatch with a DISPID_VALUE of 9.
class ValueObject : public IDispatch {
public:
    ULONG refs = 1;
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_VALUE || flags != DISPATCH_PROPERTYGET || params->cArgs != 0)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 9;
        return S_OK;
    }
};

TEST(Variant, CopyAndClearCountObjectReferencesAndDuplicateStrings)
{
    ValueObject object;
    {
        Var v;
        v.vt = VT_DISPATCH;
        v.pdispVal = &object;
        object.AddRef();
        Var copy;
        ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
        EXPECT_EQ(object.refs, 3u);
        // An object converts to its value property, unless told not to.
        Var number;
        ASSERT_EQ(VariantChangeType(&number, &v, 0, VT_I4), S_OK);
        EXPECT_EQ(number.lVal, 9);
        EXPECT_EQ(VariantChangeType(&number, &v, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
        Var unknown;
        ASSERT_EQ(VariantChangeType(&unknown, &v, 0, VT_UNKNOWN), S_OK);
        EXPECT_EQ(object.refs, 4u);
        EXPECT_EQ(VariantChangeType(&unknown, &number, 0, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(object.refs, 1u);

    Var text;
    Text(&text, L"abc");
    Var copy;
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(std::wstring(copy.bstrVal), L"abc");
    // Copying a variant onto itself changes nothing.
    ASSERT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(std::wstring(copy.bstrVal), L"abc");

    Var bad;
    bad.vt = VT_DECIMAL;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&copy, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(copy.vt, VT_BSTR);
    bad.vt = VT_EMPTY;
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    Var i4;
    EXPECT_EQ(VariantChangeType(nullptr, MakeI4(&i4, 1), 0, VT_I4), E_INVALIDARG);
}

DEFINE_GUID(kProgClass, 0x25CDEFD7, 0xE75F, 0x44F0, 0x8E, 0x91, 0xAA, 0x94, 0xFC, 0x5B, 0x9B, 0x61);

TEST(ProgId, RoundTripsThroughTheRegistryAsWindowsKeepsIt)
{
    TempRegistry registry;
    const char* progId = "TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1";
    CLSID clsid = kProgClass;
    EXPECT_EQ(CLSIDFromProgID(L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(clsid == GUID_NULL);
    LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(ProgIDFromCLSID(kProgClass, &name), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(name, nullptr);

    ASSERT_EQ(TvRegisterProgID(kProgClass, progId, "TarvoPlayerOCX Control"), S_OK);
    EXPECT_EQ(ReadClassesRootString(progId, nullptr), "TarvoPlayerOCX Control");
    EXPECT_EQ(ReadClassesRootString(std::string(progId) + "\\CLSID", nullptr),
              "{25CDEFD7-E75F-44F0-8E91-AA94FC5B9B61}");
    EXPECT_EQ(
        ReadClassesRootString("CLSID\\{25CDEFD7-E75F-44F0-8E91-AA94FC5B9B61}\\ProgID", nullptr),
        progId);

    // Names are found without regard to case, as Windows' registry does.
    ASSERT_EQ(CLSIDFromProgID(L"tarvoplayerocx.tarvoplayerocxctrl.1", &clsid), S_OK);
    EXPECT_TRUE(clsid == kProgClass);
    ASSERT_EQ(ProgIDFromCLSID(kProgClass, &name), S_OK);
    EXPECT_EQ(std::wstring(name), L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1");
    CoTaskMemFree(name);

    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(L"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(ProgIDFromCLSID(kProgClass, nullptr), E_INVALIDARG);
    EXPECT_EQ(TvRegisterProgID(kProgClass, "a\\b", nullptr), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(L"CLSID", &clsid), CO_E_CLASSSTRING);

    ASSERT_EQ(TvUnregisterProgID(kProgClass, progId), S_OK);
    EXPECT_FALSE(ClassesRootKeyExists(progId));
    EXPECT_EQ(CLSIDFromProgID(L"TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(ProgIDFromCLSID(kProgClass, &name), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(TvUnregisterProgID(kProgClass, progId), S_OK);
}

} // namespace
