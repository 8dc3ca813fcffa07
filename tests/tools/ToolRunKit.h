// Helpers for the tests that run tvplay and the README's programs as a user
// would: child processes with their output kept, and the pictures they write
// (24-bit BMP captures, PNG snapshots) read back as RGB pixels.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace toolrun {

// A program running with its standard output and error in one file.
class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess(); // kills a child that is still running
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // args[0] is the program's path. False when it cannot be started.
    bool Start(const std::vector<std::string>& args);
    // Waits until it exits: its exit status, 128 + the signal that ended it,
    // or -1 after timeoutMs (it is killed then).
    int Wait(int timeoutMs);
    // What it printed so far.
    std::string Output() const;

private:
    pid_t m_pid = -1;
    std::string m_outputPath;
};

// Runs a program to its end (see CChildProcess::Wait); output receives what it printed.
int RunProgram(const std::vector<std::string>& args, int timeoutMs, std::string& output);

// A picture as 0x00RRGGBB per pixel, rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> rgb;

    uint32_t At(int x, int y) const { return rgb[size_t(y) * size_t(width) + size_t(x)]; }
    // Different colours, counting up to limit.
    int DistinctColours(int limit) const;
};

// A capture as TP_GrabPicture writes it: 54-byte headers, 24 bits per pixel,
// rows bottom-up and not padded. False with the reason in error.
bool LoadCaptureBmp(const std::string& path, Picture& picture, std::string& error);
// A PNG file, read with cairo.
bool LoadPng(const std::string& path, Picture& picture, std::string& error);

inline int Red(uint32_t c)
{
    return int(c >> 16 & 0xff);
}
inline int Green(uint32_t c)
{
    return int(c >> 8 & 0xff);
}
inline int Blue(uint32_t c)
{
    return int(c & 0xff);
}

// A fresh directory for one test's files.
std::string MakeTempDir(const std::string& name);

} // namespace toolrun
