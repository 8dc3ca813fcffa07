// The control's module: its two classes and what it registers beyond their
// class keys (ProgIDs, the control's type information as registry values).
#include <cstdio>
#include <string>

#include "CTarvoPlayerOCXCtrl.h"
#include "com/register.h"
#include "win32/registry.h"

CFactoryTemplate g_Templates[] = {
    {L"TarvoPlayerOCX Control", &CLSID_TarvoPlayerOCX, CTarvoPlayerOCXCtrl::CreateInstance, nullptr,
     nullptr},
    {L"TarvoPlayerOCX Property Page", &CLSID_TarvoPlayerOCXPropPage,
     CTarvoPlayerOCXPropPage::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

namespace {

HRESULT SetDefault(const std::string& key, const std::string& value)
{
    HKEY hkey = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &hkey, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
        RegCloseKey(hkey);
    }
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

HRESULT RegisterControlKeys()
{
    const std::string key = "CLSID\\" + TvGuidToString(CLSID_TarvoPlayerOCX);
    char misc[16];
    std::snprintf(misc, sizeof misc, "%u", static_cast<unsigned>(kOcxMiscStatus));
    HRESULT hr = TvRegisterProgID(CLSID_TarvoPlayerOCX, kOcxProgID, kOcxTypeName);
    if (SUCCEEDED(hr))
        hr = SetDefault(key + "\\Control", "");
    if (SUCCEEDED(hr))
        hr = SetDefault(key + "\\MiscStatus", "0");
    if (SUCCEEDED(hr))
        hr = SetDefault(key + "\\MiscStatus\\1", misc);
    if (SUCCEEDED(hr))
        hr = SetDefault(key + "\\TypeLib", TvGuidToString(LIBID_TARVOPLAYEROCXLib));
    if (SUCCEEDED(hr))
        hr = SetDefault(key + "\\Version", "1.0");
    if (SUCCEEDED(hr))
        hr = TvRegisterProgID(CLSID_TarvoPlayerOCXPropPage, kOcxPageProgID, kOcxPageTypeName);
    return hr;
}

} // namespace

// Called by the module's DllRegisterServer/DllUnregisterServer after (before)
// the class keys.
extern "C" __attribute__((visibility("default"))) HRESULT
TvRegisterModuleExtras(const CFactoryTemplate*, int, BOOL reg)
{
    if (reg)
        return RegisterControlKeys();
    const HRESULT hr = TvUnregisterProgID(CLSID_TarvoPlayerOCX, kOcxProgID);
    const HRESULT page = TvUnregisterProgID(CLSID_TarvoPlayerOCXPropPage, kOcxPageProgID);
    return FAILED(hr) ? hr : page;
}
