#include "PlayerFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include <windows.h>

#include "CodecKind.h"
#include "INWSource.h"

using tvdevsim::CDeviceSimulator;
using tvdevsim::SimConfig;
using tvdevsim::SimKind;
using tvdevsim::SimTransport;

namespace {

// A port nobody uses right now on this machine (bound to any address, as the
// network source binds it), for the socket type given.
int FreePort(int type)
{
    const int s = ::socket(AF_INET, type, 0);
    if (s < 0)
        return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    int port = -1;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        socklen_t len = sizeof a;
        if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ::close(s);
    return port;
}

// Reads "key:number" after the first occurrence of key in line.
bool ReadInt(const std::string& line, const char* key, int64_t& value)
{
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return false;
    return std::sscanf(line.c_str() + at + std::strlen(key), "%" SCNd64, &value) == 1;
}

template <class Done> bool WaitUntil(int timeoutMs, Done done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

const char* TvLinkName(TvLink link)
{
    switch (link) {
    case TvLink::Udp:
        return "Udp";
    case TvLink::Multicast:
        return "Multicast";
    case TvLink::TcpServer:
        return "TcpServer";
    case TvLink::TcpClient:
        return "TcpClient";
    }
    return "?";
}

bool ParsePlayerStatistics(const std::string& text, TvPlayerStats& stats)
{
    stats = TvPlayerStats{};
    bool any = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        if (line.rfind("NWSource--", 0) == 0) {
            any |= ReadInt(line, "RecvPackets:", stats.recvPackets) &&
                   ReadInt(line, "RecvLength:", stats.recvLength) &&
                   ReadInt(line, "DeliverSamples:", stats.deliverSamples) &&
                   ReadInt(line, "DeliverLength:", stats.deliverLength);
        } else if (line.rfind("After Decoder--", 0) == 0) {
            any |= ReadInt(line, "Samples:", stats.decodedSamples) &&
                   ReadInt(line, "Length:", stats.decodedLength);
        } else if (line.rfind("Render--", 0) == 0) {
            const size_t at = line.find("FrameRate:");
            if (at != std::string::npos)
                std::sscanf(line.c_str() + at + 10, "%lf", &stats.frameRate);
            any |= ReadInt(line, "Drawn:", stats.drawn) && ReadInt(line, "Dropped:", stats.dropped);
        }
    }
    return any;
}

double TvEnvNumber(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    const double value = text ? std::atof(text) : 0;
    return value > 0 ? value : fallback;
}

int TvFormatTypeFor(SimKind kind)
{
    switch (kind) {
    case SimKind::Device40:
    case SimKind::Device36:
    case SimKind::DeviceFieldD1:
    case SimKind::TsH264:
    case SimKind::EsH264:
        return CodecDeviceH264;
    case SimKind::Jp2kFields:
        return CodecJP2K;
    case SimKind::QBoxH264:
    case SimKind::Ts192H264:
        return CodecHDH264;
    case SimKind::QBoxMjpeg:
    case SimKind::QBoxMjpegInterlaced:
        return CodecMjpeg;
    case SimKind::TsMpeg2:
    case SimKind::EsMpeg2:
        return CodecMpeg2;
    case SimKind::TsMpeg4:
    case SimKind::EsMpeg4:
        return CodecMpeg4;
    }
    return CodecDeviceH264;
}

void TvPlayerFixture::SetUp()
{
    TP_Init();
    std::random_device random;
    char name[64];
    std::snprintf(name, sizeof name, "tvplayer-%08x", random());
    m_tempDir = (std::filesystem::temp_directory_path() / name).string();
    std::filesystem::create_directories(m_tempDir);
}

void TvPlayerFixture::TearDown()
{
    // Players first: their receivers and renderers go before the senders and
    // the windows they use.
    TP_Exit();
    StopSimulators();
    for (HWND hWnd : m_windows) {
        if (IsWindow(hWnd)) {
            TP_SetMessageCallback(hWnd, nullptr, nullptr);
            DestroyWindow(hWnd);
        }
    }
    m_windows.clear();
    m_handleWindows.clear();
    std::error_code ignored;
    std::filesystem::remove_all(m_tempDir, ignored);
}

void TvPlayerFixture::StopSimulators()
{
    for (auto& sim : m_sims)
        sim->Stop();
    m_sims.clear();
}

HWND TvPlayerFixture::NewWindow(int width, int height)
{
    HWND hWnd = TvCreateVirtualWindow(width, height);
    EXPECT_NE(hWnd, nullptr);
    if (!hWnd)
        return nullptr;
    m_windows.push_back(hWnd);
    EXPECT_EQ(TP_SetMessageCallback(hWnd, &TvPlayerFixture::OnMessage, this), 0);
    return hWnd;
}

intptr_t TvPlayerFixture::OnMessage(HWND hWnd, unsigned msg, uintptr_t wParam, intptr_t lParam,
                                    void* user)
{
    auto* self = static_cast<TvPlayerFixture*>(user);
    std::lock_guard<std::mutex> lock(self->m_messageLock);
    self->m_messages.push_back({hWnd, msg, wParam, lParam});
    return 0;
}

std::vector<TvWindowMessage> TvPlayerFixture::Messages()
{
    std::lock_guard<std::mutex> lock(m_messageLock);
    return m_messages;
}

int TvPlayerFixture::CountMessages(unsigned msg)
{
    std::lock_guard<std::mutex> lock(m_messageLock);
    int count = 0;
    for (const TvWindowMessage& m : m_messages)
        count += m.msg == msg ? 1 : 0;
    return count;
}

bool TvPlayerFixture::WaitForMessage(HWND hWnd, unsigned msg, int timeoutMs)
{
    return WaitUntil(timeoutMs, [&] {
        std::lock_guard<std::mutex> lock(m_messageLock);
        for (const TvWindowMessage& m : m_messages)
            if (m.hWnd == hWnd && m.msg == msg)
                return true;
        return false;
    });
}

SimConfig TvPlayerFixture::LiveConfig(SimKind kind)
{
    SimConfig config;
    config.stream.kind = kind;
    int width = 0, height = 0;
    tvdevsim::DefaultPictureSize(kind, width, height);
    // Small pictures keep the encoders cheap. The field-coded kind has one
    // size, and the splitter takes HD H.264 and Motion JPEG boxes for
    // 1920 x 1080 whatever they carry.
    if (kind == SimKind::QBoxH264 || kind == SimKind::QBoxMjpegInterlaced) {
        config.stream.width = 1920;
        config.stream.height = 1080;
    } else if (kind != SimKind::DeviceFieldD1) {
        config.stream.width = 320;
        config.stream.height = 240;
    }
    config.stream.frameRate = 25;
    config.stream.audio = false;
    config.stream.live = true;
    config.realTime = true;
    return config;
}

int TvPlayerFixture::OpenLive(const SimConfig& base, TvLink link, bool* skipped)
{
    if (skipped)
        *skipped = false;
    SimConfig config = base;
    const int socketType =
        link == TvLink::Udp || link == TvLink::Multicast ? SOCK_DGRAM : SOCK_STREAM;
    std::string address = "127.0.0.1";
    int port = link == TvLink::TcpClient ? 0 : FreePort(socketType);
    if (port < 0) {
        ADD_FAILURE() << "no free port";
        return -1;
    }
    int connectType = NW_CONNECT_UDP;
    switch (link) {
    case TvLink::Udp:
        config.transport = SimTransport::Udp;
        break;
    case TvLink::Multicast: {
        // A group of its own per run; sent out of the default interface and
        // looped back, where the network source's join (any interface) finds it.
        std::random_device random;
        char group[32];
        std::snprintf(group, sizeof group, "239.255.%u.%u", 1 + random() % 250, 1 + random() % 250);
        address = group;
        config.transport = SimTransport::Udp;
        config.multicastLoopback = true;
        config.multicastTtl = 1;
        config.multicastInterface.clear();
        connectType = NW_CONNECT_UDP_MULTICAST;
        break;
    }
    case TvLink::TcpServer:
        config.transport = SimTransport::TcpClient;
        connectType = NW_CONNECT_TCP_SERVER;
        break;
    case TvLink::TcpClient:
        config.transport = SimTransport::TcpServer;
        connectType = NW_CONNECT_TCP_CLIENT;
        break;
    }
    config.address = address;
    config.port = port;

    auto sim = std::make_unique<CDeviceSimulator>();
    sim->SetLogHandler([](const std::string&) {});
    // The player listens (UDP, TCP server) before the simulator sends; the
    // simulator listens (TCP client) before the player connects.
    HWND hWnd = NewWindow();
    if (!hWnd)
        return -1;
    const int handle = TP_Initialize(hWnd, 1, TvFormatTypeFor(config.stream.kind), 0, 0);
    if (handle < 0) {
        ADD_FAILURE() << "TP_Initialize: -1, last error through no handle";
        return -1;
    }
    if (link == TvLink::TcpClient) {
        if (!sim->Start(config)) {
            ADD_FAILURE() << "simulator: " << sim->Error();
            return -1;
        }
        port = sim->StreamPort();
    }
    const int opened = TP_OpenStream(handle, address.c_str(), port, connectType, 0);
    if (opened != 0) {
        ADD_FAILURE() << "TP_OpenStream: " << opened;
        return -1;
    }
    if (link != TvLink::TcpClient && !sim->Start(config)) {
        if (link == TvLink::Multicast && skipped) {
            *skipped = true;
            return -1;
        }
        ADD_FAILURE() << "simulator: " << sim->Error();
        return -1;
    }
    m_sims.push_back(std::move(sim));
    m_handleWindows[handle] = hWnd;
    if (link == TvLink::Multicast && skipped) {
        // Some sandboxes send multicast without delivering it back.
        if (!WaitUntil(5000, [&] { return Statistics(handle).recvPackets > 0; })) {
            *skipped = true;
            return -1;
        }
    }
    return handle;
}

std::string TvPlayerFixture::WriteRecord(SimKind kind, int frames, bool audio)
{
    SimConfig config = LiveConfig(kind);
    config.stream.audio = audio;
    config.stream.live = false;
    config.transport = SimTransport::None;
    config.realTime = false;
    config.frames = frames;
    // One name per record, so a test may write several of a kind.
    config.recordPath =
        m_tempDir + "/" + tvdevsim::KindName(kind) + "-" + std::to_string(++m_records);
    CDeviceSimulator sim;
    sim.SetLogHandler([](const std::string&) {});
    if (!sim.Start(config)) {
        ADD_FAILURE() << "simulator: " << sim.Error();
        return {};
    }
    if (!sim.WaitFinished(120000)) {
        ADD_FAILURE() << "simulator did not finish the record: " << sim.Error();
        return {};
    }
    sim.Stop();
    return sim.RecordPath();
}

int TvPlayerFixture::OpenFile(const std::string& path, int* result)
{
    HWND hWnd = NewWindow();
    const int handle = TP_Initialize(hWnd, 1, 0, 2, 0);
    EXPECT_GE(handle, 0);
    const int opened = TP_OpenLocalFile(handle, path.c_str());
    if (result)
        *result = opened;
    m_handleWindows[handle] = hWnd;
    return handle;
}

int TvPlayerFixture::PlayLive(SimKind kind, TvLink link, int64_t frames)
{
    const int handle = OpenLive(kind, link);
    if (handle < 0)
        return -1;
    if (!WaitFramesDrawn(handle, frames)) {
        ADD_FAILURE() << "no pictures drawn\n" << StatisticsText(handle);
        return -1;
    }
    return handle;
}

int TvPlayerFixture::PlayRecord(SimKind kind, int recordFrames, bool audio, int64_t frames)
{
    const std::string path = WriteRecord(kind, recordFrames, audio);
    if (path.empty())
        return -1;
    int opened = -1;
    const int handle = OpenFile(path, &opened);
    if (opened != 0) {
        ADD_FAILURE() << "TP_OpenLocalFile(\"" << path << "\"): " << opened;
        return -1;
    }
    if (!WaitFramesDrawn(handle, frames)) {
        ADD_FAILURE() << "no pictures drawn from " << path << "\n" << StatisticsText(handle);
        return -1;
    }
    return handle;
}

HWND TvPlayerFixture::WindowOf(int handle) const
{
    auto it = m_handleWindows.find(handle);
    return it == m_handleWindows.end() ? nullptr : it->second;
}

std::string TvPlayerFixture::StatisticsText(int handle)
{
    char text[1024] = {};
    const int r = TP_GetStatistics(handle, text, sizeof text);
    return std::string(text) + "(TP_GetStatistics: " + std::to_string(r) + ")";
}

TvPlayerStats TvPlayerFixture::Statistics(int handle, int* result)
{
    char text[1024] = {};
    const int r = TP_GetStatistics(handle, text, sizeof text);
    if (result)
        *result = r;
    TvPlayerStats stats;
    ParsePlayerStatistics(text, stats);
    return stats;
}

bool TvPlayerFixture::WaitFramesDrawn(int handle, int64_t frames, int timeoutMs)
{
    return WaitUntil(timeoutMs, [&] { return Statistics(handle).drawn >= frames; });
}

bool TvPlayerFixture::WaitFramesDecoded(int handle, int64_t samples, int timeoutMs)
{
    return WaitUntil(timeoutMs, [&] { return Statistics(handle).decodedSamples >= samples; });
}
