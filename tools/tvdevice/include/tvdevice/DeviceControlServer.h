// The device side of the command protocol: a TCP server that answers requests
// as an encoder would, over a CDeviceModel, and that can be told to misbehave.
//
// Threads: Start() creates one server thread, which accepts connections and
// serves them one at a time (one request, one response, close: the protocol
// never reuses a connection); Stop() and the destructor wake and join it. All
// other methods may be called from any thread; settings, fault plan and the
// request record are guarded by one internal mutex, which is never held while
// the server thread waits on a socket or calls the change handler.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tvdevice/DeviceModel.h"

namespace tvdevice {

enum class DeviceFault {
    None,
    NoiseBeforeResponse, // send `noise` bytes, then the true response
    WrongChecksum,    // send the response with a broken checksum (then the true one if answerAfter)
    WrongCommandEcho, // send the response for another command code (then the true one if
                      // answerAfter)
    Silence,          // read the request, never answer; close when the client does
    CloseEarly,       // send the first 8 bytes of the response, then close
    StatusError,      // answer with `status` (a status frame) instead of the response
    RawResponse,      // send `raw` as the whole response, then close
};

struct FaultPlan {
    DeviceFault fault = DeviceFault::None;
    int command = -1;           // the command it applies to; -1: every command
    int count = -1;             // how many exchanges it applies to; -1: until cleared
    uint32_t status = 3;        // StatusError
    bool answerAfter = true;    // WrongChecksum, WrongCommandEcho
    std::vector<uint8_t> noise; // NoiseBeforeResponse; empty: a built-in mix
    std::vector<uint8_t> raw;   // RawResponse
};

class CDeviceControlServer {
public:
    CDeviceControlServer();
    ~CDeviceControlServer();
    CDeviceControlServer(const CDeviceControlServer&) = delete;
    CDeviceControlServer& operator=(const CDeviceControlServer&) = delete;

    // Listens on bindAddress:port (port 0: an ephemeral port, see Port()) and
    // starts the server thread. Returns 0, or an errno value when the socket
    // could not be bound, or EALREADY when already running.
    int Start(int port = 9999, const char* bindAddress = "127.0.0.1");
    // The port listened on (0 when not running).
    int Port() const { return m_port.load(); }
    // Stops serving and joins the thread; an exchange in progress is cut off.
    // Idempotent.
    void Stop();
    bool Running() const { return m_running.load(); }

    DeviceSettings Settings() const;
    void SetSettings(const DeviceSettings& settings);

    void SetFault(const FaultPlan& plan);
    void ClearFault();

    // The payload of the last request seen for `command` (empty if none).
    std::vector<uint8_t> LastRequest(uint16_t command) const;
    // Requests answered or faulted so far (connections that sent a full header).
    uint64_t RequestCount() const { return m_requests.load(); }
    // Connections accepted so far, whatever they sent (counted when the
    // server thread accepts them; connections are served in arrival order).
    uint64_t ConnectionCount() const { return m_connections.load(); }

    // Called on the server thread after a set or action command changed the
    // settings, with no lock held (the device simulator starts and stops its
    // streams from here). Set it before Start().
    void SetChangeHandler(std::function<void(uint16_t command)> handler);

private:
    void Run();
    void Serve(int client);
    // Reads exactly count bytes; false on time-out, error, peer close or stop.
    bool ReadAll(int client, uint8_t* buffer, size_t count);
    bool WriteAll(int client, const uint8_t* bytes, size_t length);
    // Discards input until the client closes, limitMs passes or Stop.
    void WaitForClose(int client, int limitMs);
    // Takes the fault for this command (counting it down); None if no match.
    FaultPlan TakeFault(uint16_t command);

    int m_listen = -1;
    int m_wake[2] = {-1, -1}; // self-pipe that wakes the server thread on Stop
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_port{0};
    std::atomic<uint64_t> m_requests{0};
    std::atomic<uint64_t> m_connections{0};
    std::function<void(uint16_t)> m_onChange; // written before Start only

    mutable std::mutex m_lock;
    // guarded by m_lock
    CDeviceModel m_model;
    FaultPlan m_fault;
    std::map<uint16_t, std::vector<uint8_t>> m_lastRequest;
};

} // namespace tvdevice
