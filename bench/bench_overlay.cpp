// Blending already rendered overlays into a 1080p YUY2 frame: 10 text items
// and 10 shapes, as a screenful of captions and detection boxes. Rendering
// (GDI) is measured apart.
#include "CEllipseItem.h"
#include "CPolygonItem.h"
#include "CTextItem.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr LONG kW = 1920, kH = 1080;

class Layout : public IOverlayLayoutSource {
public:
    bool QueryOverlayLayout(OverlayFrameLayout* l) override
    {
        return OverlayLayoutFromHeader(kW, kH, 16, l);
    }
};

LOGFONTA Arial(LONG height)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    std::strcpy(lf.lfFaceName, "Arial");
    return lf;
}

std::vector<std::unique_ptr<COverlayItem>> Screenful()
{
    std::vector<std::unique_ptr<COverlayItem>> items;
    for (int i = 0; i < 10; ++i) {
        char text[64];
        int n = std::snprintf(text, sizeof(text), "Camera %02d  North gate, lane %d", i + 1, i);
        items.push_back(std::make_unique<CTextItem>(40 + (i % 2) * 960, 60 + i * 100, Arial(-36),
                                                    text, size_t(n), 255, 255, 255));
    }
    for (int i = 0; i < 5; ++i)
        items.push_back(
            std::make_unique<CEllipseItem>(100 + i * 360, 200, 400 + i * 360, 500, 255, 0, 0));
    for (int i = 0; i < 5; ++i) {
        LONG l = 80 + i * 360, b = 560, r = l + 300, t = b + 300;
        POINT box[5] = {{l, b}, {r, b}, {r, t}, {l, t}, {l, b}};
        items.push_back(std::make_unique<CPolygonItem>(box, 5, 0, 255, 0));
    }
    return items;
}

// range(0): 0 all twenty items, 1 the ten texts, 2 the ten shapes.
void BM_BlendScreenful1080p(benchmark::State& state)
{
    std::vector<BYTE> frame(size_t(kW) * 2 * kH, 0x80);
    Layout layout;
    auto items = Screenful();
    if (state.range(0) == 1)
        items.resize(10);
    else if (state.range(0) == 2)
        items.erase(items.begin(), items.begin() + 10);
    for (auto& item : items)
        if (!item->Draw(frame.data(), frame.size(), layout))
            state.SkipWithError("an item did not render");
    for (auto _ : state) {
        for (auto& item : items)
            item->Draw(frame.data(), frame.size(), layout);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BlendScreenful1080p)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->ArgName("items")
    ->Unit(benchmark::kMicrosecond);

// A time item on every frame: GDI runs once a second, the other frames blend.
void BM_TimeItemPerFrame1080p(benchmark::State& state)
{
    std::vector<BYTE> frame(size_t(kW) * 2 * kH, 0x80);
    Layout layout;
    CSysTimeItem item(40, 40, Arial(-36), 255, 255, 0);
    for (auto _ : state) {
        item.Draw(frame.data(), frame.size(), layout);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TimeItemPerFrame1080p)->Unit(benchmark::kMicrosecond);

// Rendering one caption with GDI (what a time item costs once a second).
void BM_RenderCaption(benchmark::State& state)
{
    std::vector<BYTE> frame(size_t(kW) * 2 * kH, 0x80);
    Layout layout;
    for (auto _ : state) {
        CTextItem item(40, 40, Arial(-36), "2024-05-06 07:08:09", 19, 255, 255, 255);
        item.Draw(frame.data(), frame.size(), layout);
    }
}
BENCHMARK(BM_RenderCaption)->Unit(benchmark::kMicrosecond);

} // namespace
