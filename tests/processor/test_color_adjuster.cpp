// The colour adjuster: internal forms, tables, hue patterns, the interface's
// slot order and the per-frame pass (SSE2 against the plain version).
#include "CColorAdjuster.h"
#include "IProcesserColor.h"
#include "win32/trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using State = CColorAdjuster::State;

// A YUY2 frame of pixelCount pixels with every pixel pair Y0 U Y1 V as given.
std::vector<BYTE> Frame(size_t pixelCount, BYTE y0, BYTE u, BYTE y1, BYTE v)
{
    std::vector<BYTE> f(pixelCount * 2);
    for (size_t lane = 0; lane < pixelCount; ++lane) {
        f[2 * lane] = lane % 2 ? y1 : y0;
        f[2 * lane + 1] = lane % 2 ? v : u;
    }
    return f;
}

std::vector<BYTE> Adjusted(CColorAdjuster& adj, std::vector<BYTE> frame)
{
    adj.Process(frame.data(), frame.size() / 2, frame.size());
    return frame;
}

long Nearest(double x)
{
    return long(x + 0.5);
}

TEST(ColorAdjusterForms, ValuesToInternalAndBack)
{
    EXPECT_EQ(CColorAdjuster::GainFromValue(64), 128);
    EXPECT_EQ(CColorAdjuster::GainFromValue(128), 255);
    EXPECT_EQ(CColorAdjuster::GainFromValue(0), 0);
    EXPECT_EQ(CColorAdjuster::GainFromValue(65), 130);
    EXPECT_EQ(CColorAdjuster::GainFromValue(0x100 + 65), 130); // low 8 bits only
    EXPECT_EQ(CColorAdjuster::ValueFromGain(255), 128);
    EXPECT_EQ(CColorAdjuster::ValueFromGain(130), 65);

    EXPECT_EQ(CColorAdjuster::OffsetFromValue(0), -127);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(128), 127);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(64), 0);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(96), 64);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(32), -64);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(1), -126);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(127), 126);
    EXPECT_EQ(CColorAdjuster::OffsetFromValue(-256 + 96), 64);
    EXPECT_EQ(CColorAdjuster::ValueFromOffset(-127), 0);
    EXPECT_EQ(CColorAdjuster::ValueFromOffset(127), 128);
    EXPECT_EQ(CColorAdjuster::ValueFromOffset(-126), 1); // arithmetic shift
    EXPECT_EQ(CColorAdjuster::ValueFromOffset(-64), 32);
    EXPECT_EQ(CColorAdjuster::ValueFromOffset(0), 64);
}

TEST(ColorAdjusterForms, SetGetRoundTripsAndResets)
{
    CColorAdjuster adj;
    using Setter = HRESULT (CColorAdjuster::*)(LONG);
    using Getter = HRESULT (CColorAdjuster::*)(BYTE*) const;
    using Resetter = HRESULT (CColorAdjuster::*)();
    struct Setting {
        Setter set;
        Getter get;
        Resetter reset;
    } settings[] = {
        {&CColorAdjuster::SetContrast, &CColorAdjuster::GetContrast,
         &CColorAdjuster::ResetContrast},
        {&CColorAdjuster::SetBrightness, &CColorAdjuster::GetBrightness,
         &CColorAdjuster::ResetBrightness},
        {&CColorAdjuster::SetHue, &CColorAdjuster::GetHue, &CColorAdjuster::ResetHue},
        {&CColorAdjuster::SetSaturation, &CColorAdjuster::GetSaturation,
         &CColorAdjuster::ResetSaturation},
    };
    for (const Setting& s : settings) {
        BYTE v = 0xEE;
        EXPECT_EQ((adj.*s.get)(&v), S_OK);
        EXPECT_EQ(v, 64); // default
        for (LONG value : {0, 128, 65, 1, 127, 64}) {
            EXPECT_EQ((adj.*s.set)(value), S_OK);
            EXPECT_EQ((adj.*s.get)(&v), S_OK);
            EXPECT_EQ(v, value) << value;
        }
        EXPECT_EQ((adj.*s.reset)(), S_OK);
        (adj.*s.get)(&v);
        EXPECT_EQ(v, 64);
        EXPECT_EQ((adj.*s.get)(nullptr), E_POINTER);
    }
    EXPECT_TRUE(adj.Snapshot().Neutral());
}

TEST(ColorAdjusterForms, TablesAAndB)
{
    EXPECT_EQ(CColorAdjuster::TableA(0), 256);
    EXPECT_EQ(CColorAdjuster::TableA(1), 254);
    EXPECT_EQ(CColorAdjuster::TableA(2), 252);
    EXPECT_EQ(CColorAdjuster::TableA(64), 127);
    EXPECT_EQ(CColorAdjuster::TableA(127), 1);
    EXPECT_EQ(CColorAdjuster::TableB(0), 0);
    EXPECT_EQ(CColorAdjuster::TableB(1), 129);
    EXPECT_EQ(CColorAdjuster::TableB(2), 130);
    EXPECT_EQ(CColorAdjuster::TableB(3), 131);
    EXPECT_EQ(CColorAdjuster::TableB(64), 257);
    EXPECT_EQ(CColorAdjuster::TableB(126), 10880);
    EXPECT_EQ(CColorAdjuster::TableB(127), 0);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(CColorAdjuster::TableA(i), Nearest(256.0 * (255 - 2 * i) / 255)) << i;
        if (i >= 1 && i <= 126) {
            EXPECT_EQ(CColorAdjuster::TableB(i), Nearest(128.0 * 255 / (255 - 2 * i))) << i;
        }
    }
}

TEST(ColorAdjusterForms, HuePatterns)
{
    CColorAdjuster adj;
    adj.SetHue(96); // h = 64
    State st = adj.Snapshot();
    const BYTE add96[8] = {19, 0, 19, 32, 19, 0, 19, 32};
    const BYTE sub96[8] = {0, 11, 0, 0, 0, 11, 0, 0};
    EXPECT_EQ(std::memcmp(st.hueAdd, add96, 8), 0);
    EXPECT_EQ(std::memcmp(st.hueSub, sub96, 8), 0);
    adj.SetHue(32); // h = -64: toward blue
    st = adj.Snapshot();
    const BYTE add32[8] = {7, 32, 7, 0, 7, 32, 7, 0};
    const BYTE sub32[8] = {0, 0, 0, 5, 0, 0, 0, 5};
    EXPECT_EQ(std::memcmp(st.hueAdd, add32, 8), 0);
    EXPECT_EQ(std::memcmp(st.hueSub, sub32, 8), 0);
    // Every hue value against the floating-point definition.
    for (LONG value = 0; value <= 128; ++value) {
        adj.SetHue(value);
        st = adj.Snapshot();
        const int h = st.hue;
        if (h > 0) {
            EXPECT_EQ(st.hueAdd[0], Nearest(0.299 * h)) << h;
            EXPECT_EQ(st.hueAdd[3], (h + 1) / 2) << h;
            EXPECT_EQ(st.hueSub[1], Nearest(0.168 * h)) << h;
        } else if (h < 0) {
            EXPECT_EQ(st.hueAdd[0], Nearest(0.114 * -h)) << h;
            EXPECT_EQ(st.hueAdd[1], (-h + 1) / 2) << h;
            EXPECT_EQ(st.hueSub[3], Nearest(0.081 * -h)) << h;
        } else {
            const BYTE zero[8] = {};
            EXPECT_EQ(std::memcmp(st.hueAdd, zero, 8), 0);
            EXPECT_EQ(std::memcmp(st.hueSub, zero, 8), 0);
        }
    }
}

TEST(ColorAdjusterPass, NeutralLeavesEveryByte)
{
    CColorAdjuster adj;
    std::vector<BYTE> f(1920 * 2 * 4);
    std::mt19937 rng(7);
    for (auto& b : f)
        b = BYTE(rng());
    EXPECT_EQ(Adjusted(adj, f), f);
    adj.SetBrightness(100);
    adj.ResetBrightness();
    EXPECT_EQ(Adjusted(adj, f), f);
}

TEST(ColorAdjusterPass, BrightnessAndSaturation)
{
    CColorAdjuster adj;
    adj.SetBrightness(128);
    EXPECT_EQ(Adjusted(adj, Frame(8, 100, 90, 200, 30)), Frame(8, 199, 90, 255, 30));
    adj.SetBrightness(0);
    EXPECT_EQ(Adjusted(adj, Frame(8, 100, 90, 200, 30)), Frame(8, 0, 90, 0, 30));
    adj.ResetBrightness();
    adj.SetSaturation(0);
    EXPECT_EQ(Adjusted(adj, Frame(8, 100, 90, 200, 30)), Frame(8, 100, 128, 200, 128));
    adj.SetSaturation(128); // s = 255: chroma pushed away from 128
    EXPECT_EQ(Adjusted(adj, Frame(8, 100, 90, 200, 30)),
              Frame(8, 100, BYTE(((90 * 255) >> 7) + 128 - 255), 200, 0));
}

TEST(ColorAdjusterPass, ContrastStretchAndCompress)
{
    CColorAdjuster adj;
    adj.SetContrast(96); // c = 64
    auto y = [&](BYTE luma) { return Adjusted(adj, Frame(4, luma, 128, luma, 128))[0]; };
    EXPECT_EQ(y(64), 0);
    EXPECT_EQ(y(10), 0);
    EXPECT_EQ(y(192), 255);
    EXPECT_EQ(y(250), 255);
    EXPECT_EQ(y(191), 254);                                         // (127 x 257) >> 7
    EXPECT_EQ(y(128), 128);                                         // (64 x 257) >> 7
    EXPECT_EQ(Adjusted(adj, Frame(4, 128, 128, 128, 128))[1], 128); // chroma stretched alike
    adj.SetContrast(32);                                            // c = -64
    EXPECT_EQ(y(0), 64);
    EXPECT_EQ(y(255), 190); // (255 x 127) >> 8 = 126, plus 64
    adj.SetContrast(128);   // c = 127: a threshold
    EXPECT_EQ(y(127), 0);
    EXPECT_EQ(y(128), 0);
    EXPECT_EQ(y(129), 255);
}

TEST(ColorAdjusterPass, HueTintsWithSaturation)
{
    CColorAdjuster adj;
    adj.SetHue(96);
    EXPECT_EQ(Adjusted(adj, Frame(8, 100, 100, 120, 100)), Frame(8, 119, 89, 139, 132));
    EXPECT_EQ(Adjusted(adj, Frame(8, 250, 5, 240, 240)), Frame(8, 255, 0, 255, 255));
}

// Every setting alone over its whole range, then random mixes, on frames of
// sizes that leave every kind of tail (of the 16-, 32- and 64-byte registers,
// one or two per step), for each vector pass the CPU can run.
using VectorPass = void (*)(const State&, BYTE*, size_t);

class ColorAdjusterVectorPass : public ::testing::TestWithParam<VectorPass> {};

// Each wider pass falls back to a narrower one on a CPU without it, which
// would make its comparison a repeat; it is skipped there instead.
bool Runs(VectorPass pass)
{
    if (pass == &CColorAdjuster::ApplyAvx2)
        return CColorAdjuster::Avx2Supported();
    if (pass == &CColorAdjuster::ApplyAvx512)
        return CColorAdjuster::Avx512Supported();
    return true;
}

TEST_P(ColorAdjusterVectorPass, EqualsScalar)
{
    if (!Runs(GetParam()))
        GTEST_SKIP() << "the CPU lacks this instruction set";
    std::mt19937 rng(2024);
    // The frame starts at each offset from a 32-byte boundary in turn, odd
    // ones included: no pass may rely on alignment.
    const size_t starts[] = {0, 8, 16, 24, 1, 2};
    size_t round = 0;
    std::vector<BYTE> bufA(2 * 6000 + 64), bufB(bufA.size());
    auto aligned = [](std::vector<BYTE>& buf, size_t start) {
        const auto addr = reinterpret_cast<uintptr_t>(buf.data());
        return buf.data() + (32 - addr % 32) % 32 + start;
    };
    auto check = [&](const State& st) {
        for (size_t pixels :
             {size_t(1), size_t(3), size_t(4), size_t(7), size_t(8), size_t(13), size_t(16),
              size_t(28), size_t(35), size_t(60), size_t(100), size_t(127), size_t(1920 * 3 + 6)}) {
            const size_t start = starts[round++ % std::size(starts)];
            BYTE* a = aligned(bufA, start);
            BYTE* b = aligned(bufB, start);
            // Every byte value in every position first, then random bytes.
            for (size_t i = 0; i < pixels * 2; ++i)
                a[i] = i < 1024 ? BYTE(i / 4 + 64 * (i % 4)) : BYTE(rng());
            std::memcpy(b, a, pixels * 2);
            a[pixels * 2] = b[pixels * 2] = 0x5A; // must stay
            GetParam()(st, a, pixels);
            CColorAdjuster::ApplyScalar(st, b, pixels);
            ASSERT_EQ(std::vector<BYTE>(a, a + pixels * 2 + 1),
                      std::vector<BYTE>(b, b + pixels * 2 + 1))
                << "b " << int(st.brightness) << " s " << int(st.saturation) << " c "
                << int(st.contrast) << " h " << int(st.hue) << " pixels " << pixels << " start "
                << start;
            ASSERT_EQ(a[pixels * 2], 0x5A);
        }
    };
    for (int which = 0; which < 4; ++which) {
        for (LONG v = 0; v <= 128; ++v) {
            CColorAdjuster adj;
            using Setter = HRESULT (CColorAdjuster::*)(LONG);
            const Setter set[4] = {&CColorAdjuster::SetBrightness, &CColorAdjuster::SetSaturation,
                                   &CColorAdjuster::SetContrast, &CColorAdjuster::SetHue};
            (adj.*set[which])(v);
            check(adj.Snapshot());
        }
    }
    for (int n = 0; n < 1500; ++n) {
        CColorAdjuster adj;
        adj.SetBrightness(LONG(rng() % 129));
        adj.SetSaturation(LONG(rng() % 129));
        adj.SetContrast(LONG(rng() % 129));
        adj.SetHue(LONG(rng() % 129));
        check(adj.Snapshot());
    }
    // Out-of-range values keep their low 8 bits and still agree.
    for (LONG v : {129, 200, 255, 256 + 17, -1}) {
        CColorAdjuster adj;
        adj.SetBrightness(v);
        adj.SetSaturation(v);
        adj.SetContrast(v);
        adj.SetHue(v);
        check(adj.Snapshot());
    }
}

// Luma depends only on brightness, contrast and hue, chroma only on
// saturation, contrast and hue: every gain with every contrast, for no hue
// and both directions of it, over every byte value in every position.
TEST_P(ColorAdjusterVectorPass, EqualsScalarForEveryGainAndContrast)
{
    if (!Runs(GetParam()))
        GTEST_SKIP() << "the CPU lacks this instruction set";
    std::vector<BYTE> frame(1024);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = BYTE(i / 4 + 64 * (i % 4));
    for (LONG hue : {64, 96, 32}) {
        for (LONG gain = 0; gain <= 128; ++gain) {
            for (LONG contrast = 0; contrast <= 128; ++contrast) {
                CColorAdjuster adj;
                adj.SetBrightness(gain);
                adj.SetSaturation(gain);
                adj.SetContrast(contrast);
                adj.SetHue(hue);
                const State st = adj.Snapshot();
                std::vector<BYTE> a = frame, b = frame;
                GetParam()(st, a.data(), a.size() / 2);
                CColorAdjuster::ApplyScalar(st, b.data(), b.size() / 2);
                ASSERT_EQ(a, b) << "gain " << gain << " contrast " << contrast << " hue " << hue;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Isa, ColorAdjusterVectorPass,
                         ::testing::Values(&CColorAdjuster::ApplySse2, &CColorAdjuster::ApplyAvx2,
                                           &CColorAdjuster::ApplyAvx512),
                         [](const ::testing::TestParamInfo<VectorPass>& info) {
                             return std::string(info.param == &CColorAdjuster::ApplySse2 ? "Sse2"
                                                : info.param == &CColorAdjuster::ApplyAvx2
                                                    ? "Avx2"
                                                    : "Avx512");
                         });

TEST(ColorAdjusterPass, StaysInsideTheBuffer)
{
    CColorAdjuster adj;
    adj.SetBrightness(0);
    // A pixel count larger than the buffer holds, and tiny frames: nothing
    // past frameBytes changes.
    std::vector<BYTE> buf(64, 0x77);
    adj.Process(buf.data(), 1000, 10);
    for (size_t i = 0; i < buf.size(); ++i)
        EXPECT_EQ(buf[i], i < 10 && i % 2 == 0 ? 0 : 0x77) << i;
    std::vector<BYTE> two(8, 0x77);
    adj.Process(two.data(), 1, 2);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[2], 0x77);
    adj.Process(nullptr, 100, 200);
    // Odd pixel counts adjust every pixel, the last lanes included.
    std::vector<BYTE> odd = Frame(7, 200, 128, 200, 128);
    odd.push_back(200);
    odd.push_back(128);
    adj.Process(odd.data(), 7, odd.size());
    for (size_t i = 0; i < 14; i += 2)
        EXPECT_EQ(odd[i], 0) << i;
    EXPECT_EQ(odd[14], 200);
}

// A frame in progress keeps the settings it started with.
TEST(ColorAdjusterPass, CopyingPassEqualsCopyThenPass)
{
    std::mt19937 rng(7);
    std::vector<BYTE> src(3 * 1000 + 7);
    for (BYTE& b : src)
        b = BYTE(rng());
    struct {
        LONG brightness, contrast, saturation, hue;
    } settings[] = {
        {64, 64, 64, 64}, {80, 72, 70, 60}, {30, 20, 100, 10}, {128, 128, 0, 128}, {64, 0, 64, 64}};
    // Pixel counts that end inside a register, and bytes past the pixels
    // (the padding of odd-width rows) that are copied unchanged.
    for (const auto& set : settings)
        for (size_t pixels : {size_t(0), size_t(1), size_t(13), size_t(1000), size_t(1503)}) {
            CColorAdjuster adj;
            adj.SetBrightness(set.brightness);
            adj.SetContrast(set.contrast);
            adj.SetSaturation(set.saturation);
            adj.SetHue(set.hue);
            std::vector<BYTE> expected = src;
            adj.Process(expected.data(), pixels, expected.size());
            std::vector<BYTE> copied(src.size() + 32, 0xEE);
            adj.ProcessCopy(src.data(), copied.data(), src.size(), pixels);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), copied.begin()))
                << set.brightness << "/" << set.contrast << " pixels " << pixels;
            EXPECT_EQ(copied[src.size()], 0xEE);
            for (auto* pass : {&CColorAdjuster::ApplySse2To, &CColorAdjuster::ApplyAvx2To,
                               &CColorAdjuster::ApplyAvx512To}) {
                std::vector<BYTE> out(2 * pixels, 0xEE);
                std::vector<BYTE> inPlace(src.begin(), src.begin() + std::ptrdiff_t(2 * pixels));
                pass(adj.Snapshot(), src.data(), out.data(), pixels);
                pass(adj.Snapshot(), inPlace.data(), inPlace.data(), pixels);
                ASSERT_EQ(out, inPlace);
            }
        }
}

TEST(ColorAdjusterPass, FrameSeesOneSnapshotWhileSettingsChange)
{
    CColorAdjuster adj;
    std::atomic<bool> stop{false};
    std::thread setter([&] {
        for (int i = 0; !stop.load(); ++i) {
            adj.SetBrightness(i % 2 ? 0 : 128);
            adj.SetContrast(i % 2 ? 32 : 96);
        }
    });
    for (int n = 0; n < 200; ++n) {
        std::vector<BYTE> f = Adjusted(adj, Frame(1920 * 8, 100, 128, 100, 128));
        for (size_t i = 2; i < f.size(); i += 2)
            ASSERT_EQ(f[i], f[0]) << "frame " << n << " byte " << i;
    }
    stop = true;
    setter.join();
}

// The interface header's slot order, through the raw vtable.
class ColorObject : public IProcesserColor {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetContrast(BYTE* v) override { return adj.GetContrast(v); }
    HRESULT SetContrast(LONG v) override { return adj.SetContrast(v); }
    HRESULT ResetContrast() override { return adj.ResetContrast(); }
    HRESULT GetBrightness(BYTE* v) override { return adj.GetBrightness(v); }
    HRESULT SetBrightness(LONG v) override { return adj.SetBrightness(v); }
    HRESULT ResetBrightness() override { return adj.ResetBrightness(); }
    HRESULT SetHue(LONG v) override { return adj.SetHue(v); }
    HRESULT GetHue(BYTE* v) override { return adj.GetHue(v); }
    HRESULT ResetHue() override { return adj.ResetHue(); }
    HRESULT SetSaturation(LONG v) override { return adj.SetSaturation(v); }
    HRESULT GetSaturation(BYTE* v) override { return adj.GetSaturation(v); }
    HRESULT ResetSaturation() override { return adj.ResetSaturation(); }
    CColorAdjuster adj;
};

TEST(ColorAdjusterInterface, SlotOrder)
{
    ColorObject obj;
    IProcesserColor* itf = &obj;
    void** vtbl = *reinterpret_cast<void***>(itf);
    using Set = HRESULT (*)(IProcesserColor*, LONG);
    using Get = HRESULT (*)(IProcesserColor*, BYTE*);
    using Reset = HRESULT (*)(IProcesserColor*);
    struct {
        int set, get, reset;
        HRESULT (CColorAdjuster::*direct)(BYTE*) const;
    } slots[] = {{4, 3, 5, &CColorAdjuster::GetContrast},
                 {7, 6, 8, &CColorAdjuster::GetBrightness},
                 {9, 10, 11, &CColorAdjuster::GetHue},
                 {12, 13, 14, &CColorAdjuster::GetSaturation}};
    LONG value = 10;
    for (const auto& s : slots) {
        ++value;
        EXPECT_EQ(reinterpret_cast<Set>(vtbl[s.set])(itf, value), S_OK);
        BYTE direct = 0, viaSlot = 0;
        (obj.adj.*s.direct)(&direct);
        EXPECT_EQ(direct, value);
        EXPECT_EQ(reinterpret_cast<Get>(vtbl[s.get])(itf, &viaSlot), S_OK);
        EXPECT_EQ(viaSlot, value);
        EXPECT_EQ(reinterpret_cast<Reset>(vtbl[s.reset])(itf), S_OK);
        (obj.adj.*s.direct)(&direct);
        EXPECT_EQ(direct, 64);
    }
}

} // namespace

TEST(ColorAdjusterTrace, EachInterfaceCallIsTracedOnTheProcessorChannel)
{
    CColorAdjuster adjuster;
    BYTE value = 0;
    char pointer[32];
    snprintf(pointer, sizeof(pointer), "%p", static_cast<void*>(&value));
    const auto calls = [&] {
        adjuster.SetBrightness(70);
        adjuster.GetBrightness(&value);
        adjuster.GetHue(nullptr);
    };
    EXPECT_EQ(TvTraceCapture("processor", calls),
              (std::vector<std::string>{"processor: SetBrightness(70) -> 0 (0x00000000)",
                                        "processor: GetBrightness(" + std::string(pointer) +
                                            ") -> 0 (0x00000000): 70",
                                        "processor: GetHue((nil)) -> -2147467261 (0x80004003)"}));
    EXPECT_TRUE(TvTraceCapture("player,nwsource", calls).empty());
}
