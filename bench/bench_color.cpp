// The colour pass over a 1920x1080 YUY2 frame, against copying the frame.
#include "CColorAdjuster.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr size_t kPixels = 1920 * 1080;
constexpr size_t kBytes = kPixels * 2;

std::vector<BYTE> RandomFrame()
{
    std::vector<BYTE> f(kBytes);
    std::mt19937 rng(1);
    for (auto& b : f)
        b = BYTE(rng());
    return f;
}

void BM_Memcpy1080p(benchmark::State& state)
{
    std::vector<BYTE> src = RandomFrame(), dst(kBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_Memcpy1080p);

// All four settings away from neutral: every step of the pass runs.
void BM_ColorPass1080p(benchmark::State& state)
{
    CColorAdjuster adj;
    adj.SetBrightness(80);
    adj.SetSaturation(50);
    adj.SetContrast(state.range(0));
    adj.SetHue(90);
    std::vector<BYTE> f = RandomFrame();
    for (auto _ : state) {
        adj.Process(f.data(), kPixels, f.size());
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_ColorPass1080p)->Arg(96)->Arg(32)->ArgName("contrast");

void BM_ColorPassScalar1080p(benchmark::State& state)
{
    CColorAdjuster adj;
    adj.SetBrightness(80);
    adj.SetSaturation(50);
    adj.SetContrast(96);
    adj.SetHue(90);
    const CColorAdjuster::State st = adj.Snapshot();
    std::vector<BYTE> f = RandomFrame();
    for (auto _ : state) {
        CColorAdjuster::ApplyScalar(st, f.data(), kPixels);
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_ColorPassScalar1080p);

// The same two over 16 frames in turn (64 MiB, more than the last-level
// cache), as frames arrive from a decoder: both bound by memory.
constexpr size_t kRing = 16;

void BM_MemcpyColdFrames1080p(benchmark::State& state)
{
    std::vector<std::vector<BYTE>> src(kRing, RandomFrame()), dst(kRing, std::vector<BYTE>(kBytes));
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(dst[i].data(), src[i].data(), kBytes);
        benchmark::DoNotOptimize(dst[i].data());
        benchmark::ClobberMemory();
        i = (i + 1) % kRing;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_MemcpyColdFrames1080p);

void BM_ColorPassColdFrames1080p(benchmark::State& state)
{
    CColorAdjuster adj;
    adj.SetBrightness(80);
    adj.SetSaturation(50);
    adj.SetContrast(96);
    adj.SetHue(90);
    std::vector<std::vector<BYTE>> frames(2 * kRing, RandomFrame());
    size_t i = 0;
    for (auto _ : state) {
        adj.Process(frames[i].data(), kPixels, kBytes);
        benchmark::DoNotOptimize(frames[i].data());
        benchmark::ClobberMemory();
        i = (i + 1) % frames.size();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_ColorPassColdFrames1080p);

void BM_ColorNeutral1080p(benchmark::State& state)
{
    CColorAdjuster adj;
    std::vector<BYTE> f = RandomFrame();
    for (auto _ : state) {
        adj.Process(f.data(), kPixels, f.size());
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(BM_ColorNeutral1080p);

}  // namespace
