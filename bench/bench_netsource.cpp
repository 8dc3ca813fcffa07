// Network source under a live stream: UDP on loopback at 200 Mbit/s for 10 s,
// datagrams of 1400 bytes, each carrying its sequence number, so the consumer
// can count exactly which datagrams reached it whole and in order.
//
//  BM_NetSourceUdp200Mbit       the receiver and its ring alone, with a
//                               consumer thread that reads the ring the way the
//                               output pin does (up to 102400 bytes at a time,
//                               1 ms pause when empty).
//  BM_NetSourceGraphUdp200Mbit  the TarvoNWSource filter created through COM in
//                               a running filter graph (CLSID_FilterGraph),
//                               connected to a counting sink.
//
// Both report: datagrams sent, received by the receive thread and lost before
// the consumer (sent minus those the consumer got intact), the bytes the
// consumer missed, and the receive thread's CPU time per second of stream.
#include "CNetReceiver.h"
#include "INWSource.h"
#include "TarvoGuids.h"
#include "TestKit.h"

#include <streams.h>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kDatagram = 1400;
constexpr int kWords = kDatagram / 8;
constexpr uint64_t kMagic = 0x5476584E57534251ULL;
constexpr double kBitsPerSecond = 200e6;
constexpr int kSeconds = 10;

unsigned short FreeUdpPort()
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

int GrantedSocketBuffer()
{
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    int size = CNetReceiver::kSocketBufferSize;
    setsockopt(probe, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    int granted = 0;
    socklen_t len = sizeof(granted);
    getsockopt(probe, SOL_SOCKET, SO_RCVBUF, &granted, &len);
    close(probe);
    return granted;
}

// CPU time of one thread of this process in seconds, from its kernel id: the
// per-thread CPU clock the kernel derives from the id (what
// pthread_getcpuclockid gives for a pthread_t), nanosecond resolution.
double ThreadCpuSeconds(pid_t tid)
{
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6u);
    timespec t{};
    if (tid <= 0 || clock_gettime(clock, &t) != 0)
        return -1;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The kernel id of the one thread of this process with the given name, 0 when
// there is none or more than one.
pid_t FindThread(const char* name)
{
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return 0;
    pid_t found = 0;
    int matches = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string path = std::string("/proc/self/task/") + entry->d_name + "/comm";
        FILE* f = fopen(path.c_str(), "r");
        if (!f)
            continue;
        char comm[32] = {};
        if (fgets(comm, sizeof(comm), f)) {
            comm[strcspn(comm, "\n")] = '\0';
            if (strcmp(comm, name) == 0) {
                found = static_cast<pid_t>(atoi(entry->d_name));
                ++matches;
            }
        }
        fclose(f);
    }
    closedir(dir);
    return matches == 1 ? found : 0;
}

// Datagram n: word 0 is n, word 1 is n ^ kMagic, every other word n.
void MakeDatagram(uint64_t n, char* out)
{
    for (int w = 0; w < kWords; ++w) {
        const uint64_t v = w == 1 ? n ^ kMagic : n;
        memcpy(out + w * 8, &v, 8);
    }
}

// Reads the consumer's byte stream as datagrams. Samples cut the stream
// anywhere and an overwritten ring drops bytes mid-datagram, so after a damaged
// block it looks for the next intact one byte by byte.
class SequenceChecker {
public:
    void Feed(const BYTE* data, size_t length)
    {
        m_bytes += length;
        m_pending.insert(m_pending.end(), data, data + length);
        size_t at = 0;
        while (m_pending.size() - at >= static_cast<size_t>(kDatagram)) {
            uint64_t n = 0;
            if (Intact(&m_pending[at], &n)) {
                if (n >= m_next) {
                    m_next = n + 1;
                    ++m_intact;
                } else {
                    ++m_outOfOrder;
                }
                at += kDatagram;
            } else {
                ++at;
            }
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<ptrdiff_t>(at));
    }
    uint64_t Intact() const { return m_intact; }
    uint64_t OutOfOrder() const { return m_outOfOrder; }
    uint64_t Bytes() const { return m_bytes; }

private:
    static bool Intact(const BYTE* block, uint64_t* n)
    {
        uint64_t w[kWords];
        memcpy(w, block, sizeof(w));
        if ((w[0] ^ kMagic) != w[1])
            return false;
        for (int i = 2; i < kWords; ++i)
            if (w[i] != w[0])
                return false;
        *n = w[0];
        return true;
    }

    std::vector<BYTE> m_pending;
    uint64_t m_next = 0;
    uint64_t m_intact = 0;
    uint64_t m_outOfOrder = 0;
    uint64_t m_bytes = 0;
};

// Sends numbered datagrams to 127.0.0.1:port at kBitsPerSecond for kSeconds;
// returns how many went out.
uint64_t SendStream(unsigned short port)
{
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    std::vector<char> datagram(kDatagram);
    const double perSecond = kBitsPerSecond / 8 / kDatagram;
    const auto start = std::chrono::steady_clock::now();
    uint64_t sent = 0;
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed >= kSeconds)
            break;
        const auto due = static_cast<uint64_t>(elapsed * perSecond);
        while (sent < due) {
            MakeDatagram(sent, datagram.data());
            if (sendto(sender, datagram.data(), datagram.size(), 0,
                       reinterpret_cast<sockaddr*>(&to), sizeof(to)) != kDatagram)
                break;
            ++sent;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    close(sender);
    return sent;
}

void Report(benchmark::State& state, uint64_t sent, LONGLONG received,
            const SequenceChecker& consumer, double cpuSeconds)
{
    state.counters["sent"] = static_cast<double>(sent);
    state.counters["received"] = static_cast<double>(received);
    state.counters["lost_at_socket"] = static_cast<double>(sent - static_cast<uint64_t>(received));
    state.counters["lost_at_consumer"] = static_cast<double>(sent - consumer.Intact());
    state.counters["out_of_order"] = static_cast<double>(consumer.OutOfOrder());
    state.counters["bytes_sent"] = static_cast<double>(sent * kDatagram);
    state.counters["bytes_missing"] =
        static_cast<double>(sent * kDatagram) - static_cast<double>(consumer.Bytes());
    state.counters["recv_cpu_ms_per_s"] = cpuSeconds * 1000.0 / kSeconds;
    state.counters["socket_rcvbuf"] = GrantedSocketBuffer();
    state.counters["Mbit_per_s"] = static_cast<double>(sent) * kDatagram * 8 / kSeconds / 1e6;
}

void BM_NetSourceUdp200Mbit(benchmark::State& state)
{
    for (auto _ : state) {
        CNetReceiver receiver(nullptr, 0x500000);
        const unsigned short port = FreeUdpPort();
        if (receiver.SetConnectParam(NW_CONNECT_UDP, nullptr, port) != S_OK) {
            state.SkipWithError("cannot bind");
            return;
        }

        std::atomic<bool> stop{false};
        SequenceChecker checker;
        std::thread consumer([&] {
            std::vector<BYTE> sample(102400);
            for (;;) {
                const bool last = stop.load();
                LONG n = static_cast<LONG>(sample.size());
                receiver.Read(sample.data(), &n, TRUE);
                checker.Feed(sample.data(), static_cast<size_t>(n));
                if (n == 0) {
                    if (last)
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            }
        });

        const auto tid = static_cast<pid_t>(receiver.ReceiveThreadId());
        const double cpuBefore = ThreadCpuSeconds(tid);
        const uint64_t sent = SendStream(port);
        LONGLONG packets = 0, length = 0;
        for (int i = 0; i < 400; ++i) {
            receiver.GetStatistics(&packets, &length);
            if (static_cast<uint64_t>(packets) >= sent)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double cpu = ThreadCpuSeconds(tid) - cpuBefore;
        stop = true;
        consumer.join();
        Report(state, sent, packets, checker, cpu);
    }
}

void BM_NetSourceGraphUdp200Mbit(benchmark::State& state)
{
    CoInitialize(nullptr);
    for (auto _ : state) {
        TvFilterGraph graph;
        IBaseFilter* source = nullptr;
        if (FAILED(graph.Create()) ||
            FAILED(CoCreateInstance(CLSID_TarvoNWSource, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IBaseFilter, reinterpret_cast<void**>(&source)))) {
            state.SkipWithError("graph or filter not registered in the build registry");
            break;
        }
        // A sink that keeps up: checks and counts what it receives, keeps
        // nothing. The checker is the streaming thread's until the graph stops.
        CTestSink* sink = CTestSink::Create();
        SequenceChecker checker;
        sink->SetKeepBytes(0);
        sink->SetReceiveHook([&checker](IMediaSample* sample) {
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            checker.Feed(data, static_cast<size_t>(sample->GetActualDataLength()));
        });
        INWSource* nws = Query<INWSource>(source, IID_INWSource);
        // The thread names itself once it runs.
        pid_t tid = 0;
        for (int i = 0; i < 1000 && tid == 0; ++i) {
            tid = FindThread("tv-nwrecv");
            if (tid == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const unsigned short port = FreeUdpPort();

        bool ok = nws && tid > 0 && SUCCEEDED(graph.Add(source, L"Tarvo NWSource")) &&
                  SUCCEEDED(graph.Add(sink, L"Counting sink")) &&
                  graph.Connect(source, nullptr, sink, nullptr) == S_OK &&
                  SUCCEEDED(graph.Control()->Run()) &&
                  nws->SetConnectParam(NW_CONNECT_UDP, nullptr, port) == S_OK;
        if (!ok) {
            state.SkipWithError(tid > 0 ? "graph setup failed" : "receive thread not found");
        } else {
            const double cpuBefore = ThreadCpuSeconds(tid);
            const uint64_t sent = SendStream(port);
            LONGLONG stats[4] = {};
            for (int i = 0; i < 400; ++i) {
                nws->GetStatistics(&stats[0], &stats[1], &stats[2], &stats[3]);
                if (static_cast<uint64_t>(stats[0]) >= sent && stats[3] >= stats[1])
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const double cpu = ThreadCpuSeconds(tid) - cpuBefore;
            graph.Control()->Stop();
            Report(state, sent, stats[0], checker, cpu);
            state.counters["samples"] = static_cast<double>(stats[2]);
        }

        if (nws)
            nws->Release();
        source->Release();
        graph.Close(); // removes (and disconnects) both filters
        sink->Release();
    }
    CoUninitialize();
}

} // namespace

BENCHMARK(BM_NetSourceUdp200Mbit)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_NetSourceGraphUdp200Mbit)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
