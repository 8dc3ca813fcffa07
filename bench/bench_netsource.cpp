// Network source under a live stream: UDP on loopback at 200 Mbit/s for 10 s
// into the receiver and its ring, with a consumer that reads the ring the way
// the output pin does (up to 102400 bytes at a time, 1 ms pause when empty).
// Reports the datagrams lost (sent but not received), the bytes the consumer
// missed (overwritten in the ring) and the receive thread's CPU time per second
// of stream.
#include "CNetReceiver.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace
{

constexpr int kDatagram = 1400;
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

// utime + stime of one thread of this process, in seconds.
double ThreadCpuSeconds(DWORD tid)
{
    char path[64];
    snprintf(path, sizeof(path), "/proc/self/task/%u/stat", tid);
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    char buffer[1024] = {};
    const size_t n = fread(buffer, 1, sizeof(buffer) - 1, f);
    fclose(f);
    buffer[n] = '\0';
    const char* p = strrchr(buffer, ')'); // the name may hold blanks
    unsigned long utime = 0, stime = 0;
    if (!p ||
        sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
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
        int granted = 0;
        {
            const int probe = socket(AF_INET, SOCK_DGRAM, 0);
            int size = CNetReceiver::kSocketBufferSize;
            setsockopt(probe, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
            socklen_t len = sizeof(granted);
            getsockopt(probe, SOL_SOCKET, SO_RCVBUF, &granted, &len);
            close(probe);
        }

        // Consumer: checks the sequence numbers in the byte stream it reads.
        std::atomic<bool> stop{false};
        std::atomic<uint64_t> consumed{0};
        std::thread consumer([&] {
            std::vector<BYTE> sample(102400);
            while (!stop.load()) {
                LONG n = static_cast<LONG>(sample.size());
                receiver.Read(sample.data(), &n, TRUE);
                if (n == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                consumed += static_cast<uint64_t>(n);
            }
        });

        const double cpuBefore = ThreadCpuSeconds(receiver.ReceiveThreadId());
        const int sender = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        std::vector<char> datagram(kDatagram, 'v');
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
                memcpy(datagram.data(), &sent, sizeof(sent));
                if (sendto(sender, datagram.data(), datagram.size(), 0,
                           reinterpret_cast<sockaddr*>(&to), sizeof(to)) == kDatagram)
                    ++sent;
                else
                    break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        close(sender);
        // Let the receiver drain its socket.
        LONGLONG packets = 0, length = 0;
        for (int i = 0; i < 200; ++i) {
            receiver.GetStatistics(&packets, &length);
            if (static_cast<uint64_t>(packets) >= sent)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double cpu = ThreadCpuSeconds(receiver.ReceiveThreadId()) - cpuBefore;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
        consumer.join();

        state.counters["sent"] = static_cast<double>(sent);
        state.counters["received"] = static_cast<double>(packets);
        state.counters["lost"] = static_cast<double>(sent - static_cast<uint64_t>(packets));
        state.counters["consumer_bytes_missing"] =
            static_cast<double>(static_cast<uint64_t>(length) - consumed.load());
        state.counters["recv_cpu_ms_per_s"] = cpu * 1000.0 / kSeconds;
        state.counters["socket_rcvbuf"] = granted;
        state.counters["Mbit_per_s"] = static_cast<double>(sent) * kDatagram * 8 / kSeconds / 1e6;
    }
}

} // namespace

BENCHMARK(BM_NetSourceUdp200Mbit)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
