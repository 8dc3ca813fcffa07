// The frame processor's work per 1080p YUY2 picture, against a plain copy of
// the picture: with neutral settings and no overlays (the target is at most
// 1.1 times the copy), and with colour adjustment and 20 overlays (at most
// 2.5 times). What the filter adds around it (taking the output buffer,
// queueing) is a handful of calls per picture.
#include "CPictureProcessor.h"

#include "win32/file.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr LONG kW = 1920, kH = 1080;
constexpr size_t kBytes = size_t(kW) * 2 * kH;

class Layout : public IOverlayLayoutSource {
public:
    bool QueryOverlayLayout(OverlayFrameLayout* l) override
    {
        return OverlayLayoutFromHeader(kW, kH, 16, l);
    }
};

std::vector<BYTE> Picture()
{
    std::vector<BYTE> p(kBytes);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = BYTE((i * 31) >> 4);
    return p;
}

// A 24-bit BMP of a 64 x 48 badge, white as its transparent colour.
int BadgeFile()
{
    const int w = 64, h = 48, stride = w * 3;
    std::vector<BYTE> f(54 + size_t(stride) * h, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            BYTE* p = &f[54 + size_t(y) * stride + size_t(x) * 3];
            const bool ring = (x - 32) * (x - 32) + (y - 24) * (y - 24) < 400;
            p[0] = ring ? 40 : 255;
            p[1] = ring ? 120 : 255;
            p[2] = ring ? 220 : 255;
        }
    FILE* file = std::tmpfile();
    std::fwrite(f.data(), 1, f.size(), file);
    std::fflush(file);
    return fileno(file); // kept open for the life of the benchmark program
}

// Four of each kind: texts, a clock, ellipses, rectangles and bitmaps.
void AddTwentyOverlays(COverlayList& list)
{
    LOGFONTA lf{};
    lf.lfHeight = -32;
    std::strcpy(lf.lfFaceName, "Arial");
    const HANDLE badge = TvHandleFromFd(BadgeFile());
    for (LONG i = 0; i < 4; ++i) {
        LONG id = 0;
        char text[64];
        const int n = std::snprintf(text, sizeof(text), "Camera %02d  North gate", int(i + 1));
        list.AddTextOverlay(text, n, 255, 255, 255, lf, 40 + i * 460, 1000, &id);
        list.AddSysTimeOverlay(255, 255, 0, lf, 40 + i * 460, 940, &id);
        list.AddEllipseOverlay(255, 0, 0, 100 + i * 450, 200, 400 + i * 450, 500, &id);
        list.AddRectangleOverlay(0, 255, 0, 80 + i * 450, 560, 380 + i * 450, 860, &id);
        list.AddBitmapOverlay(badge, 200 + i * 450, 100, 0x00FFFFFF, &id);
    }
}

void BM_CopyOfThePicture1080p(benchmark::State& state)
{
    const std::vector<BYTE> in = Picture();
    std::vector<BYTE> out(kBytes);
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), kBytes);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}
BENCHMARK(BM_CopyOfThePicture1080p)->Unit(benchmark::kMicrosecond);

// range(0): bit 0 colour adjustment on, bit 1 twenty overlays; 0 is the neutral
// picture and 3 both (the two targets), 1 and 2 show what each costs.
void BM_ProcessPicture1080p(benchmark::State& state)
{
    CPictureProcessor processor;
    processor.SetInputSize(kW, kH);
    if (state.range(0) & 1) {
        processor.Color().SetBrightness(80);
        processor.Color().SetContrast(72);
        processor.Color().SetSaturation(70);
        processor.Color().SetHue(60);
    }
    if (state.range(0) & 2)
        AddTwentyOverlays(processor.Overlays());
    const std::vector<BYTE> in = Picture();
    std::vector<BYTE> out(kBytes);
    Layout layout;
    size_t written = 0;
    // The first picture renders the overlays' images (GDI), once.
    processor.Process(in.data(), in.size(), out.data(), out.size(), &written, layout);
    for (auto _ : state) {
        processor.Process(in.data(), in.size(), out.data(), out.size(), &written, layout);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
    state.counters["overlays"] = double(processor.Overlays().Count());
}
BENCHMARK(BM_ProcessPicture1080p)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

} // namespace
