// Helpers shared by the COM tests.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "objbase.h"
#include "win32/registry.h"

// A registry file of its own in a fresh folder, made current for the process
// while the object lives (the default registry comes back afterwards).
class TempRegistry {
public:
    TempRegistry()
    {
        char folder[] = "/tmp/tvcom-test-XXXXXX";
        if (mkdtemp(folder))
            m_folder = folder;
        m_path = m_folder + "/registry.reg";
        TvSetRegistryPath(m_path.c_str());
    }
    ~TempRegistry()
    {
        TvSetRegistryPath(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::string& Path() const { return m_path; }
    const std::string& Folder() const { return m_folder; }

private:
    std::string m_folder;
    std::string m_path;
};

// A string value of a key under HKEY_CLASSES_ROOT; "<missing>" when absent.
inline std::string ReadClassesRootString(const std::string& key, const char* valueName)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return "<missing>";
    char buffer[4096];
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExA(hkey, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(hkey);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return std::string(buffer);
}

inline bool ClassesRootKeyExists(const std::string& key)
{
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hkey);
    return true;
}
