// For the frame processor's COM-level tests: COM initialised, and a registry
// (a copy of the build's, so the modules are found) and a drive C: of the
// test's own, so that settings and logs never reach another test.
#pragma once

#include "win32/registry.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class ProcesserTestEnv {
public:
    // Call with ASSERT_NO_FATAL_FAILURE.
    void SetUp(const char* name)
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        std::string pattern = (std::filesystem::temp_directory_path() / name).string() + "-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        const std::filesystem::path registry = m_dir / "registry.reg";
        std::filesystem::copy_file(TvGetRegistryPath(), registry);
        TvSetRegistryPath(registry.c_str());
        std::filesystem::create_directory(DriveC());
        setenv("TARVO_DRIVE_C", DriveC().c_str(), 1);
        m_set = true;
    }
    void TearDown()
    {
        if (!m_set)
            return;
        unsetenv("TARVO_DRIVE_C");
        TvSetRegistryPath(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        CoUninitialize();
        m_set = false;
    }

    // The test's own folder (removed afterwards) and the drive C: in it.
    const std::filesystem::path& Dir() const { return m_dir; }
    std::filesystem::path DriveC() const { return m_dir / "c"; }

private:
    std::filesystem::path m_dir;
    bool m_set = false;
};
