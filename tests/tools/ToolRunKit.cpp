#include "ToolRunKit.h"

#include <cairo.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <unordered_set>

extern char** environ;

namespace toolrun {

CChildProcess::~CChildProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_outputPath.empty())
        std::remove(m_outputPath.c_str());
}

bool CChildProcess::Start(const std::vector<std::string>& args)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/toolrun-output-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return false;
    m_outputPath = path;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int r = ::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fd);
    if (r != 0)
        m_pid = -1;
    return r == 0;
}

int CChildProcess::Wait(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string CChildProcess::Output() const
{
    std::ifstream in(m_outputPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int RunProgram(const std::vector<std::string>& args, int timeoutMs, std::string& output)
{
    CChildProcess child;
    if (!child.Start(args)) {
        output = "cannot start " + args[0];
        return -1;
    }
    const int status = child.Wait(timeoutMs);
    output = child.Output();
    return status;
}

int Picture::DistinctColours(int limit) const
{
    std::unordered_set<uint32_t> seen;
    for (uint32_t c : rgb) {
        seen.insert(c);
        if (int(seen.size()) >= limit)
            break;
    }
    return int(seen.size());
}

namespace {

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

bool LoadCaptureBmp(const std::string& path, Picture& picture, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
        error = path + ": not a BMP file (" + std::to_string(file.size()) + " bytes)";
        return false;
    }
    const int width = int(Le32(&file[18]));
    const int height = int(Le32(&file[22]));
    const int bits = file[28] | file[29] << 8;
    const size_t pixels = size_t(Le32(&file[10]));
    if (width <= 0 || height <= 0 || bits != 24 || pixels != 54 || Le32(&file[2]) != file.size() ||
        file.size() != 54 + size_t(width) * size_t(height) * 3) {
        error = path + ": not an unpadded bottom-up 24-bit capture";
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.rgb.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        // The last picture row comes first.
        const uint8_t* row = &file[54 + size_t(height - 1 - y) * size_t(width) * 3];
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + size_t(x) * 3;
            picture.rgb[size_t(y) * size_t(width) + size_t(x)] =
                uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    }
    return true;
}

bool LoadPng(const std::string& path, Picture& picture, std::string& error)
{
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        error = path + ": " + cairo_status_to_string(cairo_surface_status(surface));
        cairo_surface_destroy(surface);
        return false;
    }
    picture.width = cairo_image_surface_get_width(surface);
    picture.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    picture.rgb.resize(size_t(picture.width) * size_t(picture.height));
    for (int y = 0; y < picture.height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < picture.width; ++x)
            picture.rgb[size_t(y) * size_t(picture.width) + size_t(x)] = row[x] & 0xffffff;
    }
    cairo_surface_destroy(surface);
    return true;
}

std::string MakeTempDir(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string();
}

} // namespace toolrun
