#include "tvdevice/DeviceControlServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tvprotocol/Transport.h"

namespace tvdevice {

using namespace tvprotocol;

namespace {

// A request longer than any in the catalogue is not read: the device answers
// that the header could not be parsed.
constexpr size_t kMaxRequestPayload = 1024;
constexpr int kReadTimeoutMs = 2000;
// How long a silent exchange or the final drain waits for the client to go.
constexpr int kSilenceLimitMs = 30000;
constexpr int kDrainLimitMs = 2000;

// Noise with partial headers, ending in a lone 0xFF right before the response
// (a parser that does not re-scan the bytes after a mismatch loses the frame).
const std::vector<uint8_t> kDefaultNoise = {0x00, 0x13, 0xFF, 0xFF, 0x57, 0x51, 0x00,
                                            0x37, 0xFF, 0xFF, 0x57, 0xFF, 0x00, 0xFF};

uint16_t Be16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

bool HeaderValid(const uint8_t* h)
{
    static constexpr uint8_t kStart[7] = {0xFF, 0xFF, 0x57, 0x51, 0x58, 0x4E, 0x01};
    return std::memcmp(h, kStart, sizeof kStart) == 0 && h[7] == kFrameRequest &&
           HeaderChecksum(h) == h[15];
}

std::vector<uint8_t> Frame(uint8_t kind, uint16_t command, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame(kHeaderSize + payload.size());
    BuildFrame(frame.data(), kind, command, payload.data(), payload.size());
    return frame;
}

} // namespace

CDeviceControlServer::CDeviceControlServer() = default;

CDeviceControlServer::~CDeviceControlServer()
{
    Stop();
}

int CDeviceControlServer::Start(int port, const char* bindAddress)
{
    if (m_running.load())
        return EALREADY;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 0 || port > 65535 || bindAddress == nullptr ||
        ::inet_pton(AF_INET, bindAddress, &local.sin_addr) != 1)
        return EINVAL;

    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return errno;
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(s, 16) != 0) {
        const int error = errno;
        ::close(s);
        return error;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &len);
    if (::pipe2(m_wake, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(s);
        return error;
    }
    m_listen = s;
    m_port = ntohs(bound.sin_port);
    m_running = true;
    m_thread = std::thread(&CDeviceControlServer::Run, this);
    return 0;
}

void CDeviceControlServer::Stop()
{
    if (!m_thread.joinable())
        return;
    const uint8_t byte = 1;
    while (::write(m_wake[1], &byte, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
    m_listen = m_wake[0] = m_wake[1] = -1;
    m_port = 0;
    m_running = false;
}

DeviceSettings CDeviceControlServer::Settings() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_model.Settings();
}

void CDeviceControlServer::SetSettings(const DeviceSettings& settings)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_model.SetSettings(settings);
}

void CDeviceControlServer::SetFault(const FaultPlan& plan)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_fault = plan;
}

void CDeviceControlServer::ClearFault()
{
    SetFault(FaultPlan{});
}

std::vector<uint8_t> CDeviceControlServer::LastRequest(uint16_t command) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_lastRequest.find(command);
    return it != m_lastRequest.end() ? it->second : std::vector<uint8_t>{};
}

void CDeviceControlServer::SetChangeHandler(std::function<void(uint16_t)> handler)
{
    m_onChange = std::move(handler);
}

FaultPlan CDeviceControlServer::TakeFault(uint16_t command)
{
    // m_lock held by the caller.
    if (m_fault.fault == DeviceFault::None || (m_fault.command >= 0 && m_fault.command != command))
        return FaultPlan{};
    FaultPlan taken = m_fault;
    if (m_fault.count > 0 && --m_fault.count == 0)
        m_fault = FaultPlan{};
    return taken;
}

// ---- server thread ----

void CDeviceControlServer::Run()
{
    for (;;) {
        pollfd p[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (p[1].revents)
            return;
        if (!(p[0].revents & POLLIN))
            continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        m_connections++;
        Serve(client);
        ::close(client);
    }
}

bool CDeviceControlServer::ReadAll(int client, uint8_t* buffer, size_t count)
{
    size_t got = 0;
    while (got < count) {
        pollfd p[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int r = ::poll(p, 2, kReadTimeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || p[1].revents)
            return false;
        const ssize_t n = ::recv(client, buffer + got, count - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool CDeviceControlServer::WriteAll(int client, const uint8_t* bytes, size_t length)
{
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(client, bytes + sent, length - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Discards whatever the client still sends until it closes, the limit passes
// or the server stops, so that closing never resets an answer still in flight.
void CDeviceControlServer::WaitForClose(int client, int limitMs)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    uint8_t sink[256];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              limit - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return;
        pollfd p[2] = {{client, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int r = ::poll(p, 2, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || p[1].revents)
            return;
        const ssize_t n = ::recv(client, sink, sizeof sink, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
    }
}

void CDeviceControlServer::Serve(int client)
{
    uint8_t header[kHeaderSize];
    if (!ReadAll(client, header, sizeof header))
        return;
    const uint16_t command = Be16(header + 8);
    const size_t length = Be16(header + 10);

    if (!HeaderValid(header) || length > kMaxRequestPayload) {
        m_requests++;
        const DeviceResponse status = CDeviceModel::Status(kStatusHeaderError);
        const std::vector<uint8_t> frame = Frame(status.kind, command, status.payload);
        WriteAll(client, frame.data(), frame.size());
        ::shutdown(client, SHUT_WR);
        WaitForClose(client, kDrainLimitMs);
        return;
    }
    std::vector<uint8_t> payload(length);
    if (length > 0 && !ReadAll(client, payload.data(), length))
        return;
    m_requests++;

    FaultPlan fault;
    DeviceResponse response;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lastRequest[command] = payload;
        fault = TakeFault(command);
        // A device that reports an error (or says something else entirely)
        // has not applied the request.
        if (fault.fault == DeviceFault::StatusError)
            response = CDeviceModel::Status(fault.status);
        else if (fault.fault != DeviceFault::RawResponse)
            response = m_model.Handle(command, payload.data(), payload.size());
    }
    const std::vector<uint8_t> frame = Frame(response.kind, command, response.payload);

    switch (fault.fault) {
    case DeviceFault::None:
    case DeviceFault::StatusError:
        WriteAll(client, frame.data(), frame.size());
        break;
    case DeviceFault::NoiseBeforeResponse: {
        const std::vector<uint8_t>& noise = fault.noise.empty() ? kDefaultNoise : fault.noise;
        WriteAll(client, noise.data(), noise.size());
        WriteAll(client, frame.data(), frame.size());
        break;
    }
    case DeviceFault::WrongChecksum: {
        std::vector<uint8_t> bad = frame;
        bad[15] = static_cast<uint8_t>(bad[15] + 1);
        WriteAll(client, bad.data(), bad.size());
        if (fault.answerAfter)
            WriteAll(client, frame.data(), frame.size());
        break;
    }
    case DeviceFault::WrongCommandEcho: {
        const std::vector<uint8_t> bad =
            Frame(response.kind, static_cast<uint16_t>(command + 1), response.payload);
        WriteAll(client, bad.data(), bad.size());
        if (fault.answerAfter)
            WriteAll(client, frame.data(), frame.size());
        break;
    }
    case DeviceFault::Silence:
        WaitForClose(client, kSilenceLimitMs);
        return;
    case DeviceFault::CloseEarly:
        WriteAll(client, frame.data(), 8);
        return;
    case DeviceFault::RawResponse:
        WriteAll(client, fault.raw.data(), fault.raw.size());
        break;
    }

    if (response.changed && m_onChange)
        m_onChange(command);
    ::shutdown(client, SHUT_WR);
    WaitForClose(client, kDrainLimitMs);
}

} // namespace tvdevice
