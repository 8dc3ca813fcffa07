// Helpers of the network source tests: temporary folders, ports picked at run
// time, plain socket senders and polling with a generous deadline (a deadline
// that passes means the awaited thing never happened, not that it was slow).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace nwtest {

inline constexpr int kDeadlineMs = 10000;

inline bool WaitFor(const std::function<bool()>& done, int deadlineMs = kDeadlineMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadlineMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A fresh folder, removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "nwsource-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Points drive C: at a fresh folder for the life of the object.
class DriveC {
public:
    DriveC() { setenv("TARVO_DRIVE_C", m_dir.Path().c_str(), 1); }
    ~DriveC() { unsetenv("TARVO_DRIVE_C"); }
    const std::string& Path() const { return m_dir.Path(); }
    void MakeLogFolder() const { std::filesystem::create_directories(m_dir / "SoftDecLog"); }
    std::string LogFile(int index) const
    {
        return m_dir / ("SoftDecLog/nwsource_time_" + std::to_string(index) + ".txt");
    }

private:
    TempDir m_dir;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline sockaddr_in Loopback(unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A port that was free a moment ago for the given socket type.
inline unsigned short FreePort(int type)
{
    const int s = socket(AF_INET, type, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

class UdpSender {
public:
    UdpSender() : m_socket(socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~UdpSender() { close(m_socket); }
    int Socket() const { return m_socket; }
    bool SendTo(const sockaddr_in& to, const void* data, size_t length) const
    {
        return sendto(m_socket, data, length, 0, reinterpret_cast<const sockaddr*>(&to),
                      sizeof(to)) == static_cast<ssize_t>(length);
    }
    bool Send(unsigned short port, const std::string& data) const
    {
        return SendTo(Loopback(port), data.data(), data.size());
    }

private:
    int m_socket;
};

// A TCP listener on loopback standing in for a device the receiver connects to.
class TcpDevice {
public:
    TcpDevice()
    {
        m_listen = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in a = Loopback(0);
        bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        listen(m_listen, 5);
        socklen_t len = sizeof(a);
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~TcpDevice() { close(m_listen); }
    unsigned short Port() const { return m_port; }
    // The next connection, or -1 when none comes before the deadline.
    int Accept(int deadlineMs = kDeadlineMs) const
    {
        fcntl(m_listen, F_SETFL, O_NONBLOCK);
        int s = -1;
        WaitFor([&] { return (s = accept(m_listen, nullptr, nullptr)) >= 0; }, deadlineMs);
        if (s >= 0)
            fcntl(s, F_SETFL, 0);
        return s;
    }

private:
    int m_listen = -1;
    unsigned short m_port = 0;
};

inline int ConnectTcp(unsigned short port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = Loopback(port);
    if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) != 0) {
        close(s);
        return -1;
    }
    return s;
}

inline bool SendAll(int s, const std::string& data)
{
    return send(s, data.data(), data.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(data.size());
}

// Takes CAP_NET_ADMIN out of (or puts it back into) the calling thread's
// effective capabilities, so a privileged run can also see what an ordinary
// process gets; threads created afterwards inherit the set. Whether the thread
// had it before (false also when it cannot tell).
inline bool SetNetAdminEffective(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    constexpr unsigned kBit = 1u << (CAP_NET_ADMIN % 32);
    auto& word = data[CAP_NET_ADMIN / 32];
    const bool had = (word.effective & kBit) != 0;
    if (on)
        word.effective |= word.permitted & kBit;
    else
        word.effective &= ~kBit;
    syscall(SYS_capset, &header, data);
    return had;
}

} // namespace nwtest
