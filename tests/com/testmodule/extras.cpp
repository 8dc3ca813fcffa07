// A module that adds its own registration data through TvRegisterModuleExtras,
// the way the DirectShow layer adds filter data.
#include <stdlib.h>
#include <string.h>

#include "testcalc.h"
#include "win32/registry.h"

namespace {

class CTestExtras : public CUnknown {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr)
    {
        return new CTestExtras(outer, phr);
    }

private:
    CTestExtras(LPUNKNOWN outer, HRESULT* phr) : CUnknown("Test extras", outer, phr) {}
};

} // namespace

CFactoryTemplate g_Templates[] = {
    {L"Tarvo Test Extras", &CLSID_TestExtras, CTestExtras::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

// Registering: "Extras"="<template count>" on each class key (written after
// the class keys, so the key is there). Unregistering: a marker value under
// HKEY_CLASSES_ROOT\TarvoTestExtras records that the hook ran first, while the
// class key still existed. TARVO_TEST_EXTRAS_FAIL makes the hook fail.
extern "C" HRESULT TvRegisterModuleExtras(const CFactoryTemplate* templates, int count, BOOL reg)
{
    if (getenv("TARVO_TEST_EXTRAS_FAIL"))
        return E_ACCESSDENIED;
    for (int i = 0; i < count; ++i) {
        const std::string classKey = "CLSID\\" + TvGuidToString(*templates[i].m_ClsID);
        HKEY key = nullptr;
        if (reg) {
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_SET_VALUE, &key) !=
                ERROR_SUCCESS)
                return E_FAIL;
            const std::string value = std::to_string(count);
            RegSetValueExA(key, "Extras", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
        } else {
            HKEY probe = nullptr;
            const bool classKeyThere = RegOpenKeyExA(HKEY_CLASSES_ROOT, classKey.c_str(), 0,
                                                     KEY_QUERY_VALUE, &probe) == ERROR_SUCCESS;
            if (probe)
                RegCloseKey(probe);
            if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "TarvoTestExtras", 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS)
                return E_FAIL;
            const char* marker = classKeyThere ? "before" : "after";
            RegSetValueExA(key, "Unregistered", 0, REG_SZ, reinterpret_cast<const BYTE*>(marker),
                           static_cast<DWORD>(strlen(marker) + 1));
        }
        RegCloseKey(key);
    }
    return S_OK;
}
