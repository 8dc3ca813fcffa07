// The whole live pipeline against decoding alone. A sender process (forked
// before the kit starts; the simulator's generator encoded the stream ahead,
// so no encoding runs while the kit is measured) sends a device stream on
// 127.0.0.1 in real time; the kit plays it through TP_OpenStream into a window
// at half the picture's size (a camera-wall tile). Every figure is CPU time
// from the clocks of the process or thread that spent it, per second of
// stream, next to its floor from the same run: libavcodec decoding the same
// pictures with one thread.
//
//   BM_Pipeline/stream/renderer/load
//       stream    0 1080p25 device H.264 (40-byte headers, voice frames),
//                 1 HD H.264 in QBox (1080p25, AAC boxes),
//                 2 D1 field-coded device H.264 (704 x 576, two fields a frame)
//       renderer  0 offscreen, 1 X11 (needs DISPLAY; the X server's CPU is read
//                 from /proc/<pid>/stat when TV_BENCH_XSERVER_PID names it)
//       load      0 neutral colour, no overlays (target 1.35 x the floor),
//                 1 colour adjusted and 20 overlays (target 1.6 x)
//     counters: kit_cpu (ms of process CPU per s of stream), floor_cpu (ms
//     per s; the mean of one measure before the run and one after),
//     floor_paced_cpu (the same pictures decoded one every 40 ms), ratio (to
//     floor_cpu), target, sent and drawn (pictures of the measured stretch,
//     which leaves out the start-up: at least the first second, and until the
//     player has drawn; the graph is built on the stream's first bytes and
//     starts at a key picture), x_cpu (the X server, ms per s), cpu_<thread>
//     per named thread of the kit (ms per s) and wk_<thread>, its wake-ups
//     (context switches per s).
//   BM_Latency/stream
//       from the sender's send of a picture's first datagram to the renderer's
//       presentation of it (the number the simulator drew, read back from the
//       renderer's surface; each number counts at its first showing); both
//       ends read this machine's CLOCK_MONOTONIC. median_ms, p99_ms, read,
//       target_ms (one frame interval plus the frame processor's jitter
//       buffer), and callback_median_ms, callback_p99_ms: the same to the
//       frame callback, before the processor's queue.
//   BM_Capacity/stream
//       1, 2, 4, ... players in this process, one stream each from one sender
//       process: the largest count whose every player draws every picture sent
//       while the process stays at or under 80 % of the machine's CPU
//       (players_max; cpu_pct_at_max, the process's share of all cores).
//
// TV_BENCH_SECONDS (default 8) sets the seconds of stream a run plays.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "CodecKind.h"
#include "DeviceFrameHeader.h"
#include "INWSource.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "TarvoPlayLib.h"
#include "TaskStats.h"
#include "TestPattern.h"
#include "offscreen.h"
#include "strmif.h"
#include "tvdevsim/StreamGenerator.h"
#include "win32/window.h"
#include "wingdi.h"

namespace {

using tvdevsim::SimKind;

int StreamSeconds()
{
    const char* text = std::getenv("TV_BENCH_SECONDS");
    const int s = text ? std::atoi(text) : 0;
    return s > 0 ? s : 8;
}

int64_t MonotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double ClockSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// ---- The stream ----

struct StreamCase {
    const char* name;
    SimKind kind;
    int width, height; // 0: the kind's own
    int bitrateKbps;
};
constexpr StreamCase kStreams[] = {
    {"1080p25 device H.264", SimKind::Device40, 1920, 1080, 8000},
    {"1080p25 QBox H.264", SimKind::QBoxH264, 1920, 1080, 8000},
    {"D1 field H.264", SimKind::DeviceFieldD1, 0, 0, 0},
};

struct Clip {
    int width = 0, height = 0, frames = 0;
    int formatType = CodecDeviceH264;
    std::vector<tvdevsim::StreamUnit> units;
    // The H.264 of each picture, as libavcodec takes it (start codes).
    std::vector<std::vector<uint8_t>> pictures;
};

// Annex B bytes of one video unit of the simulator.
std::vector<uint8_t> PictureBytes(SimKind kind, const std::vector<uint8_t>& b)
{
    std::vector<uint8_t> out;
    if (kind == SimKind::QBoxH264) {
        // The box follows the device header that announces key pictures.
        for (size_t at = 0; at + kQBoxHeaderSize <= b.size(); ++at) {
            QBoxHeader header;
            std::span<const uint8_t> box(b.data() + at, b.size() - at);
            size_t offset = 0, length = 0;
            if (std::memcmp(b.data() + at + 4, kQBoxType, 4) == 0 && ReadQBoxHeader(box, header) &&
                LocateQBoxH264Media(header, box, offset, length)) {
                AppendNalUnitsAsStartCodes(box.subspan(offset, length), out);
                break;
            }
        }
    } else if (kind == SimKind::Device40) {
        // Pictures larger than one frame go out in consecutive frames.
        for (size_t pos = 0; pos + kDeviceHeader40Size <= b.size();) {
            const size_t total = size_t(b[pos + 14]) | (size_t(b[pos + 15]) << 8);
            if (total < kDeviceHeader40Size || pos + total > b.size())
                break;
            out.insert(out.end(), b.begin() + ptrdiff_t(pos + kDeviceHeader40Size),
                       b.begin() + ptrdiff_t(pos + total));
            pos += total;
        }
    } else if (b.size() > kDeviceHeader36Size) {
        out.assign(b.begin() + kDeviceHeader36Size, b.end());
    }
    return out;
}

// gop: pictures from one key picture to the next (0: the simulator's own).
const Clip& ClipFor(int index, int frames, int gop = 0)
{
    static std::map<std::tuple<int, int, int>, Clip> clips;
    Clip& clip = clips[{index, frames, gop}];
    if (!clip.units.empty())
        return clip;
    const StreamCase& c = kStreams[index];
    tvdevsim::GeneratorConfig config;
    config.kind = c.kind;
    config.width = c.width;
    config.height = c.height;
    config.bitrateKbps = c.bitrateKbps;
    if (gop > 0)
        config.gop = gop;
    tvdevsim::CStreamGenerator generator;
    if (!generator.Open(config))
        return clip;
    clip.width = generator.Width();
    clip.height = generator.Height();
    clip.formatType = c.kind == SimKind::QBoxH264 ? CodecHDH264 : CodecDeviceH264;
    tvdevsim::StreamUnit unit;
    while (clip.frames < frames && generator.Next(unit)) {
        if (unit.video) {
            ++clip.frames;
            clip.pictures.push_back(PictureBytes(c.kind, unit.bytes));
        }
        clip.units.push_back(std::move(unit));
    }
    return clip;
}

// libavcodec's H.264 decoder alone, one thread, on the clip's pictures: CPU
// seconds of this thread. Pictures decoded in *decoded. paced: one picture
// every 40 ms, as a live stream gives them, rather than all at once.
double FloorCpuSeconds(const Clip& clip, int* decoded, bool paced = false)
{
    *decoded = 0;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx)
        return -1;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return -1;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const double start = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
    auto drain = [&] {
        while (avcodec_receive_frame(ctx, frame) == 0)
            ++*decoded;
    };
    auto due = std::chrono::steady_clock::now();
    for (const auto& picture : clip.pictures) {
        if (picture.empty())
            continue;
        if (paced) {
            due += std::chrono::milliseconds(40);
            std::this_thread::sleep_until(due);
        }
        packet->data = const_cast<uint8_t*>(picture.data());
        packet->size = int(picture.size());
        avcodec_send_packet(ctx, packet);
        drain();
    }
    avcodec_send_packet(ctx, nullptr);
    drain();
    const double spent = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return spent;
}

// ---- The sender process ----

constexpr int kMaxFrames = 1 << 16;

// Shared with the sender: when each picture's first datagram left.
struct SendLog {
    std::atomic<int64_t> sentNs[kMaxFrames];
};

// All n bytes through io (read or write), on through interruptions; false at
// an error or the end of the input.
template <typename Byte, typename Io> bool TransferAll(int fd, Byte* p, size_t n, Io io)
{
    while (n > 0) {
        const ssize_t done = io(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        p += done;
        n -= size_t(done);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t n)
{
    return TransferAll(fd, static_cast<const uint8_t*>(data), n,
                       [](int f, const uint8_t* b, size_t k) { return write(f, b, k); });
}

bool ReadAll(int fd, void* data, size_t n)
{
    return TransferAll(fd, static_cast<uint8_t*>(data), n,
                       [](int f, uint8_t* b, size_t k) { return read(f, b, k); });
}

// The sender: a process forked when this program starts, before any kit or
// clip exists, so that it shares none of the kit's memory. (A sender forked
// later shares the heap the kit's buffers are then carved from: every first
// write to such a page in the measured stretch copied the page and flushed
// the other core's TLB, a third of the receive thread's CPU.) It takes one
// job at a time over a socket: the ports, the clip's units, then the start
// time (negative: none), sends the clip in real time to every port, logs
// when each picture's first datagram left, and answers one byte when done.
class CSenderProcess {
public:
    CSenderProcess()
    {
        void* shared = mmap(nullptr, sizeof(SendLog), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        int fds[2];
        if (shared == MAP_FAILED || socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            return;
        m_log = static_cast<SendLog*>(shared);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            Serve(fds[1], m_log);
            _exit(0);
        }
        close(fds[1]);
        if (pid > 0)
            m_socket = fds[0];
        else
            close(fds[0]);
    }
    ~CSenderProcess()
    {
        if (m_socket >= 0)
            close(m_socket); // the sender ends on the end of its input
    }
    int Socket() const { return m_socket; }
    SendLog* Log() const { return m_log; }

private:
    static void Serve(int s, SendLog* log)
    {
        const int out = socket(AF_INET, SOCK_DGRAM, 0);
        int size = 8 << 20;
        setsockopt(out, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        for (;;) {
            uint32_t portCount = 0, unitCount = 0;
            if (!ReadAll(s, &portCount, sizeof portCount))
                return;
            std::vector<int32_t> ports(portCount);
            if (!ReadAll(s, ports.data(), ports.size() * sizeof(int32_t)) ||
                !ReadAll(s, &unitCount, sizeof unitCount))
                return;
            std::vector<tvdevsim::StreamUnit> units(unitCount);
            for (auto& unit : units) {
                int64_t head[3] = {};
                if (!ReadAll(s, head, sizeof head))
                    return;
                unit.streamTimeUs = head[0];
                unit.frameIndex = head[1];
                unit.video = unit.frameIndex >= 0;
                unit.bytes.resize(size_t(head[2]));
                if (!ReadAll(s, unit.bytes.data(), unit.bytes.size()))
                    return;
            }
            int64_t start = -1;
            if (!ReadAll(s, &start, sizeof start))
                return;
            if (start >= 0)
                Send(out, units, ports, start, log);
            const uint8_t done = 1;
            if (!WriteAll(s, &done, 1))
                return;
        }
    }
    static void Send(int s, const std::vector<tvdevsim::StreamUnit>& units,
                     const std::vector<int32_t>& ports, int64_t start, SendLog* log)
    {
        for (const auto& unit : units) {
            const int64_t due = start + unit.streamTimeUs * 1000;
            timespec t{time_t(due / 1000000000), long(due % 1000000000)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
            }
            if (unit.video && unit.frameIndex < kMaxFrames)
                log->sentNs[unit.frameIndex].store(MonotonicNs());
            for (int port : ports) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(uint16_t(port));
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                for (size_t at = 0; at < unit.bytes.size(); at += 1400) {
                    const size_t n = std::min<size_t>(1400, unit.bytes.size() - at);
                    while (sendto(s, unit.bytes.data() + at, n, 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0 &&
                           (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) {
                    }
                }
            }
        }
    }

    SendLog* m_log = nullptr;
    int m_socket = -1;
};

// Forked during this program's static initialisation, before main.
CSenderProcess g_senderProcess;

// One run's use of the sender process.
class CSender {
public:
    CSender() = default;
    ~CSender() { Finish(); }
    CSender(const CSender&) = delete;
    CSender& operator=(const CSender&) = delete;

    // Hands the sender the clip and the ports; it sends nothing before Go.
    bool Start(const Clip& clip, const std::vector<int>& ports)
    {
        const int s = g_senderProcess.Socket();
        if (s < 0 || m_started)
            return false;
        for (int i = 0; i < kMaxFrames; ++i)
            g_senderProcess.Log()->sentNs[i].store(-1);
        m_started = true;
        const uint32_t portCount = uint32_t(ports.size()), unitCount = uint32_t(clip.units.size());
        std::vector<int32_t> ports32(ports.begin(), ports.end());
        bool ok = WriteAll(s, &portCount, sizeof portCount) &&
                  WriteAll(s, ports32.data(), ports32.size() * sizeof(int32_t)) &&
                  WriteAll(s, &unitCount, sizeof unitCount);
        for (size_t i = 0; ok && i < clip.units.size(); ++i) {
            const auto& unit = clip.units[i];
            const int64_t head[3] = {unit.streamTimeUs, unit.video ? unit.frameIndex : -1,
                                     int64_t(unit.bytes.size())};
            ok =
                WriteAll(s, head, sizeof head) && WriteAll(s, unit.bytes.data(), unit.bytes.size());
        }
        m_broken = !ok;
        return ok;
    }
    // The first unit goes out at startNs (CLOCK_MONOTONIC).
    bool Go(int64_t startNs)
    {
        if (!m_started || m_going || m_broken)
            return false;
        m_going = WriteAll(g_senderProcess.Socket(), &startNs, sizeof startNs);
        m_broken = !m_going;
        return m_going;
    }
    // Waits for the sender to end the clip (at once when it was never told
    // to go).
    void Finish()
    {
        if (!m_started || m_broken)
            return;
        const int s = g_senderProcess.Socket();
        if (!m_going) {
            const int64_t none = -1;
            WriteAll(s, &none, sizeof none);
        }
        uint8_t done = 0;
        ReadAll(s, &done, 1);
        m_started = m_going = false;
    }
    int64_t SentNs(int64_t frame) const
    {
        return frame >= 0 && frame < kMaxFrames ? g_senderProcess.Log()->sentNs[frame].load() : -1;
    }

private:
    bool m_started = false, m_going = false, m_broken = false;
};

int FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

// True once every port has a UDP socket bound on this machine (the players
// open theirs on their receive threads, after TP_OpenStream returned).
bool PortsBound(const std::vector<int>& ports)
{
    std::vector<bool> seen(ports.size(), false);
    FILE* f = std::fopen("/proc/net/udp", "r");
    if (!f)
        return false;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        unsigned address = 0, port = 0;
        if (std::sscanf(line, " %*d: %x:%x", &address, &port) != 2)
            continue;
        for (size_t i = 0; i < ports.size(); ++i)
            seen[i] = seen[i] || int(port) == ports[i];
    }
    std::fclose(f);
    return std::all_of(seen.begin(), seen.end(), [](bool b) { return b; });
}

// ---- CPU by thread ----
// From the kernel's per-thread accounts (TaskStats.h): nanoseconds on a CPU
// and context switches (a thread's wake-ups) per thread name.

// Another process's CPU seconds (user + system), -1 when unreadable.
double ProcessCpu(int pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f)
        return -1;
    char line[1024] = {};
    const size_t n = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[n] = 0;
    const char* close = std::strrchr(line, ')');
    unsigned long long utime = 0, stime = 0;
    if (!close || std::sscanf(close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                              &utime, &stime) != 2)
        return -1;
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

int XServerPid()
{
    const char* text = std::getenv("TV_BENCH_XSERVER_PID");
    return text ? std::atoi(text) : 0;
}

// ---- Players ----

int64_t DrawnPictures(int handle)
{
    char text[1024] = {};
    if (TP_GetStatistics(handle, text, sizeof text) != 0)
        return -1;
    const char* drawn = std::strstr(text, "Drawn:");
    return drawn ? std::atoll(drawn + 6) : -1;
}

// Frame callback state of one player: the latency of each picture read.
struct LatencyProbe {
    const CSender* sender = nullptr;
    // The size the simulator drew the pictures at. The callback's picture may
    // be taller (a decoder's coded size, 1088 lines for 1080), and the lines
    // it really holds are what its byte count says.
    int drawWidth = 0, drawHeight = 0;
    std::mutex lock;
    std::vector<double> latencyMs; // guarded by lock
    int unread = 0;                // guarded by lock
    int64_t lastRead = -1;         // guarded by lock

    static void OnFrame(void* user, unsigned char* frame, int size, int width, int height)
    {
        auto* self = static_cast<LatencyProbe*>(user);
        const int64_t now = MonotonicNs();
        const int lines = width > 0 ? std::min(height, size / (width * 2)) : 0;
        const tvdevsim::PatternRect plate =
            tvdevsim::FrameNumberPlate(self->drawWidth, self->drawHeight);
        if (!frame || width < self->drawWidth || lines < plate.y + plate.height)
            return;
        // The callback's picture is YUY2: luma every 2nd byte.
        const int64_t n =
            tvdevsim::ReadFrameNumber(self->drawWidth, self->drawHeight, [&](int x, int y) {
                return int(frame[(size_t(y) * size_t(width) + size_t(x)) * 2]);
            });
        const int64_t sent = self->sender->SentNs(n);
        std::lock_guard<std::mutex> guard(self->lock);
        if (n < 0 || sent < 0) {
            ++self->unread;
        } else if (n > self->lastRead) {
            // A number seen before is the same picture again (a repeated or
            // skipped-coded one): its latency is that of its first showing.
            self->lastRead = n;
            self->latencyMs.push_back(double(now - sent) / 1e6);
        }
    }
};

// Latency to the screen: a thread of its own watches the player's renderer
// (found by its filter name in the graph once the player has rendered it) and
// reads the number from each picture it presents, from the surface the
// renderer keeps (its window's size, 4 bytes a pixel, B G R X). It looks every
// millisecond, so a figure may be up to a millisecond late.
class CPresentProbe {
public:
    ~CPresentProbe() { Stop(); }
    void Start(int handle, const CSender* sender, int drawWidth, int drawHeight)
    {
        m_thread = std::thread([=, this] { Run(handle, sender, drawWidth, drawHeight); });
    }
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    std::vector<double> LatencyMs() const { return m_latencyMs; } // after Stop

private:
    void Run(int handle, const CSender* sender, int drawWidth, int drawHeight)
    {
        IOffscreenSnapshot* snapshot = nullptr;
        LONGLONG seen = -1;
        int64_t lastRead = -1;
        std::vector<BYTE> surface;
        while (!m_stop) {
            if (!snapshot)
                snapshot = FindRenderer(handle);
            LONG w = 0, h = 0;
            LONGLONG presented = 0;
            if (snapshot && snapshot->GetSurfaceInfo(&w, &h, &presented, nullptr) == S_OK &&
                presented != seen && w > 0 && h > 0) {
                const int64_t now = MonotonicNs();
                seen = presented;
                surface.resize(size_t(w) * size_t(h) * 4);
                if (snapshot->CopyLastFrame(surface.data(), LONG(surface.size()), &w, &h) == S_OK) {
                    const int64_t n =
                        tvdevsim::ReadFrameNumber(drawWidth, drawHeight, [&](int x, int y) {
                            const size_t sx = size_t(x) * size_t(w) / size_t(drawWidth);
                            const size_t sy = size_t(y) * size_t(h) / size_t(drawHeight);
                            return int(surface[(sy * size_t(w) + sx) * 4 + 1]); // green
                        });
                    const int64_t sent = sender->SentNs(n);
                    if (n > lastRead && sent >= 0) {
                        lastRead = n;
                        m_latencyMs.push_back(double(now - sent) / 1e6);
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (snapshot)
            snapshot->Release();
    }
    static IOffscreenSnapshot* FindRenderer(int handle)
    {
        IFilterGraph* graph = nullptr;
        if (TP_GetFilterGraph(handle, &graph) != 0 || !graph)
            return nullptr;
        IBaseFilter* renderer = nullptr;
        IOffscreenSnapshot* snapshot = nullptr;
        if (SUCCEEDED(graph->FindFilterByName(L"Render", &renderer)) && renderer) {
            renderer->QueryInterface(IID_IOffscreenSnapshot, reinterpret_cast<void**>(&snapshot));
            renderer->Release();
        }
        graph->Release();
        return snapshot;
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::vector<double> m_latencyMs;
};

// One player on its own window (offscreen, or an X11 window of its own).
class CBenchPlayer {
public:
    ~CBenchPlayer() { Close(); }

    bool Open(const Clip& clip, bool x11, int port, LatencyProbe* probe)
    {
        const int w = clip.width / 2, h = clip.height / 2;
        if (x11) {
            m_conn = xcb_connect(nullptr, nullptr);
            if (!m_conn || xcb_connection_has_error(m_conn))
                return false;
            xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
            m_xid = xcb_generate_id(m_conn);
            xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_xid, screen->root, 0, 0, uint16_t(w),
                              uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0,
                              nullptr);
            xcb_map_window(m_conn, m_xid);
            std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
            m_window = reinterpret_cast<HWND>(uintptr_t(m_xid));
        } else {
            m_window = TvCreateVirtualWindow(w, h);
        }
        if (!m_window)
            return false;
        m_handle = TP_Initialize(m_window, 1, clip.formatType, 0, 0);
        if (m_handle < 0)
            return false;
        if (probe)
            TP_SetYUVFrameCallBack(m_handle, &LatencyProbe::OnFrame, probe);
        return TP_OpenStream(m_handle, "127.0.0.1", port, NW_CONNECT_UDP, 0) == 0;
    }
    // False when a call failed. Only once the player draws: the processor
    // that takes colour and overlays is in the graph from then on (before,
    // every call fails and nothing would load the run).
    bool AddLoad()
    {
        // Colour moved off neutral on every control, and 20 overlays of the
        // kinds a camera wall shows: captions, a clock, boxes and zones.
        bool ok = TP_SetColor(m_handle, 140, 150, 110, 10) == 0;
        LOGFONTA font{}; // text items need one
        font.lfHeight = -24;
        std::strcpy(font.lfFaceName, "Arial");
        for (int i = 0; i < 8; ++i) {
            POINT a{LONG(40 + 100 * i), 200}, b{LONG(120 + 100 * i), 320};
            ok = TP_AddRectangleOverlay(m_handle, &a, &b, 0x0000FF, 0, 0) >= 0 && ok;
        }
        for (int i = 0; i < 6; ++i) {
            char text[32];
            std::snprintf(text, sizeof text, "Camera %d zone", i + 1);
            ok = TP_AddTextOverlay(m_handle, 40, 400 + 40 * i, text, 0xFFFFFF, &font, 0, 0) >= 0 &&
                 ok;
        }
        ok = TP_AddSysTimeOverlay(m_handle, 1400, 40, 0xFFFFFF, &font, 0, 0) >= 0 && ok;
        for (int i = 0; i < 3; ++i) {
            POINT c{LONG(300 + 300 * i), 700};
            ok = TP_AddCircleOverlay(m_handle, &c, 60, 0x00FF00, 0, 0) >= 0 && ok;
        }
        POINT zone[4] = {{1200, 600}, {1700, 620}, {1650, 900}, {1150, 880}};
        ok = TP_AddPolygonOverlay(m_handle, zone, 4, 0xFF0000, 0, 0) >= 0 && ok;
        POINT a{900, 100}, b{1300, 300};
        ok = TP_AddEllipseOverlay(m_handle, &a, &b, 0x00FFFF, 0, 0) >= 0 && ok;
        return ok;
    }
    int Handle() const { return m_handle; }
    void Close()
    {
        if (m_handle >= 0) {
            TP_PlayControl(m_handle, TP_PLAY_CLOSE, 0, nullptr);
            TP_Uninitialize(m_handle);
            m_handle = -1;
        }
        if (m_window) {
            DestroyWindow(m_window);
            m_window = nullptr;
        }
        if (m_conn) {
            xcb_destroy_window(m_conn, m_xid);
            xcb_disconnect(m_conn);
            m_conn = nullptr;
        }
    }

private:
    int m_handle = -1;
    HWND m_window = nullptr;
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_xid = 0;
};

struct Library {
    Library() { TP_Init(); }
    ~Library() { TP_Exit(); }
};

// What one run of n players measured over the clip's middle, from the first
// picture sent plus a second (the start-up: key picture, graph building) to
// the last sent.
struct RunResult {
    bool ok = false;
    std::string error;
    double streamSeconds = 0; // of the measured stretch
    double kitCpu = 0;        // process CPU seconds over it
    double xCpu = -1;
    std::map<std::string, TaskCost> threadCpu;
    int64_t sent = 0; // pictures sent to each player in the measured stretch
    // The same without the clip's last picture: a live stream's picture may
    // wait in the splitter until bytes of the next one come (fewer than 192
    // buffered bytes wait, and the D1 stream's predicted pictures are smaller),
    // and the clip's last has no next one.
    int64_t sentButLast = 0;
    int64_t fewestDrawn = 0; // the fewest any player drew from its start on
    double latencyMedianMs = -1, latencyP99Ms = -1;
    int latencyRead = 0, latencyUnread = 0;
    // The same to the screen (the renderer's presentation).
    double presentMedianMs = -1, presentP99Ms = -1;
    int presentRead = 0;
};

// The median and the 99th percentile of the figures (left alone when there
// are none); how many there are.
int MedianAndP99(std::vector<double> ms, double* median, double* p99)
{
    if (!ms.empty()) {
        std::sort(ms.begin(), ms.end());
        *median = ms[ms.size() / 2];
        *p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
    }
    return int(ms.size());
}

// startAllowance > 0: the measured stretch begins once every player has drawn
// a picture (the players' graphs are built one after another on the
// platform's message thread, and one built late starts at the next key
// picture), at least a second after the first picture was sent; a player that
// has drawn none startAllowance seconds after it fails the run.
RunResult PlayClip(const Clip& clip, int players, bool x11, bool load, bool latency,
                   double startAllowance = 0)
{
    RunResult r;
    std::vector<int> ports;
    for (int i = 0; i < players; ++i)
        ports.push_back(FreeUdpPort());
    // Forked before the kit starts (see CSender::Start); destroyed after it.
    CSender sender;
    if (std::count(ports.begin(), ports.end(), -1) > 0 || !sender.Start(clip, ports)) {
        r.error = "the sender did not start";
        return r;
    }
    Library library;
    std::vector<std::unique_ptr<CBenchPlayer>> opened;
    LatencyProbe probe;
    probe.sender = &sender;
    probe.drawWidth = clip.width;
    probe.drawHeight = clip.height;
    for (int i = 0; i < players; ++i) {
        auto player = std::make_unique<CBenchPlayer>();
        if (!player->Open(clip, x11, ports[size_t(i)], latency && i == 0 ? &probe : nullptr)) {
            r.error = "a player did not open";
            return r;
        }
        opened.push_back(std::move(player));
    }
    CPresentProbe presentProbe;
    if (latency)
        presentProbe.Start(opened.front()->Handle(), &sender, clip.width, clip.height);
    for (int waited = 0; !PortsBound(ports); waited += 10) {
        if (waited > 10000) {
            r.error = "the players' sockets did not open";
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const int startDelayMs = 300;
    const int64_t sendStart = MonotonicNs() + int64_t(startDelayMs) * 1000000;
    if (!sender.Go(sendStart)) {
        r.error = "the sender did not start";
        return r;
    }
    const double clipSeconds = double(clip.frames) / 25.0;
    const double settle = std::min(1.0, clipSeconds / 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(startDelayMs) +
                                std::chrono::duration<double>(settle));
    if (startAllowance > 0) {
        const int64_t giveUp = sendStart + int64_t(startAllowance * 1e9);
        std::vector<double> startedAt(opened.size(), -1);
        auto allDrawing = [&] {
            bool all = true;
            for (size_t i = 0; i < opened.size(); ++i) {
                if (startedAt[i] < 0 && DrawnPictures(opened[i]->Handle()) > 0)
                    startedAt[i] = double(MonotonicNs() - sendStart) / 1e9;
                all = all && startedAt[i] >= 0;
            }
            return all;
        };
        while (!allDrawing()) {
            if (MonotonicNs() > giveUp) {
                if (std::getenv("TV_BENCH_VERBOSE"))
                    for (const auto& p : opened) {
                        char text[1024] = {};
                        TP_GetStatistics(p->Handle(), text, sizeof text);
                        std::fprintf(stderr, "player %d: %s\n", p->Handle(), text);
                    }
                sender.Finish();
                r.error = "a player drew no picture within the start-up allowance";
                return r;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (std::getenv("TV_BENCH_VERBOSE")) {
            std::sort(startedAt.begin(), startedAt.end());
            std::fprintf(stderr, "%d players drawing from %.2f s to %.2f s after the first send\n",
                         players, startedAt.front(), startedAt.back());
        }
    }
    for (const auto& player : opened)
        if (load && !player->AddLoad()) {
            sender.Finish();
            r.error = "colour or an overlay did not apply";
            return r;
        }
    const int xpid = x11 ? XServerPid() : 0;
    const double cpu0 = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const auto threads0 = SampleTasks();
    const double x0 = xpid > 0 ? ProcessCpu(xpid) : -1;
    const int64_t wall0 = MonotonicNs();
    std::vector<int64_t> drawn0;
    for (const auto& player : opened)
        drawn0.push_back(DrawnPictures(player->Handle()));
    const int64_t sendEnd = sendStart + int64_t(clipSeconds * 1e9);
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<int64_t>(0, sendEnd - wall0)));
    r.kitCpu = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    r.streamSeconds = double(MonotonicNs() - wall0) / 1e9;
    r.threadCpu = CostByName(threads0, SampleTasks());
    if (xpid > 0 && x0 >= 0)
        r.xCpu = ProcessCpu(xpid) - x0;
    sender.Finish();
    // The last pictures still on their way through the graph.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Pictures sent from the window's start on, against those each player
    // drew since then (a picture on its way at the start only adds to these).
    r.sent = 0;
    for (int i = 0; i < clip.frames; ++i)
        r.sent += sender.SentNs(i) >= wall0 ? 1 : 0;
    r.sentButLast = r.sent - (clip.frames > 0 && sender.SentNs(clip.frames - 1) >= wall0 ? 1 : 0);
    r.fewestDrawn = INT64_MAX;
    size_t fewest = 0;
    for (size_t i = 0; i < opened.size(); ++i) {
        const int64_t drawn = DrawnPictures(opened[i]->Handle()) - drawn0[i];
        if (drawn < r.fewestDrawn) {
            r.fewestDrawn = drawn;
            fewest = i;
        }
    }
    if (std::getenv("TV_BENCH_VERBOSE")) {
        // What the graph of the player that drew fewest counted, for reading
        // a shortfall.
        char text[1024] = {};
        TP_GetStatistics(opened[fewest]->Handle(), text, sizeof text);
        std::fprintf(stderr, "%s", text);
    }
    {
        std::lock_guard<std::mutex> guard(probe.lock);
        r.latencyRead = MedianAndP99(probe.latencyMs, &r.latencyMedianMs, &r.latencyP99Ms);
        r.latencyUnread = probe.unread;
    }
    presentProbe.Stop();
    r.presentRead = MedianAndP99(presentProbe.LatencyMs(), &r.presentMedianMs, &r.presentP99Ms);
    opened.clear();
    r.ok = true;
    return r;
}

const Clip* ClipOrSkip(benchmark::State& state, int index, int gop = 0)
{
    const Clip& clip = ClipFor(index, StreamSeconds() * 25, gop);
    if (clip.units.empty() || clip.pictures.empty()) {
        state.SkipWithError("the simulator's encoder did not open");
        return nullptr;
    }
    return &clip;
}

void BM_Pipeline(benchmark::State& state)
{
    const int index = int(state.range(0));
    const bool x11 = state.range(1) != 0, load = state.range(2) != 0;
    if (x11 && !TvGetX11Display()) {
        state.SkipWithError("no X display");
        return;
    }
    const Clip* clip = ClipOrSkip(state, index);
    if (!clip)
        return;
    RunResult r;
    double floor = 0, pacedFloor = 0;
    int decoded = 0;
    for (auto _ : state) {
        // The floor on both sides of the run: this machine's speed drifts
        // by tens of percent within minutes.
        const double before = FloorCpuSeconds(*clip, &decoded);
        // The stretch opens once the player draws (at most half the clip in).
        r = PlayClip(*clip, 1, x11, load, false, double(clip->frames) / 25.0 / 2);
        floor = (before + FloorCpuSeconds(*clip, &decoded)) / 2;
        // Decoding at the stream's pace costs more than in one burst (each
        // picture starts on caches other work has had in the 40 ms between):
        // what the kit's decoder thread could cost at best, for reading its
        // figure.
        pacedFloor = FloorCpuSeconds(*clip, &decoded, true);
    }
    if (!r.ok) {
        state.SkipWithError(r.error.c_str());
        return;
    }
    const double clipSeconds = double(clip->frames) / 25.0;
    const double floorPerSecond = floor / clipSeconds;
    const double kitPerSecond = r.kitCpu / r.streamSeconds;
    state.SetLabel(std::string(kStreams[index].name) + (x11 ? ", X11" : ", offscreen") +
                   (load ? ", colour + 20 overlays" : ", neutral"));
    state.counters["kit_cpu"] = kitPerSecond * 1000;
    state.counters["floor_cpu"] = floorPerSecond * 1000;
    state.counters["ratio"] = floorPerSecond > 0 ? kitPerSecond / floorPerSecond : 0;
    state.counters["target"] = load ? 1.6 : 1.35;
    state.counters["sent"] = double(r.sent);
    state.counters["drawn"] = double(r.fewestDrawn);
    state.counters["floor_decoded"] = decoded;
    state.counters["floor_paced_cpu"] = pacedFloor / clipSeconds * 1000;
    if (r.xCpu >= 0)
        state.counters["x_cpu"] = r.xCpu / r.streamSeconds * 1000;
    for (const auto& [name, cost] : r.threadCpu) {
        if (cost.cpuSeconds > 0)
            state.counters["cpu_" + name] = cost.cpuSeconds / r.streamSeconds * 1000;
        if (cost.switches > 0)
            state.counters["wk_" + name] = double(cost.switches) / r.streamSeconds;
    }
}
BENCHMARK(BM_Pipeline)
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_Latency(benchmark::State& state)
{
    const int index = int(state.range(0));
    // The D1 writer's predicted pictures repeat the last key picture, number
    // and all: only key pictures show a new number, so every picture is one.
    const Clip* clip =
        ClipOrSkip(state, index, kStreams[index].kind == SimKind::DeviceFieldD1 ? 1 : 0);
    if (!clip)
        return;
    RunResult r;
    for (auto _ : state)
        r = PlayClip(*clip, 1, false, false, true);
    if (!r.ok || r.presentRead == 0) {
        state.SkipWithError(r.ok ? "no presented picture's number was read" : r.error.c_str());
        return;
    }
    state.SetLabel(kStreams[index].name);
    state.counters["median_ms"] = r.presentMedianMs;
    state.counters["p99_ms"] = r.presentP99Ms;
    state.counters["read"] = r.presentRead;
    // One frame interval plus the jitter buffer these streams have: the
    // frame processor's time control, which plays its queue at the frame
    // rate while it holds up to MaxBufferCount (2 by default) pictures. The
    // splitter's 500 ms hold (CClockPacer) is for CodecKind 256 streams
    // only, which none of these is.
    state.counters["target_ms"] = 40.0 + 2 * 40.0;
    // To the frame callback (before that queue), for the breakdown.
    state.counters["callback_median_ms"] = r.latencyMedianMs;
    state.counters["callback_p99_ms"] = r.latencyP99Ms;
    state.counters["callback_read"] = r.latencyRead;
    state.counters["unread"] = r.latencyUnread;
    state.counters["sent"] = double(r.sent);
}
BENCHMARK(BM_Latency)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Capacity(benchmark::State& state)
{
    const int index = int(state.range(0));
    // The players start one after another: the clip is longer by the
    // seconds they may take, so that the measured stretch keeps its length.
    constexpr int kStartAllowanceSeconds = 5;
    const Clip& longer = ClipFor(index, (StreamSeconds() + kStartAllowanceSeconds) * 25);
    if (longer.units.empty() || longer.pictures.empty()) {
        state.SkipWithError("the simulator's encoder did not open");
        return;
    }
    const Clip* clip = &longer;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<int> counts = index == 0 ? std::vector<int>{1, 2, 4, 6, 8, 10}
                                         : std::vector<int>{1, 4, 8, 16, 24, 32, 40};
    // TV_BENCH_PLAYERS="16,32": these counts instead.
    if (const char* text = std::getenv("TV_BENCH_PLAYERS")) {
        counts.clear();
        for (const char* at = text; *at;) {
            char* end = nullptr;
            const long n = std::strtol(at, &end, 10);
            if (end == at)
                break;
            if (n > 0)
                counts.push_back(int(n));
            at = *end == ',' ? end + 1 : end;
        }
    }
    int best = 0;
    double bestPct = 0, firstFailPct = -1;
    int64_t firstFailDrawn = -1;
    for (auto _ : state) {
        for (int n : counts) {
            const RunResult r = PlayClip(*clip, n, false, false, false, kStartAllowanceSeconds);
            if (!r.ok) {
                if (std::getenv("TV_BENCH_VERBOSE"))
                    std::fprintf(stderr, "capacity %d players: %s\n", n, r.error.c_str());
                break;
            }
            const double pct = 100.0 * r.kitCpu / r.streamSeconds / double(cores);
            if (std::getenv("TV_BENCH_VERBOSE"))
                std::fprintf(
                    stderr, "capacity %d players: %.1f %% CPU, fewest drawn %lld of %lld\n", n, pct,
                    static_cast<long long>(r.fewestDrawn), static_cast<long long>(r.sentButLast));
            if (r.fewestDrawn < r.sentButLast || pct > 80.0) {
                firstFailPct = pct;
                firstFailDrawn = r.fewestDrawn;
                break;
            }
            best = n;
            bestPct = pct;
        }
    }
    state.SetLabel(kStreams[index].name);
    state.counters["players_max"] = best;
    state.counters["target"] = index == 0 ? 8 : 32;
    state.counters["cpu_pct_at_max"] = bestPct;
    state.counters["cpu_pct_next"] = firstFailPct;
    state.counters["drawn_next"] = double(firstFailDrawn);
    state.counters["sent"] = clip->frames;
}
BENCHMARK(BM_Capacity)->Arg(0)->Arg(2)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
