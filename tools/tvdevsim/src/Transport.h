// The simulator's sockets: a UDP sender (unicast or multicast), a TCP client
// that keeps connecting, or a TCP server that takes the latest connection.
//
// Single-threaded: the sender thread owns it. Blocking steps give up when the
// stop flag is raised (they look at it at least every 50 ms).
#pragma once

#include "tvdevsim/DeviceSimulator.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include <netinet/in.h>

namespace tvdevsim {

class CTransport {
public:
    CTransport() = default;
    ~CTransport();
    CTransport(const CTransport&) = delete;
    CTransport& operator=(const CTransport&) = delete;

    // Creates the socket (UDP) or the listening socket (TCP server). False with
    // error set on failure.
    bool Open(const SimConfig& config, std::string& error);
    // The port data goes to (UDP, TCP client) or is accepted on (TCP server).
    int Port() const { return m_port; }

    // TCP: true once a connection is there, making it when needed (the client
    // retries every 100 ms, the server waits for a peer); false when stop is raised.
    // `made` tells whether a new connection was made by this call. UDP: true.
    bool EnsureConnected(const std::atomic<bool>& stop, bool& made,
                         const std::function<void(const std::string&)>& log);
    // Writes all bytes to the TCP connection; false (and the connection closed)
    // when the peer is gone, false (connection kept) when stop is raised meanwhile.
    bool SendStream(std::span<const uint8_t> bytes, const std::atomic<bool>& stop);
    // One datagram; false when the send failed.
    bool SendDatagram(std::span<const uint8_t> bytes);
    // Closes the TCP connection (the listening socket stays).
    void Disconnect();

private:
    void CloseAll();

    SimTransport m_kind = SimTransport::None;
    int m_socket = -1; // UDP socket or TCP data connection
    int m_listen = -1;
    int m_port = 0;
    sockaddr_in m_peer{};
    std::string m_address;
};

} // namespace tvdevsim
