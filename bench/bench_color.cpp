// The colour pass over a 1920x1080 YUY2 frame, against copying the frame
// with memcpy. Goal: the pass within 2x the copy, on one core.
//
// The pass benchmarks time a copy of the same size next to every pass, so
// that the ratio they report (counter "vs_memcpy", pass time over copy time)
// compares runs taken under the same load; "memcpy_us" is that copy time.
// Run pinned to one core, e.g. taskset -c 1 bench_color.
#include "CColorAdjuster.h"

#include <benchmark/benchmark.h>

#include <chrono>
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

// All four settings away from neutral, so that every step of the pass runs:
// contrast 96 stretches (c = 64), contrast 32 compresses (c = -64).
CColorAdjuster::State Settings(LONG contrast)
{
    CColorAdjuster adj;
    adj.SetBrightness(80);
    adj.SetSaturation(50);
    adj.SetContrast(contrast);
    adj.SetHue(90);
    return adj.Snapshot();
}

enum Isa { kSse2 = 0, kAvx2 = 1 };

void Pass(int isa, const CColorAdjuster::State& st, BYTE* frame)
{
    if (isa == kAvx2)
        CColorAdjuster::ApplyAvx2(st, frame, kPixels);
    else
        CColorAdjuster::ApplySse2(st, frame, kPixels);
}

using Clock = std::chrono::steady_clock;

// Frames and copies cycle through `ring` buffers each: 1 keeps everything in
// the last-level cache (warm); 16 frames (64 MiB) and 16 copy pairs exceed it,
// so every pass and copy starts from memory, as frames arriving from a
// decoder do (cold).
void PassAgainstMemcpy(benchmark::State& state, size_t ring)
{
    const int isa = int(state.range(1));
    if (isa == kAvx2 && !CColorAdjuster::Avx2Supported()) {
        state.SkipWithError("no AVX2 on this CPU");
        return;
    }
    const CColorAdjuster::State st = Settings(LONG(state.range(0)));
    std::vector<std::vector<BYTE>> frames(ring, RandomFrame()), src(ring, RandomFrame()),
        dst(ring, std::vector<BYTE>(kBytes));
    double passSeconds = 0, copySeconds = 0;
    size_t i = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        std::memcpy(dst[i].data(), src[i].data(), kBytes);
        benchmark::DoNotOptimize(dst[i].data());
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        Pass(isa, st, frames[i].data());
        benchmark::DoNotOptimize(frames[i].data());
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double pass = std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(pass);
        passSeconds += pass;
        copySeconds += std::chrono::duration<double>(t1 - t0).count();
        i = (i + 1) % ring;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
    state.counters["memcpy_us"] =
        benchmark::Counter(1e6 * copySeconds / double(state.iterations()));
    state.counters["vs_memcpy"] =
        benchmark::Counter(copySeconds > 0 ? passSeconds / copySeconds : 0);
}

void BM_ColorPass1080p(benchmark::State& state)
{
    PassAgainstMemcpy(state, 1);
}
BENCHMARK(BM_ColorPass1080p)
    ->ArgsProduct({{96, 32}, {kSse2, kAvx2}})
    ->ArgNames({"contrast", "avx2"})
    ->UseManualTime();

void BM_ColorPassColdFrames1080p(benchmark::State& state)
{
    PassAgainstMemcpy(state, 16);
}
BENCHMARK(BM_ColorPassColdFrames1080p)
    ->ArgsProduct({{96, 32}, {kSse2, kAvx2}})
    ->ArgNames({"contrast", "avx2"})
    ->UseManualTime();

// The copy alone, warm and cold, as the baseline in its own right.
void BM_Memcpy1080p(benchmark::State& state)
{
    const size_t ring = size_t(state.range(0));
    std::vector<std::vector<BYTE>> src(ring, RandomFrame()), dst(ring, std::vector<BYTE>(kBytes));
    size_t i = 0;
    for (auto _ : state) {
        std::memcpy(dst[i].data(), src[i].data(), kBytes);
        benchmark::DoNotOptimize(dst[i].data());
        benchmark::ClobberMemory();
        i = (i + 1) % ring;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_Memcpy1080p)->Arg(1)->Arg(16)->ArgName("frames");

// What the plain version costs (the tests' reference, never used on frames).
void BM_ColorPassScalar1080p(benchmark::State& state)
{
    const CColorAdjuster::State st = Settings(96);
    std::vector<BYTE> f = RandomFrame();
    for (auto _ : state) {
        CColorAdjuster::ApplyScalar(st, f.data(), kPixels);
        benchmark::DoNotOptimize(f.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kBytes);
}
BENCHMARK(BM_ColorPassScalar1080p);

// Through Process, as the filter calls it: all neutral returns at once.
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

} // namespace
