// The network source and the splitter in a running filter graph under a live
// 1080p25 device H.264 stream: UDP datagrams of 1400 bytes on 127.0.0.1, each
// frame's datagrams sent at its 40 ms slot, the frames cut by the splitter and
// delivered on "Video Out" to a counting sink of the test kit. The stream is
// made once by the device simulator's encoder (two seconds, repeated).
//
//  BM_NetSourceSplitter1080p25   CPU seconds per second of stream used by the
//                                process apart from the sending thread (the
//                                receive thread, the network source's and the
//                                splitter's streaming threads, the output
//                                queue, the sink), and the samples delivered
//                                (frames above 64 KiB travel as several 40-byte-
//                                header device frames, each its own sample)
#include "CodecKind.h"
#include "INWSource.h"
#include "ITarvoSplt.h"
#include "NWTestUtil.h"
#include "SimClip.h"
#include "TarvoGuids.h"
#include "TestKit.h"

#include <benchmark/benchmark.h>

#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int kClipFrames = 50;
constexpr int kSeconds = 6;
constexpr size_t kDatagram = 1400;

double CpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Sends the clip over and over for `seconds`, each frame at its time; the
// sending thread's CPU time goes to *cpu.
void Send(const std::vector<tvdevsim::StreamUnit>& clip, unsigned short port, int seconds,
          double* cpu)
{
    nwtest::UdpSender udp;
    const sockaddr_in to = nwtest::Loopback(port);
    const auto start = std::chrono::steady_clock::now();
    const int64_t clipUs = int64_t{kClipFrames} * 40000;
    for (int64_t round = 0; round * clipUs < int64_t{seconds} * 1000000; ++round) {
        for (const tvdevsim::StreamUnit& unit : clip) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(round * clipUs + unit.streamTimeUs));
            for (size_t at = 0; at < unit.bytes.size(); at += kDatagram)
                udp.SendTo(to, unit.bytes.data() + at, std::min(kDatagram, unit.bytes.size() - at));
        }
    }
    *cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

void BM_NetSourceSplitter1080p25(benchmark::State& state)
{
    static const std::vector<tvdevsim::StreamUnit> clip = DeviceUnits1080p(kClipFrames);
    if (clip.empty()) {
        state.SkipWithError("the simulator's encoder could not be opened");
        return;
    }
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (auto _ : state) {
        TvFilterGraph graph;
        IBaseFilter* source = nullptr;
        IBaseFilter* splitter = nullptr;
        CTestSink* sink = CTestSink::Create();
        if (graph.Create() != S_OK ||
            CoCreateInstance(CLSID_TarvoNWSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&source)) != S_OK ||
            CoCreateInstance(CLSID_TarvoSplitterF, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&splitter)) != S_OK) {
            state.SkipWithError("the graph, the network source or the splitter is not registered");
            break;
        }
        graph.Add(source, L"Tarvo NWSource");
        graph.Add(splitter, L"Tarvo Splt Filter");
        graph.Add(sink, L"Sink");
        graph.Connect(source, nullptr, splitter, L"Input");
        ITarvoSplt* splt = nullptr;
        splitter->QueryInterface(IID_ITarvoSplt, reinterpret_cast<void**>(&splt));
        splt->SetStreamType(CodecDeviceH264);
        INWSource* nw = nullptr;
        source->QueryInterface(IID_INWSource, reinterpret_cast<void**>(&nw));
        const unsigned short port = nwtest::FreePort(SOCK_DGRAM);
        nw->SetConnectParam(NW_CONNECT_UDP, nullptr, port);

        // As the player does: source and splitter alone until the type is
        // known, then the sink, then the measured run.
        graph.Control()->Run();
        double unused = 0;
        std::thread learn(Send, std::cref(clip), port, 1, &unused);
        learn.join();
        graph.Control()->Stop();
        const bool connected = graph.Connect(splitter, L"Video Out", sink, nullptr) == S_OK;
        graph.Control()->Run();
        if (!connected) {
            state.SkipWithError("Video Out did not learn the stream's type");
        } else {
            // Frames of the learning second still on their way are not counted.
            nwtest::WaitFor([&] { return false; }, 500);
            const size_t frames0 = sink->SampleCount();
            double senderCpu = 0;
            const double cpu0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
            const auto wall0 = std::chrono::steady_clock::now();
            std::thread sender(Send, std::cref(clip), port, kSeconds, &senderCpu);
            sender.join();
            nwtest::WaitFor([&] { return false; }, 200); // the last frames arrive
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
            const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0 - senderCpu;
            state.counters["cpu_per_s"] = cpu / wall;
            state.counters["samples"] = static_cast<double>(sink->SampleCount() - frames0);
            state.counters["frames_sent"] = kSeconds * 25.0;
        }
        graph.Control()->Stop();
        nw->Release();
        splt->Release();
        graph.Close();
        source->Release();
        splitter->Release();
        sink->Release();
    }
    CoUninitialize();
}
BENCHMARK(BM_NetSourceSplitter1080p25)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace
