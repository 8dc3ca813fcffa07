#include "Transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace tvdevsim {

namespace {

std::string Errno(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool IsMulticast(in_addr a)
{
    return (ntohl(a.s_addr) >> 28) == 0xE;
}

} // namespace

CTransport::~CTransport()
{
    CloseAll();
}

void CTransport::CloseAll()
{
    // Disconnect keeps a UDP socket (a datagram link has no connection to
    // drop); closing everything closes that too.
    Disconnect();
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    if (m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
}

void CTransport::Disconnect()
{
    if (m_socket >= 0 && m_kind != SimTransport::Udp) {
        ::close(m_socket);
        m_socket = -1;
    }
}

bool CTransport::Open(const SimConfig& c, std::string& error)
{
    CloseAll();
    m_kind = c.transport;
    m_address = c.address;
    m_port = c.port;
    m_peer = sockaddr_in{};
    m_peer.sin_family = AF_INET;
    m_peer.sin_port = htons(static_cast<uint16_t>(c.port));
    if (m_kind == SimTransport::None)
        return true;
    if (c.port < 0 || c.port > 65535 || (c.port == 0 && m_kind != SimTransport::TcpServer)) {
        error = "the port must be 1..65535 (0 only for a TCP server)";
        return false;
    }
    if (inet_pton(AF_INET, c.address.c_str(), &m_peer.sin_addr) != 1) {
        error = "\"" + c.address + "\" is not a dotted IPv4 address";
        return false;
    }
    switch (m_kind) {
    case SimTransport::Udp: {
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_socket < 0) {
            error = Errno("socket");
            return false;
        }
        int sndbuf = 4 << 20;
        setsockopt(m_socket, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
        if (IsMulticast(m_peer.sin_addr)) {
            unsigned char ttl = static_cast<unsigned char>(c.multicastTtl);
            unsigned char loop = c.multicastLoopback ? 1 : 0;
            if (setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) < 0 ||
                setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) < 0) {
                error = Errno("multicast options");
                return false;
            }
            if (!c.multicastInterface.empty()) {
                in_addr ifaddr{};
                if (inet_pton(AF_INET, c.multicastInterface.c_str(), &ifaddr) != 1 ||
                    setsockopt(m_socket, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, sizeof ifaddr) < 0) {
                    error = "cannot send multicast through \"" + c.multicastInterface + "\"";
                    return false;
                }
            }
        }
        return true;
    }
    case SimTransport::TcpClient:
        return true; // connects in EnsureConnected
    case SimTransport::TcpServer: {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listen < 0) {
            error = Errno("socket");
            return false;
        }
        int on = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&m_peer), sizeof m_peer) < 0 ||
            ::listen(m_listen, 5) < 0) {
            error = Errno(("listen on " + c.address + ":" + std::to_string(c.port)).c_str());
            ::close(m_listen);
            m_listen = -1;
            return false;
        }
        sockaddr_in bound{};
        socklen_t len = sizeof bound;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&bound), &len);
        m_port = ntohs(bound.sin_port);
        return true;
    }
    case SimTransport::None:
        break;
    }
    return true;
}

bool CTransport::EnsureConnected(const std::atomic<bool>& stop, bool& made,
                                 const std::function<void(const std::string&)>& log)
{
    made = false;
    if (m_kind == SimTransport::Udp || m_kind == SimTransport::None || m_socket >= 0)
        return true;
    bool reported = false;
    while (m_socket < 0) {
        if (stop.load())
            return false;
        if (m_kind == SimTransport::TcpClient) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&m_peer), sizeof m_peer) == 0) {
                m_socket = s;
                break;
            }
            if (s >= 0)
                ::close(s);
            if (!reported && log) {
                log("waiting for " + m_address + ":" + std::to_string(m_port) +
                    " to accept the stream (retrying every 100 ms)");
                reported = true;
            }
            for (int i = 0; i < 2 && !stop.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else {
            if (!reported && log) {
                log("waiting for a player to connect to port " + std::to_string(m_port));
                reported = true;
            }
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const int s = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (s >= 0)
                    m_socket = s;
            }
        }
    }
    int on = 1;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    timeval timeout{0, 100000};
    setsockopt(m_socket, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    made = true;
    return true;
}

bool CTransport::SendStream(std::span<const uint8_t> bytes, const std::atomic<bool>& stop)
{
    size_t at = 0;
    while (at < bytes.size()) {
        if (m_socket < 0)
            return false;
        const ssize_t n = ::send(m_socket, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        // A peer that stops reading must not keep Stop() waiting.
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (stop.load())
                return false;
            continue;
        }
        if (n <= 0) {
            Disconnect();
            return false;
        }
        at += static_cast<size_t>(n);
    }
    return true;
}

bool CTransport::SendDatagram(std::span<const uint8_t> bytes)
{
    for (;;) {
        const ssize_t n = ::sendto(m_socket, bytes.data(), bytes.size(), 0,
                                   reinterpret_cast<sockaddr*>(&m_peer), sizeof m_peer);
        if (n >= 0)
            return true;
        if (errno == EINTR)
            continue;
        // A full send queue on loopback: give the receiver a moment.
        if (errno == ENOBUFS || errno == EAGAIN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        return false;
    }
}

} // namespace tvdevsim
