#include "tvprotocol/Transport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tvprotocol/ResponseParser.h"

namespace tvprotocol {

namespace {

std::atomic<int> g_connectMs{2000};
std::atomic<int> g_receiveMs{2000};
std::atomic<int> g_responseMs{10000};

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for `events` or the deadline passes.
// Returns 1 when ready, 0 on time-out, -1 when the wait itself failed.
int WaitReady(int socket, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{};
        p.fd = socket;
        p.events = events;
        const int r = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (r > 0)
            return (p.revents & POLLNVAL) ? -1 : 1;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

bool SetNonBlocking(int socket, bool on)
{
    const int flags = ::fcntl(socket, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return ::fcntl(socket, F_SETFL, wanted) == 0;
}

// ReceiveExact with an optional outer deadline for the whole response.
int ReceiveUntil(int socket, uint8_t* buffer, size_t count, Clock::time_point* responseDeadline)
{
    size_t got = 0;
    while (got < count) {
        const auto now = Clock::now();
        auto deadline = now + std::chrono::milliseconds(g_receiveMs.load());
        if (responseDeadline) {
            // Checked before waiting: a peer that keeps sending is always
            // "ready", so the wait alone would never end the response.
            if (*responseDeadline <= now)
                return kResultReceiveTimeout;
            if (*responseDeadline < deadline)
                deadline = *responseDeadline;
        }
        const int ready = WaitReady(socket, POLLIN, deadline);
        if (ready < 0)
            return kResultWait;
        if (ready == 0)
            return kResultReceiveTimeout;
        const ssize_t n = ::recv(socket, buffer + got, count - got, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return kResultReceive;
        got += static_cast<size_t>(n);
    }
    return kResultOk;
}

// Reads a response from the socket, bounded by the response time limit.
class CSocketSource final : public IByteSource {
public:
    explicit CSocketSource(int socket)
        : m_socket(socket),
          m_deadline(Clock::now() + std::chrono::milliseconds(g_responseMs.load()))
    {
    }
    int Read(uint8_t* buffer, size_t count) override
    {
        return ReceiveUntil(m_socket, buffer, count, &m_deadline);
    }

private:
    int m_socket;
    Clock::time_point m_deadline;
};

} // namespace

void SetProtocolTimeouts(const ProtocolTimeouts& timeouts)
{
    g_connectMs = timeouts.connectMs < 1 ? 1 : timeouts.connectMs;
    g_receiveMs = timeouts.receiveMs < 1 ? 1 : timeouts.receiveMs;
    g_responseMs = timeouts.responseMs < 1 ? 1 : timeouts.responseMs;
}

ProtocolTimeouts GetProtocolTimeouts()
{
    ProtocolTimeouts t;
    t.connectMs = g_connectMs.load();
    t.receiveMs = g_receiveMs.load();
    t.responseMs = g_responseMs.load();
    return t;
}

int StartNetworking()
{
    return kResultOk;
}

int Connect(const char* address, int port)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (address == nullptr || port < 1 || port > 65535 ||
        ::inet_pton(AF_INET, address, &peer.sin_addr) != 1)
        return kResultBadParameter;
    peer.sin_port = htons(static_cast<uint16_t>(port));

    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return kResultSocket;
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);

    if (!SetNonBlocking(s, true)) {
        ::close(s);
        return kResultNonBlocking;
    }
    if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
        errno != EINPROGRESS && errno != EINTR) {
        // Refused or unreachable at once: no connection within the time-out.
        ::close(s);
        return kResultConnectTimeout;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(g_connectMs.load());
    const int ready = WaitReady(s, POLLOUT, deadline);
    if (ready <= 0) {
        ::close(s);
        return ready < 0 ? kResultWait : kResultConnectTimeout;
    }
    // Writable also means "the attempt ended": a refused connection must not
    // pass for an established one.
    int error = 0;
    socklen_t len = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
        ::close(s);
        return kResultConnectTimeout;
    }
    if (!SetNonBlocking(s, false)) {
        ::close(s);
        return kResultBlocking;
    }
    return s;
}

uint8_t HeaderChecksum(const uint8_t* header)
{
    unsigned sum = 0;
    for (size_t i = 0; i < 15; ++i)
        sum += header[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

size_t BuildFrame(uint8_t* buffer, uint8_t kind, uint16_t command, const uint8_t* payload,
                  size_t length)
{
    static constexpr uint8_t kStart[7] = {0xFF, 0xFF, 0x57, 0x51, 0x58, 0x4E, 0x01};
    std::memcpy(buffer, kStart, sizeof kStart);
    buffer[7] = kind;
    buffer[8] = static_cast<uint8_t>(command >> 8);
    buffer[9] = static_cast<uint8_t>(command);
    buffer[10] = static_cast<uint8_t>(length >> 8);
    buffer[11] = static_cast<uint8_t>(length);
    buffer[12] = buffer[13] = buffer[14] = 0;
    buffer[15] = HeaderChecksum(buffer);
    if (length > 0 && payload != nullptr)
        std::memcpy(buffer + kHeaderSize, payload, length);
    return kHeaderSize + length;
}

size_t BuildHeader(uint8_t* buffer, uint16_t command, const uint8_t* payload, size_t length)
{
    return BuildFrame(buffer, kFrameRequest, command, payload, length);
}

int SendFrame(int socket, const uint8_t* bytes, size_t length)
{
    size_t sent = 0;
    for (int call = 0; call < 2 && sent < length; ++call) {
        ssize_t n;
        do {
            n = ::send(socket, bytes + sent, length - sent, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            return kResultSystemCall;
        sent += static_cast<size_t>(n);
    }
    return sent == length ? kResultOk : kResultSystemCall;
}

int ReceiveExact(int socket, uint8_t* buffer, size_t count)
{
    return ReceiveUntil(socket, buffer, count, nullptr);
}

int ReadDataResponse(int socket, uint8_t* buffer, uint16_t command, size_t expectedLength)
{
    CSocketSource source(socket);
    ResponseExpectation expect{command, ResponseKind::Data, expectedLength};
    return ReadResponse(source, expect, buffer, expectedLength, nullptr);
}

int ReadStatusResponse(int socket, uint16_t command)
{
    CSocketSource source(socket);
    ResponseExpectation expect{command, ResponseKind::Status, 4};
    return ReadResponse(source, expect, nullptr, 0, nullptr);
}

int ReadStreamListResponse(int socket, uint8_t* buffer, size_t* length)
{
    CSocketSource source(socket);
    ResponseExpectation expect{0x0400, ResponseKind::StreamList, 0};
    return ReadResponse(source, expect, buffer, kMaxPayload, length);
}

void CloseSocket(int socket)
{
    if (socket >= 0)
        ::close(socket);
}

} // namespace tvprotocol
