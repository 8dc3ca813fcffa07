// The test module's classes and its custom interface, shared by the module and
// the tests that load it.
#pragma once

#include "objbase.h"

// {6A1E5C0B-3F27-4B8E-9D41-2C7F0E9B5A13}
DEFINE_GUID(CLSID_TestCalc, 0x6A1E5C0B, 0x3F27, 0x4B8E, 0x9D, 0x41, 0x2C, 0x7F, 0x0E, 0x9B, 0x5A,
            0x13);
// {0C9F4E27-81D5-4A6B-B3E8-5D2A6F1C7E90}: a class that refuses aggregation.
DEFINE_GUID(CLSID_TestLoner, 0x0C9F4E27, 0x81D5, 0x4A6B, 0xB3, 0xE8, 0x5D, 0x2A, 0x6F, 0x1C, 0x7E,
            0x90);
// {9E8D7C6B-5A49-4382-B1A0-F9E8D7C6B5A4}: the class of the module with registration extras.
DEFINE_GUID(CLSID_TestExtras, 0x9E8D7C6B, 0x5A49, 0x4382, 0xB1, 0xA0, 0xF9, 0xE8, 0xD7, 0xC6, 0xB5,
            0xA4);
// {E4B7D2A1-5C36-4F09-8A1D-7B3E9C2F6D48}
DEFINE_GUID(IID_ITestCalc, 0xE4B7D2A1, 0x5C36, 0x4F09, 0x8A, 0x1D, 0x7B, 0x3E, 0x9C, 0x2F, 0x6D,
            0x48);

#define TEST_CALC_NAME L"Tarvo Test Calculator"
#define TEST_LONER_NAME L"Tarvo Test Lone Object \u00e9"

class ITestCalc : public IUnknown {
public:
    // slot 3
    STDMETHOD(SetValue)(LONG value) PURE;
    // slot 4: E_POINTER for null
    STDMETHOD(GetValue)(LONG* value) PURE;
    // slot 5: *sum = a + b + the stored value
    STDMETHOD(Add)(LONG a, LONG b, LONG* sum) PURE;
    // slot 6: the object's outer unknown (null when not aggregated), no reference added
    STDMETHOD_(IUnknown*, PeekOuter)() PURE;
};

// Exported by the module for the tests (extern "C").
// Number of init routine calls with loading TRUE since the module was loaded.
typedef int (*TestModuleLoadCallsFn)(void);
// Called for each init routine call with loading FALSE (at unload).
typedef void (*TestModuleUnloadHook)(const CLSID* clsid);
typedef void (*TestModuleSetUnloadHookFn)(TestModuleUnloadHook hook);
