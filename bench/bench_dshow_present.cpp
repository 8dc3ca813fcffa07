// Presenting a 1920x1080 YUY2 picture into a 960x540 video window. The window
// is exactly half the picture, so the renderer reduces it with the exact 2 x 2
// box (PictureHalve.h, into planar 4:2:2) and converts the half picture without
// scaling. The floor is
// a memcpy of the same picture's bytes (target: the offscreen presentation at
// most 1 ms; its ratio to the copy is what a busy machine can compare).
//
//   BM_MemcpyPicture    memcpy of the 1080p YUY2 picture (4 MB): the floor.
//   BM_Halve/kernel     the 2:1 reduction alone, per kernel (scalar, SSE2, AVX2
//                       where the CPU has it).
//   BM_SwscaleAlone     sws_scale YUYV422 1920x1080 -> BGRA 960x540, bilinear,
//                       into a plain buffer: the general path this replaces.
//   BM_PresentOffscreen the renderer's offscreen presenter: reduction and
//                       conversion into its surface, plus its locking and
//                       bookkeeping.
//   BM_PresentOffscreenCold the same on pictures the caches do not hold (as
//                       a live stream's are): what the memory costs.
//   BM_MemcpyPictureRgb32, BM_SwscaleRgb32Alone, BM_PresentOffscreenRgb32
//                       the same for a 1080p 32-bit RGB picture (what the live
//                       chain's colour converter hands the renderer): the copy,
//                       libswscale's bilinear scaling, and the presenter's
//                       exact reduction straight into its surface.
//   BM_PresentX11       the X11 presenter (needs a display; Xvfb will do): the
//                       conversion into the shared-memory surface, ShmPutImage
//                       and the round trip that lets the next picture reuse
//                       the memory.
//   BM_PresentX11Copy   the same with a 960x540 RGB32 picture (a plain copy,
//                       no conversion): what the X server's side costs.
//
// Wall time counts the X server's work (another process); on a machine whose
// cores are busy it cannot overlap with the conversion, and the X11 figures
// then include the server's copy in full. The CPU column is this process alone.
#include <benchmark/benchmark.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "video/OffscreenPresenter.h"
#include "video/VideoPresenter.h"
#include "video/X11Presenter.h"
#include "video/PictureHalve.h"
#include "win32/window.h"

namespace {

constexpr int kInW = 1920, kInH = 1080, kOutW = 960, kOutH = 540;

std::vector<uint8_t> TestPicture()
{
    std::vector<uint8_t> frame(size_t(kInW) * 2 * kInH);
    for (int y = 0; y < kInH; ++y) {
        for (int x = 0; x < kInW; x += 2) {
            uint8_t* p = frame.data() + (size_t(y) * kInW + size_t(x)) * 2;
            p[0] = uint8_t(16 + (x + y) % 220);
            p[1] = uint8_t(x % 256);
            p[2] = uint8_t(16 + (x + y + 1) % 220);
            p[3] = uint8_t(y % 256);
        }
    }
    return frame;
}

FrameFormat InputFormat()
{
    return FrameFormat{PixelLayout::YUY2, kInW, kInH, kInW * 2, false};
}

PresentSettings Window()
{
    PresentSettings s;
    s.width = kOutW;
    s.height = kOutH;
    s.visible = true;
    s.source = RECT{0, 0, kInW, kInH};
    return s;
}

void BM_MemcpyPicture(benchmark::State& state)
{
    std::vector<uint8_t> frame = TestPicture();
    std::vector<uint8_t> out(frame.size());
    for (auto _ : state) {
        std::memcpy(out.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}
BENCHMARK(BM_MemcpyPicture)->Unit(benchmark::kMillisecond);

void BM_Halve(benchmark::State& state)
{
    const auto kernel = HalveKernel(state.range(0));
    if (!HalveKernelAvailable(kernel)) {
        state.SkipWithError("this CPU lacks the kernel's instructions");
        return;
    }
    state.SetLabel(kernel == HalveKernel::Avx2   ? "avx2"
                   : kernel == HalveKernel::Sse2 ? "sse2"
                                                 : "scalar");
    std::vector<uint8_t> frame = TestPicture();
    std::vector<uint8_t> out(size_t(kOutW) * 2 * kOutH);
    const size_t luma = size_t(kOutW) * kOutH;
    const Planar422 half{out.data(), out.data() + luma, out.data() + luma * 3 / 2, kOutW,
                         kOutW / 2};
    for (auto _ : state) {
        HalveYuy2(kernel, frame.data(), kInW * 2, kInW, kInH, half);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}
BENCHMARK(BM_Halve)
    ->Arg(int(HalveKernel::Scalar))
    ->Arg(int(HalveKernel::Sse2))
    ->Arg(int(HalveKernel::Avx2))
    ->Unit(benchmark::kMillisecond);

// libswscale's bilinear scaling of a 1080p picture into a 960x540 BGRA buffer.
void SwscaleAlone(benchmark::State& state, const std::vector<uint8_t>& frame, AVPixelFormat format,
                  int stride)
{
    std::vector<uint8_t> out(size_t(kOutW) * 4 * kOutH + 256);
    SwsContext* ctx = sws_getContext(kInW, kInH, format, kOutW, kOutH, AV_PIX_FMT_BGRA,
                                     SWS_BILINEAR, nullptr, nullptr, nullptr);
    const uint8_t* src[4] = {frame.data(), nullptr, nullptr, nullptr};
    int srcStride[4] = {stride, 0, 0, 0};
    uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {kOutW * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(ctx, src, srcStride, 0, kInH, dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(ctx);
}

void BM_SwscaleAlone(benchmark::State& state)
{
    SwscaleAlone(state, TestPicture(), AV_PIX_FMT_YUYV422, kInW * 2);
}
BENCHMARK(BM_SwscaleAlone)->Unit(benchmark::kMillisecond);

void BM_PresentOffscreen(benchmark::State& state)
{
    std::vector<uint8_t> frame = TestPicture();
    COffscreenPresenter presenter;
    presenter.SetSettings(Window());
    for (auto _ : state) {
        if (!presenter.Present(InputFormat(), frame.data()))
            state.SkipWithError("present failed");
    }
}
BENCHMARK(BM_PresentOffscreen)->Unit(benchmark::kMillisecond);

// The same, each picture new to the caches, as in a live stream: the decoder
// wrote it on another core just before. 24 pictures (96 MB) in turn, more
// than the caches hold, after one write each.
void BM_PresentOffscreenCold(benchmark::State& state)
{
    const std::vector<uint8_t> picture = TestPicture();
    std::vector<std::vector<uint8_t>> frames(24, picture);
    COffscreenPresenter presenter;
    presenter.SetSettings(Window());
    size_t next = 0;
    for (auto _ : state) {
        if (!presenter.Present(InputFormat(), frames[next].data()))
            state.SkipWithError("present failed");
        next = (next + 1) % frames.size();
    }
}
BENCHMARK(BM_PresentOffscreenCold)->Unit(benchmark::kMillisecond);

std::vector<uint8_t> TestPictureRgb32()
{
    std::vector<uint8_t> frame(size_t(kInW) * 4 * kInH);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = uint8_t((i * 7 + i / 4096) % 251);
    return frame;
}

void BM_MemcpyPictureRgb32(benchmark::State& state)
{
    std::vector<uint8_t> frame = TestPictureRgb32();
    std::vector<uint8_t> out(frame.size());
    for (auto _ : state) {
        std::memcpy(out.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}
BENCHMARK(BM_MemcpyPictureRgb32)->Unit(benchmark::kMillisecond);

void BM_SwscaleRgb32Alone(benchmark::State& state)
{
    SwscaleAlone(state, TestPictureRgb32(), AV_PIX_FMT_BGR0, kInW * 4);
}
BENCHMARK(BM_SwscaleRgb32Alone)->Unit(benchmark::kMillisecond);

void BM_PresentOffscreenRgb32(benchmark::State& state)
{
    std::vector<uint8_t> frame = TestPictureRgb32();
    COffscreenPresenter presenter;
    presenter.SetSettings(Window());
    const FrameFormat format{PixelLayout::RGB32, kInW, kInH, kInW * 4, true};
    for (auto _ : state) {
        if (!presenter.Present(format, frame.data()))
            state.SkipWithError("present failed");
    }
}
BENCHMARK(BM_PresentOffscreenRgb32)->Unit(benchmark::kMillisecond);

void PresentX11(benchmark::State& state, const FrameFormat& format,
                const std::vector<uint8_t>& frame);

void BM_PresentX11(benchmark::State& state)
{
    PresentX11(state, InputFormat(), TestPicture());
}
BENCHMARK(BM_PresentX11)->Unit(benchmark::kMillisecond);

void BM_PresentX11Copy(benchmark::State& state)
{
    std::vector<uint8_t> frame(size_t(kOutW) * 4 * kOutH, 0x80);
    PresentX11(state, FrameFormat{PixelLayout::RGB32, kOutW, kOutH, kOutW * 4, false}, frame);
}
BENCHMARK(BM_PresentX11Copy)->Unit(benchmark::kMillisecond);

void PresentX11(benchmark::State& state, const FrameFormat& format,
                const std::vector<uint8_t>& frame)
{
    if (!TvGetX11Display()) {
        state.SkipWithError("no X display");
        return;
    }
    xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    uint32_t owner = xcb_generate_id(conn);
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, owner, screen->root, 0, 0, kOutW, kOutH, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(conn, owner);
    std::free(xcb_get_input_focus_reply(conn, xcb_get_input_focus(conn), nullptr));
    {
        auto presenter = CX11Presenter::Create(owner);
        if (!presenter) {
            state.SkipWithError("the X11 presenter could not start");
        } else {
            state.SetLabel(presenter->UsesSharedMemory() ? "MIT-SHM" : "PutImage");
            PresentSettings settings = Window();
            settings.source = RECT{0, 0, format.width, format.height};
            presenter->SetSettings(settings);
            for (auto _ : state) {
                if (!presenter->Present(format, frame.data()))
                    state.SkipWithError("present failed");
            }
        }
    }
    xcb_destroy_window(conn, owner);
    xcb_disconnect(conn);
}

} // namespace
