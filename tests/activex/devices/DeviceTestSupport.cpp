#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <windows.h>

#include "CPlayerBase.h"

CScratchFolder::CScratchFolder()
{
    char dir[] = "/tmp/tvdevices_XXXXXX";
    const char* made = mkdtemp(dir);
    EXPECT_NE(made, nullptr);
    m_path = made ? made : "/tmp";
}

CScratchFolder::~CScratchFolder()
{
    std::error_code error;
    if (m_path != "/tmp")
        std::filesystem::remove_all(m_path, error);
}

CTestWindow::CTestWindow() : m_hwnd(TvCreateVirtualWindow(704, 576)) {}

CTestWindow::~CTestWindow()
{
    DestroyWindow(m_hwnd);
}

std::string CTestWindow::Text() const
{
    return std::to_string(reinterpret_cast<uintptr_t>(m_hwnd));
}

std::vector<std::vector<std::string>> ArgsOf(const CSdkCallLog& log, const std::string& name)
{
    std::vector<std::vector<std::string>> args;
    for (const SdkCall& call : log.CallsOf(name))
        args.push_back(call.args);
    return args;
}

std::vector<std::string> NamesOf(const CSdkCallLog& log)
{
    std::vector<std::string> names;
    for (const SdkCall& call : log.Calls())
        names.push_back(call.name);
    return names;
}

std::string FileStart(const std::string& path, size_t count)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return "";
    std::string bytes(count, '\0');
    bytes.resize(std::fread(bytes.data(), 1, count, file));
    std::fclose(file);
    return bytes;
}

long long FileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<long long>(size);
}

int FileLe32(const std::string& path, long offset)
{
    const std::string bytes = FileStart(path, static_cast<size_t>(offset) + 4);
    if (bytes.size() < static_cast<size_t>(offset) + 4)
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
    return static_cast<int>(p[0] | (p[1] << 8) | (p[2] << 16) |
                            (static_cast<unsigned>(p[3]) << 24));
}
