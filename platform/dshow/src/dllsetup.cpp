// Filter registration data in the registry (see dllsetup.h for the layout),
// and the module hook that writes it.
#include "dllsetup.h"

#include <string>

#include "dshowtrace.h"
#include "uuids.h"
#include "wxdebug.h"
#include "win32/registry.h"

namespace {

const char kCategoryInstance[] = "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\";

HRESULT FromRegistry(LONG error)
{
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32((DWORD)error);
}

// UTF-8 to wide text (invalid sequences become U+FFFD).
std::wstring Utf8ToWide(const std::string& text)
{
    std::wstring out;
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = (unsigned char)text[i];
        uint32_t cp = 0xFFFD;
        size_t extra = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        if (i + extra >= text.size()) {
            out.push_back(L'\xFFFD');
            break;
        }
        bool valid = true;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char next = (unsigned char)text[i + k];
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(L'\xFFFD');
            ++i;
            continue;
        }
        out.push_back((wchar_t)cp);
        i += extra + 1;
    }
    return out;
}

// An open key that closes itself.
class RegKey {
public:
    RegKey() = default;
    ~RegKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    LONG Create(HKEY parent, const std::string& path)
    {
        return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
    }
    LONG Open(HKEY parent, const std::string& path)
    {
        return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &m_key);
    }
    HKEY get() const { return m_key; }

    LONG SetString(const char* name, const std::string& value)
    {
        return RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              (DWORD)value.size() + 1);
    }
    LONG SetDword(const char* name, DWORD value)
    {
        return RegSetValueExA(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                              sizeof(value));
    }
    bool GetString(const char* name, std::string* value) const
    {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return false;
        std::string buffer(size, '\0');
        if (RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS)
            return false;
        buffer.resize(size && buffer[size - 1] == '\0' ? size - 1 : size);
        *value = buffer;
        return true;
    }
    DWORD GetDword(const char* name, DWORD fallback) const
    {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegQueryValueExA(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            return fallback;
        return value;
    }
    // Names of the subkeys in the registry's order.
    std::vector<std::string> SubKeys() const
    {
        std::vector<std::string> names;
        for (DWORD index = 0;; ++index) {
            char name[512];
            DWORD length = sizeof(name);
            if (RegEnumKeyExA(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.emplace_back(name, length);
        }
        return names;
    }

private:
    HKEY m_key = nullptr;
};

std::string GuidText(const GUID* guid)
{
    return TvGuidToString(guid ? *guid : GUID_NULL);
}

// Deletes a whole key; a key that is not there is fine.
HRESULT DeleteTree(const std::string& path)
{
    const LONG error = RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    if (error == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return FromRegistry(error);
}

HRESULT WritePin(const std::string& pinsPath, const AMOVIESETUP_PIN& pin)
{
    const std::string name = pin.strName ? TvWideToUtf8(pin.strName) : std::string();
    if (name.empty())
        return E_INVALIDARG;
    const std::string pinPath = pinsPath + "\\" + name;
    RegKey key;
    LONG error = key.Create(HKEY_CLASSES_ROOT, pinPath);
    if (error == ERROR_SUCCESS)
        error = key.SetDword("Direction", pin.bOutput ? 1u : 0u);
    if (error == ERROR_SUCCESS)
        error = key.SetDword("IsRendered", pin.bRendered ? 1u : 0u);
    if (error == ERROR_SUCCESS)
        error = key.SetDword("AllowedZero", pin.bZero ? 1u : 0u);
    if (error == ERROR_SUCCESS)
        error = key.SetDword("AllowedMany", pin.bMany ? 1u : 0u);
    if (error == ERROR_SUCCESS)
        error = key.SetString("ConnectsToFilter", GuidText(pin.clsConnectsToFilter));
    if (error == ERROR_SUCCESS)
        error =
            key.SetString("ConnectsToPin", pin.strConnectsToPin ? TvWideToUtf8(pin.strConnectsToPin)
                                                                : std::string());
    if (error != ERROR_SUCCESS)
        return FromRegistry(error);
    if (pin.nMediaTypes > 0 && !pin.lpMediaType)
        return E_INVALIDARG;
    for (UINT i = 0; i < pin.nMediaTypes; ++i) {
        const AMOVIESETUP_MEDIATYPE& type = pin.lpMediaType[i];
        RegKey typeKey;
        error =
            typeKey.Create(HKEY_CLASSES_ROOT, pinPath + "\\Types\\" + GuidText(type.clsMajorType) +
                                                  "\\" + GuidText(type.clsMinorType));
        if (error != ERROR_SUCCESS)
            return FromRegistry(error);
    }
    return S_OK;
}

HRESULT RegisterFilter(const AMOVIESETUP_FILTER& filter)
{
    const std::string clsid = GuidText(filter.clsID);
    const std::string name = filter.strName ? TvWideToUtf8(filter.strName) : std::string();

    // Start from a clean pin list: a filter that lost a pin must not keep it.
    HRESULT hr = DeleteTree("CLSID\\" + clsid + "\\Pins");
    if (FAILED(hr))
        return hr;

    RegKey filterKey;
    LONG error = filterKey.Create(HKEY_CLASSES_ROOT, "Filter\\" + clsid);
    if (error == ERROR_SUCCESS)
        error = filterKey.SetString(nullptr, name);
    if (error != ERROR_SUCCESS)
        return FromRegistry(error);

    RegKey classKey;
    error = classKey.Create(HKEY_CLASSES_ROOT, "CLSID\\" + clsid);
    if (error == ERROR_SUCCESS)
        error = classKey.SetDword("Merit", filter.dwMerit);
    if (error != ERROR_SUCCESS)
        return FromRegistry(error);

    if (filter.nPins > 0 && !filter.lpPin)
        return E_INVALIDARG;
    for (UINT i = 0; i < filter.nPins; ++i) {
        hr = WritePin("CLSID\\" + clsid + "\\Pins", filter.lpPin[i]);
        if (FAILED(hr))
            return hr;
    }

    RegKey instance;
    error = instance.Create(HKEY_CLASSES_ROOT, std::string(kCategoryInstance) + clsid);
    if (error == ERROR_SUCCESS)
        error = instance.SetString("FriendlyName", name);
    if (error == ERROR_SUCCESS)
        error = instance.SetString("CLSID", clsid);
    if (error == ERROR_SUCCESS)
        error = instance.SetDword("Merit", filter.dwMerit);
    return FromRegistry(error);
}

HRESULT UnregisterFilter(const AMOVIESETUP_FILTER& filter)
{
    const std::string clsid = GuidText(filter.clsID);
    HRESULT result = DeleteTree("Filter\\" + clsid);
    const HRESULT hrInstance = DeleteTree(std::string(kCategoryInstance) + clsid);
    if (SUCCEEDED(result))
        result = hrInstance;
    const HRESULT hrPins = DeleteTree("CLSID\\" + clsid + "\\Pins");
    if (SUCCEEDED(result))
        result = hrPins;
    HKEY classKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid).c_str(), 0, KEY_ALL_ACCESS,
                      &classKey) == ERROR_SUCCESS) {
        const LONG error = RegDeleteValueA(classKey, "Merit");
        RegCloseKey(classKey);
        if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && SUCCEEDED(result))
            result = FromRegistry(error);
    }
    return result;
}

} // namespace

HRESULT AMovieSetupRegisterFilter(const AMOVIESETUP_FILTER* psetupdata, BOOL bRegister)
{
    if (!psetupdata || !psetupdata->clsID)
        return E_INVALIDARG;
    const HRESULT hr = bRegister ? RegisterFilter(*psetupdata) : UnregisterFilter(*psetupdata);
    DSHOW_TRACE("%s filter %s \"%s\" -> 0x%08x", bRegister ? "register" : "unregister",
                GuidText(psetupdata->clsID).c_str(), TvDshowTraceName(psetupdata->strName).c_str(),
                (unsigned)hr);
    return hr;
}

extern "C" __attribute__((visibility("default"))) HRESULT
TvRegisterModuleExtras(const CFactoryTemplate* templates, int count, BOOL reg)
{
    if (count > 0 && !templates)
        return E_INVALIDARG;
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        const AMOVIESETUP_FILTER* setup = templates[i].m_pAMovieSetup_Filter;
        if (!setup)
            continue;
        const HRESULT hr = AMovieSetupRegisterFilter(setup, reg);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
        // Registration stops at the first failure; removal goes on.
        if (FAILED(hr) && reg)
            break;
    }
    return result;
}

HRESULT TvQueryRegisteredFilter(REFCLSID clsid, TvRegisteredFilter* pFilter)
{
    CheckPointer(pFilter, E_POINTER);
    *pFilter = TvRegisteredFilter{};
    const std::string text = TvGuidToString(clsid);
    RegKey filterKey;
    if (filterKey.Open(HKEY_CLASSES_ROOT, "Filter\\" + text) != ERROR_SUCCESS)
        return S_FALSE;
    pFilter->clsid = clsid;
    std::string name;
    if (filterKey.GetString(nullptr, &name))
        pFilter->name = Utf8ToWide(name);

    RegKey classKey;
    if (classKey.Open(HKEY_CLASSES_ROOT, "CLSID\\" + text) != ERROR_SUCCESS)
        return S_OK;
    pFilter->dwMerit = classKey.GetDword("Merit", 0);

    RegKey pinsKey;
    if (pinsKey.Open(classKey.get(), "Pins") != ERROR_SUCCESS)
        return S_OK;
    for (const std::string& pinName : pinsKey.SubKeys()) {
        RegKey pinKey;
        if (pinKey.Open(pinsKey.get(), pinName) != ERROR_SUCCESS)
            continue;
        TvRegisteredPin pin;
        pin.name = Utf8ToWide(pinName);
        pin.bOutput = pinKey.GetDword("Direction", 0) == 1;
        pin.bRendered = pinKey.GetDword("IsRendered", 0) != 0;
        pin.bZero = pinKey.GetDword("AllowedZero", 0) != 0;
        pin.bMany = pinKey.GetDword("AllowedMany", 0) != 0;
        std::string value;
        if (pinKey.GetString("ConnectsToFilter", &value))
            TvGuidFromString(value.c_str(), &pin.clsConnectsToFilter);
        if (pinKey.GetString("ConnectsToPin", &value))
            pin.strConnectsToPin = Utf8ToWide(value);
        RegKey typesKey;
        if (typesKey.Open(pinKey.get(), "Types") == ERROR_SUCCESS) {
            for (const std::string& major : typesKey.SubKeys()) {
                RegKey majorKey;
                if (majorKey.Open(typesKey.get(), major) != ERROR_SUCCESS)
                    continue;
                GUID majorGuid = GUID_NULL;
                TvGuidFromString(major.c_str(), &majorGuid);
                for (const std::string& minor : majorKey.SubKeys()) {
                    GUID minorGuid = GUID_NULL;
                    TvGuidFromString(minor.c_str(), &minorGuid);
                    pin.mediaTypes.emplace_back(majorGuid, minorGuid);
                }
            }
        }
        pFilter->pins.push_back(std::move(pin));
    }
    return S_OK;
}
