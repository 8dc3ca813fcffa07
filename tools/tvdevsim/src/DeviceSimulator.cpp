#include "tvdevsim/DeviceSimulator.h"

#include "FaultInjector.h"
#include "Transport.h"

#include "tvdevice/DeviceControlServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

namespace tvdevsim {

namespace {

constexpr const char* kRecordExtensions[] = {".tvx2", ".tvx4", ".tvx", ".t264", ".tmj2", ".tavc"};

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string VoiceName(VoiceCodec c)
{
    return c == VoiceCodec::MuLaw  ? "G.711 mu-law"
           : c == VoiceCodec::ALaw ? "G.711 A-law"
                                   : "IMA ADPCM";
}

} // namespace

const char* TransportName(SimTransport t)
{
    switch (t) {
    case SimTransport::None:
        return "none";
    case SimTransport::Udp:
        return "udp";
    case SimTransport::TcpClient:
        return "tcp-client";
    case SimTransport::TcpServer:
        return "tcp-server";
    }
    return "?";
}

bool ParseTransport(const std::string& name, SimTransport& t)
{
    for (SimTransport c : {SimTransport::None, SimTransport::Udp, SimTransport::TcpClient,
                           SimTransport::TcpServer}) {
        if (name == TransportName(c)) {
            t = c;
            return true;
        }
    }
    return false;
}

// Everything the sender thread shares with the caller.
struct CDeviceSimulator::State {
    SimConfig config;
    CStreamGenerator generator;
    CTransport transport;
    FILE* record = nullptr;

    std::atomic<uint64_t> videoFrames{0}, audioFrames{0}, bytesSent{0}, sends{0}, bytesRecorded{0},
        datagramsLost{0}, datagramsReordered{0}, garbageInserted{0}, garbageBytes{0},
        framesTruncated{0}, disconnects{0}, connections{0}, timestampJumps{0};

    mutable std::mutex lock;
    std::condition_variable done;
    // guarded by lock
    bool finished = false;
    bool failed = false;
    bool ended = false; // the sender thread has left its loop
    std::string error;
};

CDeviceSimulator::CDeviceSimulator() = default;

CDeviceSimulator::~CDeviceSimulator()
{
    Stop();
}

void CDeviceSimulator::SetLogHandler(std::function<void(const std::string&)> handler)
{
    m_log = std::move(handler);
}

std::string CDeviceSimulator::RecordPathFor(const std::string& path, SimKind kind)
{
    if (path.empty())
        return path;
    const std::string ext = RecordExtension(kind);
    if (EndsWith(path, ext))
        return path;
    for (const char* other : kRecordExtensions) {
        if (EndsWith(path, other))
            return path.substr(0, path.size() - std::string(other).size()) + ext;
    }
    return path + ext;
}

std::string CDeviceSimulator::Describe(const SimConfig& c, int streamPort)
{
    std::string s = std::string(KindDescription(c.stream.kind));
    int w = c.stream.width, h = c.stream.height;
    if (w <= 0 || h <= 0 || c.stream.kind == SimKind::DeviceFieldD1)
        DefaultPictureSize(c.stream.kind, w, h);
    s += ", " + std::to_string(w) + "x" + std::to_string(h) + " at " +
         std::to_string(c.stream.frameRate) + " fps, key frame every " +
         std::to_string(c.stream.gop);
    const bool device = c.stream.kind == SimKind::Device40 || c.stream.kind == SimKind::Device36 ||
                        c.stream.kind == SimKind::DeviceFieldD1;
    if (c.stream.audio && device)
        s += ", " + std::to_string(c.stream.toneHz) + " Hz tone as " +
             VoiceName(c.stream.voiceCodec) + " voice frames";
    else if (c.stream.audio && c.stream.kind == SimKind::QBoxH264)
        s += ", " + std::to_string(c.stream.toneHz) + " Hz tone as AAC (48 kHz stereo)";
    const std::string where = c.address + ":" + std::to_string(streamPort);
    switch (c.transport) {
    case SimTransport::None:
        s += "; not sent (record only)";
        break;
    case SimTransport::Udp: {
        in_addr a{};
        inet_pton(AF_INET, c.address.c_str(), &a);
        s += (ntohl(a.s_addr) >> 28) == 0xE ? "; UDP multicast to group " + where
                                            : "; UDP to " + where;
        s += " in datagrams of up to " + std::to_string(c.datagramSize) + " bytes";
        break;
    }
    case SimTransport::TcpClient:
        s += "; TCP, connecting to " + where + " (player in TCP(Server) mode)";
        break;
    case SimTransport::TcpServer:
        s += "; TCP, listening on " + where + " (player in TCP(Client) mode)";
        break;
    }
    s += c.realTime ? "; real-time pace" : "; as fast as possible";
    if (c.stream.live)
        s += ", wall-clock timestamps";
    s += c.frames > 0 ? "; " + std::to_string(c.frames) + " frames" : "; until stopped";
    return s;
}

bool CDeviceSimulator::Start(const SimConfig& config)
{
    Stop();
    m_control.reset();
    m_state = std::make_unique<State>();
    State& st = *m_state;
    st.config = config;
    auto fail = [&](const std::string& message) {
        std::lock_guard<std::mutex> guard(st.lock);
        st.error = message;
        st.failed = true;
        if (st.record) {
            std::fclose(st.record);
            st.record = nullptr;
        }
        if (m_control)
            m_control->Stop();
        return false;
    };
    if (!st.generator.Open(config.stream))
        return fail(st.generator.Error());
    std::string error;
    if (!st.transport.Open(config, error))
        return fail(error);
    m_streamPort = config.transport == SimTransport::TcpServer ? st.transport.Port() : config.port;
    m_recordPath = RecordPathFor(config.recordPath, config.stream.kind);
    if (!m_recordPath.empty()) {
        st.record = std::fopen(m_recordPath.c_str(), "wb");
        if (!st.record)
            return fail("cannot create the record file \"" + m_recordPath + "\"");
    }
    if (config.controlPort >= 0) {
        m_control = std::make_unique<tvdevice::CDeviceControlServer>();
        if (m_log) {
            auto log = m_log;
            m_control->SetChangeHandler([log](uint16_t command) {
                char text[80];
                std::snprintf(text, sizeof text,
                              "control: command 0x%04X changed the device settings", command);
                log(text);
            });
        }
        const int rc = m_control->Start(config.controlPort, config.controlAddress.c_str());
        if (rc != 0)
            return fail("cannot serve the control protocol on " + config.controlAddress + ":" +
                        std::to_string(config.controlPort) + ": " + std::strerror(rc));
    }
    if (m_log) {
        m_log("sending " + Describe(config, m_streamPort));
        if (!m_recordPath.empty())
            m_log("recording the same bytes to " + m_recordPath);
        if (m_control)
            m_log("device control protocol on " + config.controlAddress + ":" +
                  std::to_string(ControlPort()));
        if (config.faults.jumpEverySec > 0 && !KindHasTimestamps(config.stream.kind))
            m_log(std::string("note: ") + KindName(config.stream.kind) +
                  " carries no timestamps, so the timestamp jump changes nothing");
        if (config.faults.disconnectEverySec > 0 && config.transport != SimTransport::TcpClient &&
            config.transport != SimTransport::TcpServer)
            m_log("note: disconnects apply to TCP only");
        if ((config.faults.loss.Active() || config.faults.reorder.Active()) &&
            config.transport != SimTransport::Udp)
            m_log("note: datagram loss and reordering apply to UDP only");
    }
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CDeviceSimulator::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
    if (m_control)
        m_control->Stop();
}

bool CDeviceSimulator::WaitFinished(int timeoutMs)
{
    if (!m_state)
        return false;
    State& st = *m_state;
    std::unique_lock<std::mutex> guard(st.lock);
    auto ready = [&] { return st.finished || st.ended; };
    if (timeoutMs < 0)
        st.done.wait(guard, ready);
    else
        st.done.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
    return st.finished;
}

int CDeviceSimulator::ControlPort() const
{
    return m_control ? m_control->Port() : 0;
}

SimCounters CDeviceSimulator::Counters() const
{
    SimCounters c;
    if (!m_state)
        return c;
    const State& st = *m_state;
    c.videoFrames = st.videoFrames;
    c.audioFrames = st.audioFrames;
    c.bytesSent = st.bytesSent;
    c.sends = st.sends;
    c.bytesRecorded = st.bytesRecorded;
    c.datagramsLost = st.datagramsLost;
    c.datagramsReordered = st.datagramsReordered;
    c.garbageInserted = st.garbageInserted;
    c.garbageBytes = st.garbageBytes;
    c.framesTruncated = st.framesTruncated;
    c.disconnects = st.disconnects;
    c.connections = st.connections;
    c.timestampJumps = st.timestampJumps;
    std::lock_guard<std::mutex> guard(st.lock);
    c.finished = st.finished;
    c.failed = st.failed;
    return c;
}

std::string CDeviceSimulator::Error() const
{
    if (!m_state)
        return {};
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->error;
}

void CDeviceSimulator::Run()
{
    State& st = *m_state;
    const SimConfig& c = st.config;
    const FaultConfig& fc = c.faults;
    CFaultInjector faults(fc);
    const bool udp = c.transport == SimTransport::Udp;
    const bool tcp =
        c.transport == SimTransport::TcpClient || c.transport == SimTransport::TcpServer;
    // Transport streams go out in whole packets, as many as fit a datagram.
    size_t datagram = c.datagramSize > 0 ? c.datagramSize : 1400;
    if (c.stream.kind == SimKind::TsMpeg2 || c.stream.kind == SimKind::TsMpeg4 ||
        c.stream.kind == SimKind::TsH264 || c.stream.kind == SimKind::Ts192H264) {
        const size_t packet = c.stream.kind == SimKind::Ts192H264 ? 192 : 188;
        datagram = std::max<size_t>(1, datagram / packet) * packet;
    }
    auto log = [this](const std::string& text) {
        if (m_log)
            m_log(text);
    };
    auto finish = [&](bool ok, const std::string& error) {
        std::lock_guard<std::mutex> guard(st.lock);
        if (ok)
            st.finished = true;
        if (!error.empty()) {
            st.failed = true;
            st.error = error;
        }
        st.ended = true;
        st.done.notify_all();
    };

    using Clock = std::chrono::steady_clock;
    Clock::time_point anchor = Clock::now();
    bool anchored = false;
    int64_t nextDisconnectUs =
        fc.disconnectEverySec > 0 ? static_cast<int64_t>(fc.disconnectEverySec * 1e6) : -1;
    int64_t nextJumpUs = fc.jumpEverySec > 0 ? static_cast<int64_t>(fc.jumpEverySec * 1e6) : -1;
    std::vector<uint8_t> held; // a datagram kept back by the reorder fault
    bool holding = false;
    std::vector<uint8_t> wire, garbage;
    std::string error;
    bool ok = false;

    auto sendDatagram = [&](std::span<const uint8_t> d) {
        if (st.transport.SendDatagram(d)) {
            st.bytesSent += d.size();
            ++st.sends;
        }
    };

    for (;;) {
        if (m_stop.load())
            break;
        if (c.frames > 0 && st.videoFrames.load() >= static_cast<uint64_t>(c.frames)) {
            ok = true;
            break;
        }
        StreamUnit unit;
        if (!st.generator.Next(unit)) {
            error = st.generator.Error();
            break;
        }
        ++(unit.video ? st.videoFrames : st.audioFrames);

        // Scheduled faults run on the stream's own time, so they are the same
        // whatever the pace.
        if (nextJumpUs >= 0 && unit.streamTimeUs >= nextJumpUs) {
            st.generator.SetTimestampOffsetUs(st.generator.TimestampOffsetUs() + fc.jumpMs * 1000);
            ++st.timestampJumps;
            nextJumpUs += static_cast<int64_t>(fc.jumpEverySec * 1e6);
        }
        if (tcp && nextDisconnectUs >= 0 && unit.streamTimeUs >= nextDisconnectUs) {
            st.transport.Disconnect();
            ++st.disconnects;
            log("fault: disconnecting at " + std::to_string(unit.streamTimeUs / 1000) +
                " ms of stream time");
            nextDisconnectUs += static_cast<int64_t>(fc.disconnectEverySec * 1e6);
        }

        wire.clear();
        if (faults.GarbageBeforeFrame(garbage)) {
            wire.insert(wire.end(), garbage.begin(), garbage.end());
            ++st.garbageInserted;
            st.garbageBytes += garbage.size();
        }
        const size_t keep = faults.TruncatedLength(unit.bytes.size());
        if (keep < unit.bytes.size())
            ++st.framesTruncated;
        wire.insert(wire.end(), unit.bytes.begin(),
                    unit.bytes.begin() + static_cast<ptrdiff_t>(keep));

        if (tcp) {
            bool made = false;
            if (!st.transport.EnsureConnected(m_stop, made, log))
                break;
            if (made) {
                ++st.connections;
                log("connected; sending");
                anchored = false;
            }
        }
        if (c.realTime) {
            // The first unit after (re)connecting sets the clock; later ones wait for their time.
            if (!anchored) {
                anchor = Clock::now() - std::chrono::microseconds(unit.streamTimeUs);
                anchored = true;
                if (c.stream.live)
                    st.generator.RestartLiveClock(unit.streamTimeUs);
            }
            const Clock::time_point due = anchor + std::chrono::microseconds(unit.streamTimeUs);
            while (!m_stop.load() && Clock::now() < due)
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(due - Clock::now(), std::chrono::milliseconds(20)));
            if (m_stop.load())
                break;
        }

        if (st.record) {
            if (std::fwrite(wire.data(), 1, wire.size(), st.record) != wire.size()) {
                error = "cannot write the record file \"" + m_recordPath + "\"";
                break;
            }
            st.bytesRecorded += wire.size();
        }
        if (udp) {
            for (size_t at = 0; at < wire.size(); at += datagram) {
                const std::span<const uint8_t> d(wire.data() + at,
                                                 std::min(datagram, wire.size() - at));
                if (faults.LoseDatagram()) {
                    ++st.datagramsLost;
                    continue;
                }
                if (!holding && faults.ReorderDatagram()) {
                    held.assign(d.begin(), d.end());
                    holding = true;
                    ++st.datagramsReordered;
                    continue;
                }
                sendDatagram(d);
                if (holding) {
                    sendDatagram(held);
                    holding = false;
                }
            }
        } else if (tcp) {
            if (st.transport.SendStream(wire, m_stop)) {
                st.bytesSent += wire.size();
                ++st.sends;
            } else if (!m_stop.load()) {
                log("the player closed the connection; waiting to reconnect");
            }
        }
    }
    if (holding)
        sendDatagram(held);
    if (st.record) {
        std::fflush(st.record);
        std::fclose(st.record);
        st.record = nullptr;
    }
    // Closing ends the TCP stream, which tells a reading peer that all has come.
    st.transport.Disconnect();
    if (!error.empty())
        log("stopped: " + error);
    else if (ok)
        log("done: " + std::to_string(st.videoFrames.load()) + " frames, " +
            std::to_string(st.bytesSent.load()) + " bytes sent");
    finish(ok, error);
}

} // namespace tvdevsim
