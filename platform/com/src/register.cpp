// Class keys of in-process servers, and where a module lives.
#include "com/register.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

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
    const LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey(clsid).c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return HRESULT_FROM_WIN32(static_cast<DWORD>(rc));
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
