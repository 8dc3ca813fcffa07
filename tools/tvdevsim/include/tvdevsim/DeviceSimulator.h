// The device simulator: an encoder on the network. It generates one stream kind
// (CStreamGenerator), spoils it on request (CFaultInjector), sends it over UDP
// (unicast or multicast), as a TCP client or as a TCP server, writes the same
// bytes to a record file, and answers the device control protocol on its own port.
//
// Threads: Start() creates the sender thread (and the control server's thread);
// Stop() and the destructor end and join them. Counters() and the port
// accessors may be called from any thread while it runs; the configuration is
// copied at Start() and not read again from the caller's object.
#pragma once

#include "tvdevsim/StreamGenerator.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace tvdevice {
class CDeviceControlServer;
}

namespace tvdevsim {

enum class SimTransport {
    None,      // no network: the record file only
    Udp,       // datagrams to address:port (unicast or an IPv4 multicast group)
    TcpClient, // connect to address:port (the player listens as "TCP(Server)")
    TcpServer, // listen on port (the player connects as "TCP(Client)")
};

const char* TransportName(SimTransport transport);
bool ParseTransport(const std::string& name, SimTransport& transport);

// A fault that strikes units (datagrams or frames) with a probability, on a
// schedule of every N-th unit, or both.
struct FaultRate {
    double rate = 0; // 0..1 per unit
    int every = 0;   // > 0: every N-th unit as well
    bool Active() const { return rate > 0 || every > 0; }
};

struct FaultConfig {
    uint64_t seed = 1;
    FaultRate loss;    // UDP datagrams not sent
    FaultRate reorder; // UDP datagram sent after the one behind it
    FaultRate garbage; // random bytes sent before a frame
    int garbageMaxBytes = 64;
    FaultRate truncate;            // a frame cut short (a random length, at least 1 byte kept)
    double disconnectEverySec = 0; // TCP: close and connect again every N s of stream time
    double jumpEverySec = 0;       // timestamps jump every N s of stream time ...
    int64_t jumpMs = 0;            // ... by this much (negative: back in time)
};

struct SimConfig {
    GeneratorConfig stream;
    SimTransport transport = SimTransport::Udp;
    std::string address =
        "127.0.0.1"; // UDP destination / TCP server to connect to / TCP bind address
    int port = 8001; // TCP server: 0 picks a free port (see StreamPort())
    int multicastTtl = 1;
    bool multicastLoopback = true;
    std::string
        multicastInterface;     // IPv4 address of the sending interface; empty: the system's choice
    size_t datagramSize = 1400; // UDP payload size (transport streams: 7 packets)
    bool realTime = true;       // pace by the stream's timestamps, else as fast as possible
    int64_t frames = 0;         // video frames to send; 0: until Stop()
    std::string recordPath;     // empty: no record; the kind's extension is added when missing
    int controlPort = -1;       // device control protocol: -1 off, 0 a free port
    std::string controlAddress = "127.0.0.1";
    FaultConfig faults;
};

// What the simulator did so far. Snapshot; monotonic while it runs.
struct SimCounters {
    uint64_t videoFrames = 0; // video units generated
    uint64_t audioFrames = 0; // voice frames or AAC boxes generated
    uint64_t bytesSent = 0;   // bytes the transport accepted (after faults)
    uint64_t sends = 0;       // datagrams or stream writes
    uint64_t bytesRecorded = 0;
    uint64_t datagramsLost = 0;
    uint64_t datagramsReordered = 0;
    uint64_t garbageInserted = 0; // frames preceded by garbage
    uint64_t garbageBytes = 0;
    uint64_t framesTruncated = 0;
    uint64_t disconnects = 0; // deliberate (fault) disconnects
    uint64_t connections = 0; // TCP connections made or accepted
    uint64_t timestampJumps = 0;
    bool finished = false; // the asked number of frames has gone out
    bool failed = false;   // stopped by an error (see Error())
};

class CDeviceSimulator {
public:
    CDeviceSimulator();
    ~CDeviceSimulator();
    CDeviceSimulator(const CDeviceSimulator&) = delete;
    CDeviceSimulator& operator=(const CDeviceSimulator&) = delete;

    // Messages for a person watching (what is sent where, connections, errors).
    // Called on the sender thread; set before Start().
    void SetLogHandler(std::function<void(const std::string&)> handler);

    // Opens encoders, sockets, the record file and the control server, then starts
    // sending. False with Error() set when any of them fails (nothing runs then).
    bool Start(const SimConfig& config);
    // Ends sending and joins the threads; idempotent.
    void Stop();
    // From a successful Start() until Stop(), also after the asked frames went out.
    bool Running() const { return m_running.load(); }
    // Waits until the asked frames have gone out, or an error stopped the sender,
    // or timeoutMs passed (-1: no limit). True when finished.
    bool WaitFinished(int timeoutMs = -1);

    // The stream port: the TCP server's listening port, else the configured port.
    int StreamPort() const { return m_streamPort.load(); }
    // The control protocol's port (0 when off).
    int ControlPort() const;
    // The record file actually written (with its extension).
    std::string RecordPath() const { return m_recordPath; }
    SimCounters Counters() const;
    std::string Error() const;
    // The control server (null when off): tests read and change device settings here.
    tvdevice::CDeviceControlServer* ControlServer() { return m_control.get(); }

    // The record path for the asked one: the kind's extension is appended when
    // the name has none, and replaces another record extension.
    static std::string RecordPathFor(const std::string& path, SimKind kind);
    // One line that says what the configuration sends and where.
    static std::string Describe(const SimConfig& config, int streamPort);

private:
    struct State;
    void Run();

    std::unique_ptr<State> m_state;
    std::unique_ptr<tvdevice::CDeviceControlServer> m_control;
    std::function<void(const std::string&)> m_log;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_streamPort{0};
    std::string m_recordPath;
};

} // namespace tvdevsim
