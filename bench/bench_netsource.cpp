// Network source under live streams on loopback: datagrams of 1400 bytes, each
// carrying its stream's sequence number, so the consumer can count exactly
// which datagrams reached it whole and in order. The paced sender runs in a
// child process (forked before the window), so none of its CPU is counted.
//
//  BM_NetSourceUdp200Mbit       one receiver and its ring at 200 Mbit/s, with
//                               a consumer thread that reads the ring the way
//                               the output pin does (up to 102400 bytes at a
//                               time, sleeping on the ring's data event).
//  BM_NetSourceUdp1Gbit/8/0     1 Gbit/s in all: 8 receivers of 125 Mbit/s,
//                               each with its consumer (8 players' sources).
//  BM_NetSourceUdp1Gbit/1/0     one receiver at 1 Gbit/s.
//  BM_NetSourceUdp1Gbit/1/1     the same without CAP_NET_ADMIN, as an ordinary
//                               process runs it: the socket receive buffer is
//                               capped at net.core.rmem_max (a privileged run
//                               forces the size it asks for).
//  BM_NetSourceGraphUdp200Mbit  the TarvoNWSource filter created through COM in
//                               a running filter graph (CLSID_FilterGraph),
//                               connected to a counting sink.
//
// Each reports over a 10 s stream: datagrams sent, received by the receive
// threads and lost (at the socket, and before the consumer: sent minus those
// the consumer got intact), the receive threads' CPU per second of stream
// (per-thread CPU clocks), that CPU per 4 Mbit/s stream-equivalent (target
// <= 1 ms per second), and against its floor from the same run: a memcpy of
// the same bytes in datagram-sized pieces into a ring of the same size. Also
// how the threads read (reads a second, datagrams a read, gather waits a
// second) and the socket receive buffer the receivers got.
#include "CNetReceiver.h"
#include "FreeUdpPort.h"
#include "INWSource.h"
#include "NWTestUtil.h"
#include "TarvoGuids.h"
#include "TaskStats.h"
#include "TestKit.h"

#include <streams.h>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
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
constexpr int kSeconds = 10;

// What a receiver of this process gets (a forced size when it may).
int GrantedSocketBuffer()
{
    const int probe = socket(AF_INET, SOCK_DGRAM, 0);
    int size = CNetReceiver::kSocketBufferSize;
    if (setsockopt(probe, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        setsockopt(probe, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    int granted = 0;
    socklen_t len = sizeof(granted);
    getsockopt(probe, SOL_SOCKET, SO_RCVBUF, &granted, &len);
    close(probe);
    return granted;
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

// A paced sender in a child process: numbered datagrams (each stream its own
// numbering) to 127.0.0.1 on every port in turn, bitsPerSecond in all, for
// kSeconds. Start forks it; Wait gives the datagrams sent per port. A sender
// that did not get the CPU for a while sends what it owes at once, at
// loopback speed, faster than any 1 Gbit/s link could bring it: LargestBurst
// (the most datagrams one turn sent, all ports together) shows when that
// happened, against about 20 a turn when it keeps pace at 1 Gbit/s.
class PacedSender {
public:
    bool Start(const std::vector<unsigned short>& ports, double bitsPerSecond)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        // Everything the child uses is made before the fork: it only calls
        // the kernel, so the parent's threads cannot leave it a lock taken.
        const size_t n = ports.size();
        std::vector<int> sockets(n);
        for (size_t i = 0; i < n; ++i) {
            sockets[i] = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            to.sin_port = htons(ports[i]);
            connect(sockets[i], reinterpret_cast<sockaddr*>(&to), sizeof(to));
        }
        std::vector<uint64_t> sent(n, 0);
        std::vector<char> batch(static_cast<size_t>(kBatch) * kDatagram);
        std::vector<mmsghdr> messages(kBatch);
        std::vector<iovec> slots(kBatch);
        const double perSecondEach = bitsPerSecond / 8 / kDatagram / static_cast<double>(n);

        m_child = fork();
        if (m_child == 0) {
            close(fds[0]);
            timespec start{};
            clock_gettime(CLOCK_MONOTONIC, &start);
            uint64_t largestBurst = 0;
            for (;;) {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                const double elapsed = static_cast<double>(now.tv_sec - start.tv_sec) +
                                       static_cast<double>(now.tv_nsec - start.tv_nsec) * 1e-9;
                if (elapsed >= kSeconds)
                    break;
                const auto due = static_cast<uint64_t>(elapsed * perSecondEach);
                uint64_t burst = 0;
                for (size_t i = 0; i < n; ++i) {
                    while (sent[i] < due) {
                        const int count =
                            static_cast<int>(std::min<uint64_t>(due - sent[i], kBatch));
                        for (int k = 0; k < count; ++k) {
                            char* d = batch.data() + static_cast<size_t>(k) * kDatagram;
                            MakeDatagram(sent[i] + static_cast<uint64_t>(k), d);
                            slots[k] = {d, static_cast<size_t>(kDatagram)};
                            messages[k] = {};
                            messages[k].msg_hdr.msg_iov = &slots[k];
                            messages[k].msg_hdr.msg_iovlen = 1;
                        }
                        const int went =
                            sendmmsg(sockets[i], messages.data(), static_cast<unsigned>(count), 0);
                        if (went <= 0)
                            break;
                        sent[i] += static_cast<uint64_t>(went);
                        burst += static_cast<uint64_t>(went);
                    }
                }
                largestBurst = std::max(largestBurst, burst);
                const timespec tick{0, 200000};
                nanosleep(&tick, nullptr);
            }
            sent.push_back(largestBurst);
            [[maybe_unused]] const ssize_t w =
                write(fds[1], sent.data(), sent.size() * sizeof(uint64_t));
            _exit(0);
        }
        close(fds[1]);
        for (int sock : sockets)
            close(sock);
        m_pipe = fds[0];
        m_ports = n;
        return m_child > 0;
    }

    std::vector<uint64_t> Wait()
    {
        std::vector<uint64_t> sent(m_ports + 1, 0);
        size_t got = 0;
        auto* bytes = reinterpret_cast<char*>(sent.data());
        const size_t want = sent.size() * sizeof(uint64_t);
        while (got < want) {
            const ssize_t r = read(m_pipe, bytes + got, want - got);
            if (r <= 0)
                break;
            got += static_cast<size_t>(r);
        }
        close(m_pipe);
        int status = 0;
        waitpid(m_child, &status, 0);
        m_largestBurst = sent.back();
        sent.pop_back();
        return sent;
    }
    uint64_t LargestBurst() const { return m_largestBurst; }

private:
    static constexpr int kBatch = 64;
    pid_t m_child = -1;
    int m_pipe = -1;
    size_t m_ports = 0;
    uint64_t m_largestBurst = 0;
};

// The floor of a receive path: copying the same bytes, in datagram-sized
// pieces, into a ring of the ring buffer's size. CPU seconds of this thread.
double MemcpyFloorSeconds(uint64_t datagrams)
{
    std::vector<char> ring(0x500000);
    std::vector<char> datagram(kDatagram);
    MakeDatagram(1, datagram.data());
    const double before = ThreadCpuSeconds(static_cast<pid_t>(gettid()));
    size_t at = 0;
    for (uint64_t i = 0; i < datagrams; ++i) {
        if (at + kDatagram > ring.size())
            at = 0;
        memcpy(ring.data() + at, datagram.data(), kDatagram);
        benchmark::DoNotOptimize(ring.data() + at);
        at += kDatagram;
    }
    benchmark::ClobberMemory();
    return ThreadCpuSeconds(static_cast<pid_t>(gettid())) - before;
}

// A reader of one receiver's ring that does what the output pin does: takes up
// to a sample's 102400 bytes at a time and sleeps on the ring's data event
// while it is empty.
class RingConsumer {
public:
    explicit RingConsumer(CNetReceiver& receiver) : m_receiver(receiver)
    {
        m_thread = std::thread([this] {
            m_tid = gettid();
            std::vector<BYTE> sample(102400);
            for (;;) {
                const bool last = m_stop.load();
                LONG n = static_cast<LONG>(sample.size());
                m_receiver.Read(sample.data(), &n, TRUE);
                m_checker.Feed(sample.data(), static_cast<size_t>(n));
                if (n == 0) {
                    if (last)
                        break;
                    WaitForSingleObject(m_receiver.DataEvent(), 100);
                }
            }
            // Read by Finish after the join.
            m_cpuSeconds = ThreadCpuSeconds(m_tid.load());
        });
        while (m_tid.load() == 0)
            std::this_thread::yield();
    }
    // Reads what is left, then ends.
    const SequenceChecker& Finish()
    {
        m_stop = true;
        m_thread.join();
        return m_checker;
    }
    // The thread's CPU over its whole life (after Finish).
    double CpuSeconds() const { return m_cpuSeconds; }

private:
    CNetReceiver& m_receiver;
    SequenceChecker m_checker;
    std::atomic<bool> m_stop{false};
    std::atomic<pid_t> m_tid{0};
    double m_cpuSeconds = 0;
    std::thread m_thread;
};

struct StreamTotals {
    uint64_t sent = 0, received = 0, intact = 0, outOfOrder = 0, bytesMissing = 0;
};

void Report(benchmark::State& state, const StreamTotals& t, double recvCpuSeconds, int socketBuffer)
{
    const double mbit = static_cast<double>(t.sent) * kDatagram * 8 / kSeconds / 1e6;
    const double recvMsPerSecond = recvCpuSeconds * 1000.0 / kSeconds;
    const double floorMsPerSecond = MemcpyFloorSeconds(t.sent) * 1000.0 / kSeconds;
    state.counters["sent"] = static_cast<double>(t.sent);
    state.counters["received"] = static_cast<double>(t.received);
    state.counters["lost_at_socket"] =
        static_cast<double>(t.sent) - static_cast<double>(t.received);
    state.counters["lost_at_consumer"] =
        static_cast<double>(t.sent) - static_cast<double>(t.intact);
    state.counters["out_of_order"] = static_cast<double>(t.outOfOrder);
    state.counters["bytes_missing"] = static_cast<double>(t.bytesMissing);
    state.counters["Mbit_per_s"] = mbit;
    state.counters["recv_cpu_ms_per_s"] = recvMsPerSecond;
    state.counters["recv_ms_per_s_per_4Mbit"] = mbit > 0 ? recvMsPerSecond / (mbit / 4) : 0;
    state.counters["memcpy_ms_per_s"] = floorMsPerSecond;
    state.counters["recv_vs_memcpy"] =
        floorMsPerSecond > 0 ? recvMsPerSecond / floorMsPerSecond : 0;
    state.counters["socket_rcvbuf"] = socketBuffer;
}

// `streams` receivers sharing bitsPerSecond, each read by a RingConsumer.
// Without CAP_NET_ADMIN when `plain` (the receivers open their sockets on this
// thread and threads it starts, which inherit its capabilities).
void RunReceivers(benchmark::State& state, int streams, double bitsPerSecond, bool plain = false)
{
    const bool restore = plain && nwtest::SetNetAdminEffective(false);
    std::vector<std::unique_ptr<CNetReceiver>> receivers;
    std::vector<unsigned short> ports;
    for (int i = 0; i < streams; ++i) {
        receivers.push_back(std::make_unique<CNetReceiver>(nullptr, 0x500000));
        ports.push_back(FreeUdpPort());
        if (receivers.back()->SetConnectParam(NW_CONNECT_UDP, nullptr, ports.back()) != S_OK) {
            state.SkipWithError("cannot bind");
            return;
        }
    }
    if (restore)
        nwtest::SetNetAdminEffective(true);
    std::vector<std::unique_ptr<RingConsumer>> consumers;
    for (auto& r : receivers)
        consumers.push_back(std::make_unique<RingConsumer>(*r));

    const auto receiveCpu = [&] {
        double sum = 0;
        for (auto& r : receivers)
            sum += ThreadCpuSeconds(static_cast<pid_t>(r->ReceiveThreadId()));
        return sum;
    };
    PacedSender sender;
    const double recvBefore = receiveCpu();
    const double processBefore = ProcessCpuSeconds();
    if (!sender.Start(ports, bitsPerSecond)) {
        state.SkipWithError("cannot start the sender");
        return;
    }
    const std::vector<uint64_t> sent = sender.Wait();
    StreamTotals totals;
    for (uint64_t n : sent)
        totals.sent += n;
    // What is still queued in the sockets drains (a deadline that passes means
    // datagrams were lost).
    for (int i = 0; i < 400; ++i) {
        totals.received = 0;
        for (auto& r : receivers) {
            LONGLONG packets = 0, length = 0;
            r->GetStatistics(&packets, &length);
            totals.received += static_cast<uint64_t>(packets);
        }
        if (totals.received >= totals.sent)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double recvCpu = receiveCpu() - recvBefore;
    LONGLONG reads = 0, gatherWaits = 0;
    int largest = 0, socketBuffer = 0;
    double consumerCpu = 0;
    for (size_t i = 0; i < receivers.size(); ++i) {
        const SequenceChecker& checker = consumers[i]->Finish();
        consumerCpu += consumers[i]->CpuSeconds();
        totals.intact += checker.Intact();
        totals.outOfOrder += checker.OutOfOrder();
        totals.bytesMissing += sent[i] * kDatagram - checker.Bytes();
        const CNetReceiver::ReadStatistics rs = receivers[i]->GetReadStatistics();
        reads += rs.reads;
        gatherWaits += rs.gatherWaits;
        largest = std::max(largest, rs.largestRead);
        socketBuffer = i == 0 ? rs.socketBuffer : std::min(socketBuffer, rs.socketBuffer);
    }
    state.counters["consumer_cpu_ms_per_s"] = consumerCpu * 1000.0 / kSeconds;
    state.counters["process_cpu_ms_per_s"] =
        (ProcessCpuSeconds() - processBefore) * 1000.0 / kSeconds;
    state.counters["reads_per_s"] = static_cast<double>(reads) / kSeconds;
    state.counters["largest_read"] = largest;
    state.counters["datagrams_per_read"] =
        reads > 0 ? static_cast<double>(totals.received) / static_cast<double>(reads) : 0;
    state.counters["gather_waits_per_s"] = static_cast<double>(gatherWaits) / kSeconds;
    state.counters["streams"] = streams;
    state.counters["sender_largest_burst"] = static_cast<double>(sender.LargestBurst());
    Report(state, totals, recvCpu, socketBuffer);
}

void BM_NetSourceUdp200Mbit(benchmark::State& state)
{
    state.SetLabel("1 x 200 Mbit/s");
    for (auto _ : state)
        RunReceivers(state, 1, 200e6);
}

void BM_NetSourceUdp1Gbit(benchmark::State& state)
{
    const int streams = static_cast<int>(state.range(0));
    const bool plain = state.range(1) != 0;
    state.SetLabel(streams == 1 ? (plain ? "1 x 1 Gbit/s, without CAP_NET_ADMIN" : "1 x 1 Gbit/s")
                                : std::to_string(streams) + " x " + std::to_string(1000 / streams) +
                                      " Mbit/s");
    for (auto _ : state)
        RunReceivers(state, streams, 1e9, plain);
}

void BM_NetSourceGraphUdp200Mbit(benchmark::State& state)
{
    state.SetLabel("1 x 200 Mbit/s, the filter in a running graph");
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
            PacedSender sender;
            const double cpuBefore = ThreadCpuSeconds(tid);
            if (!sender.Start({port}, 200e6)) {
                state.SkipWithError("cannot start the sender");
            } else {
                StreamTotals totals;
                totals.sent = sender.Wait()[0];
                state.counters["sender_largest_burst"] = static_cast<double>(sender.LargestBurst());
                LONGLONG stats[4] = {};
                for (int i = 0; i < 400; ++i) {
                    nws->GetStatistics(&stats[0], &stats[1], &stats[2], &stats[3]);
                    if (static_cast<uint64_t>(stats[0]) >= totals.sent && stats[3] >= stats[1])
                        break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                const double cpu = ThreadCpuSeconds(tid) - cpuBefore;
                totals.received = static_cast<uint64_t>(stats[0]);
                totals.intact = checker.Intact();
                totals.outOfOrder = checker.OutOfOrder();
                totals.bytesMissing = totals.sent * kDatagram - checker.Bytes();
                Report(state, totals, cpu, GrantedSocketBuffer());
                state.counters["samples"] = static_cast<double>(stats[2]);
            }
            graph.Control()->Stop();
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
BENCHMARK(BM_NetSourceUdp1Gbit)
    ->Args({8, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(BM_NetSourceGraphUdp200Mbit)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
