// Class keys of in-process servers, and where a module lives.
#include "com/register.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "com/coapi.h"
#include "win32/registry.h"

namespace {

std::string ClassKey(REFCLSID clsid)
{
    return "CLSID\\" + TvGuidToString(clsid);
}

HRESULT SetString(HKEY key, const char* name, const std::string& value)
{
    const LONG rc =
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

std::string AbsolutePath(const char* path)
{
    char resolved[PATH_MAX];
    if (realpath(path, resolved))
        return resolved;
    if (path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof(cwd)))
        return path;
    return std::string(cwd) + "/" + path;
}

// The default value of HKEY_CLASSES_ROOT\<key>, when it is a string.
bool ReadDefaultString(const std::string& key, std::string* value)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(hkey, nullptr, nullptr, &type, nullptr, &size);
    std::string buffer(size, '\0');
    if (rc == ERROR_SUCCESS && type == REG_SZ && size > 0)
        rc = RegQueryValueExA(hkey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                              &size);
    RegCloseKey(hkey);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return false;
    buffer.resize(strnlen(buffer.c_str(), size));
    *value = buffer;
    return true;
}

// Writes the default value of HKEY_CLASSES_ROOT\<key>, creating the key.
HRESULT WriteDefaultString(const std::string& key, const std::string& value)
{
    HKEY hkey = nullptr;
    const LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &hkey, nullptr);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
    const HRESULT hr = SetString(hkey, nullptr, value);
    RegCloseKey(hkey);
    return hr;
}

bool IsValidProgID(const char* progId)
{
    return progId && *progId && !std::strchr(progId, '\\');
}

HRESULT DeleteTree(const std::string& key)
{
    const LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
}

} // namespace

HRESULT TvRegisterInprocServer(REFCLSID clsid, const WCHAR* friendlyName, const char* modulePath,
                               const char* threadingModel)
{
    if (!modulePath || !*modulePath)
        return E_INVALIDARG;
    HKEY classKey = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str(), 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &classKey, nullptr);
    if (rc != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
    HRESULT hr = S_OK;
    if (friendlyName)
        hr = SetString(classKey, nullptr, TvWideToUtf8(friendlyName));
    HKEY serverKey = nullptr;
    if (SUCCEEDED(hr)) {
        rc = RegCreateKeyExA(classKey, "InprocServer32", 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_WRITE, nullptr, &serverKey, nullptr);
        if (rc != ERROR_SUCCESS)
            hr = HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
    }
    if (SUCCEEDED(hr))
        hr = SetString(serverKey, nullptr, AbsolutePath(modulePath));
    if (SUCCEEDED(hr) && threadingModel)
        hr = SetString(serverKey, "ThreadingModel", threadingModel);
    if (serverKey)
        RegCloseKey(serverKey);
    RegCloseKey(classKey);
    return hr;
}

HRESULT TvUnregisterInprocServer(REFCLSID clsid)
{
    return DeleteTree(ClassKey(clsid));
}

HRESULT TvRegisterProgID(REFCLSID clsid, const char* progId, const char* friendlyName)
{
    if (!IsValidProgID(progId))
        return E_INVALIDARG;
    const std::string progKey(progId);
    HRESULT hr = friendlyName ? WriteDefaultString(progKey, friendlyName) : S_OK;
    if (SUCCEEDED(hr))
        hr = WriteDefaultString(progKey + "\\CLSID", TvGuidToString(clsid));
    if (SUCCEEDED(hr))
        hr = WriteDefaultString(ClassKey(clsid) + "\\ProgID", progKey);
    return hr;
}

HRESULT TvUnregisterProgID(REFCLSID clsid, const char* progId)
{
    if (!IsValidProgID(progId))
        return E_INVALIDARG;
    const HRESULT hr = DeleteTree(progId);
    const HRESULT classHr = DeleteTree(ClassKey(clsid) + "\\ProgID");
    return FAILED(hr) ? hr : classHr;
}

STDAPI CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid)
{
    if (!progId || !clsid)
        return E_INVALIDARG;
    *clsid = GUID_NULL;
    const std::string name = TvWideToUtf8(progId);
    std::string text;
    if (!IsValidProgID(name.c_str()) || !ReadDefaultString(name + "\\CLSID", &text) ||
        !TvGuidFromString(text.c_str(), clsid)) {
        *clsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId)
{
    if (!progId)
        return E_INVALIDARG;
    *progId = nullptr;
    std::string name;
    if (!ReadDefaultString(ClassKey(clsid) + "\\ProgID", &name) || name.empty())
        return REGDB_E_CLASSNOTREG;
    const std::wstring wide = TvUtf8ToWide(name.c_str());
    auto* out = static_cast<LPOLESTR>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
    if (!out)
        return E_OUTOFMEMORY;
    std::wmemcpy(out, wide.c_str(), wide.size() + 1);
    *progId = out;
    return S_OK;
}

std::string TvGetModulePath(const void* anyAddressInModule)
{
    Dl_info info;
    if (!anyAddressInModule || !dladdr(anyAddressInModule, &info))
        return std::string();
    char resolved[PATH_MAX];
    if (info.dli_fname && *info.dli_fname && realpath(info.dli_fname, resolved))
        return resolved;
    if (info.dli_fname && info.dli_fname[0] == '/')
        return info.dli_fname;
    // The main program is reported by the name it was started with (or none),
    // which need not resolve from the current directory.
    const ssize_t length = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
    if (length <= 0)
        return std::string();
    resolved[length] = 0;
    return resolved;
}
