// The frame processor filter in a running graph: a push source sends YUY2
// pictures through it to a recording sink. Overlays of every kind land in the
// delivered pictures and nowhere else; the output size is agreed when the
// output connects and the cut is fixed from then on; pictures whose size
// disagrees with the agreed type, and a frame callback that throws, cost only
// those pictures; the end of the stream follows the queued pictures; a Stop
// while the delivery thread is held downstream returns.
#include "IProcesserCut.h"
#include "IProcesserOverlay.h"
#include "TarvoGuids.h"
#include "overlay_test_util.h"
#include "processer_test_env.h"

#include "win32/file.h"

#include <qedit.h>

#include "TestFilters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr LONG kWidth = 352;
constexpr LONG kHeight = 288;
constexpr LONG kPictureBytes = kWidth * 2 * kHeight;

CMediaType Yuy2Type(LONG width, LONG height)
{
    return TvMakeVideoType2(MEDIASUBTYPE_YUY2, width, height, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

TvTestSample Picture(LONG length = kPictureBytes)
{
    TvTestSample sample;
    sample.length = length;
    return sample;
}

// An area of the output in overlay coordinates (x to the right, y upward from
// the bottom edge), half-open.
struct Area {
    LONG x0, y0, x1, y1;
    bool Holds(LONG x, LONG y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

// The luma of pixel (x, y) of an upright (top-down) YUY2 picture in overlay
// coordinates.
BYTE Luma(const std::vector<BYTE>& picture, LONG width, LONG height, LONG x, LONG y)
{
    return picture[size_t(height - 1 - y) * width * 2 + size_t(x) * 2];
}

// The pictures the frame callback sees are those the filter delivers: the
// callback runs on the output buffer after the overlays, and the buffer goes
// downstream as it is.
struct Captured {
    std::mutex lock;
    std::vector<std::vector<BYTE>> pictures;
};

void Capture(void* user, BYTE* frame, LONG size, LONG, LONG)
{
    auto* captured = static_cast<Captured*>(user);
    std::lock_guard<std::mutex> hold(captured->lock);
    captured->pictures.emplace_back(frame, frame + size);
}

void Throw(void*, BYTE*, LONG, LONG, LONG)
{
    throw std::runtime_error("the application's callback failed");
}

class ProcesserGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(m_env.SetUp("processer-graph"));
        ASSERT_EQ(CoCreateInstance(CLSID_TarvoProcesser, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, reinterpret_cast<void**>(&m_filter)),
                  S_OK);
        ASSERT_EQ(m_filter->QueryInterface(IID_IProcesserCut, reinterpret_cast<void**>(&m_cut)),
                  S_OK);
        ASSERT_EQ(
            m_filter->QueryInterface(IID_IProcesserOverlay, reinterpret_cast<void**>(&m_overlay)),
            S_OK);
        m_graph = CTestGraph::Create();
        ASSERT_EQ(m_filter->JoinFilterGraph(static_cast<IFilterGraph*>(m_graph), L"processor"),
                  S_OK);
        m_sink = CTestSink::Create(MEDIATYPE_Video);
        ASSERT_NE(m_sink, nullptr);
    }
    void TearDown() override
    {
        StopAll();
        if (m_source) {
            m_source->Output()->Disconnect();
            m_source->Release();
        }
        if (m_filter) {
            for (IPin* pin : {Pin(L"Input"), Pin(L"Output")}) {
                if (pin) {
                    pin->Disconnect();
                    pin->Release();
                }
            }
        }
        if (m_sink) {
            m_sink->Input()->Disconnect();
            m_sink->Release();
        }
        if (m_overlay)
            m_overlay->Release();
        if (m_cut)
            m_cut->Release();
        if (m_filter) {
            m_filter->JoinFilterGraph(nullptr, nullptr);
            m_filter->Release();
        }
        if (m_graph)
            m_graph->Release();
        m_env.TearDown();
    }

    // Add-referenced.
    IPin* Pin(const wchar_t* name)
    {
        IPin* pin = nullptr;
        m_filter->FindPin(name, &pin);
        return pin;
    }
    // Source -> processor -> sink, the source offering a YUY2 picture of the
    // given size.
    void Connect(LONG width = kWidth, LONG height = kHeight, LONG bufferBytes = 0)
    {
        ConnectInput(width, height, bufferBytes);
        ConnectOutput();
    }
    void ConnectInput(LONG width, LONG height, LONG bufferBytes = 0)
    {
        m_source = CTestPushSource::Create({Yuy2Type(width, height)});
        ASSERT_NE(m_source, nullptr);
        m_source->SetAllocatorRequest(2, bufferBytes ? bufferBytes : width * 2 * height);
        IPin* input = Pin(L"Input");
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(m_source->Output()->Connect(input, nullptr), S_OK);
        input->Release();
    }
    void ConnectOutput()
    {
        IPin* output = Pin(L"Output");
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(output->Connect(m_sink->Input(), nullptr), S_OK);
        output->Release();
    }
    // Downstream first, as the graph manager orders it.
    void Run(const std::vector<TvTestSample>& samples)
    {
        m_source->SetSamples(samples);
        ASSERT_EQ(m_sink->Pause(), S_OK);
        ASSERT_EQ(m_filter->Pause(), S_OK);
        ASSERT_EQ(m_source->Pause(), S_OK);
        ASSERT_EQ(m_sink->Run(0), S_OK);
        ASSERT_EQ(m_filter->Run(0), S_OK);
        ASSERT_EQ(m_source->Run(0), S_OK);
    }
    // Waits for the end of the stream: it must follow every picture the
    // filter delivered. The pictures.
    std::vector<TvStreamEvent> SamplesThenEnd()
    {
        EXPECT_TRUE(m_sink->WaitForEndOfStream());
        std::vector<TvStreamEvent> samples;
        bool ended = false;
        for (const TvStreamEvent& event : m_sink->Events()) {
            if (event.kind == TvStreamEvent::Kind::EndOfStream) {
                ended = true;
            } else if (event.kind == TvStreamEvent::Kind::Sample) {
                EXPECT_FALSE(ended) << "a picture after the end of the stream";
                samples.push_back(event);
            }
        }
        return samples;
    }
    void StopAll()
    {
        if (m_sink)
            m_sink->Stop();
        if (m_filter)
            m_filter->Stop();
        if (m_source)
            m_source->Stop();
    }

    ProcesserTestEnv m_env;
    IBaseFilter* m_filter = nullptr;
    IProcesserCut* m_cut = nullptr;
    IProcesserOverlay* m_overlay = nullptr;
    CTestGraph* m_graph = nullptr;
    CTestPushSource* m_source = nullptr;
    CTestSink* m_sink = nullptr;
};

TEST_F(ProcesserGraph, OverlaysOfEveryKindLandInTheirPlaceInTheDeliveredPicture)
{
    Connect();
    LOGFONTA font{};
    font.lfHeight = -16;
    std::strcpy(font.lfFaceName, "Arial");
    LONG id = 0;
    // Each item gets a colour of its own (its luma in brackets) and an area of
    // its own; the rest of the picture stays as it came in.
    ASSERT_EQ(m_overlay->AddSysTimeOverlay(0, 255, 255, font, 16, 230, &id), S_OK); // cyan (178)
    ASSERT_EQ(m_overlay->AddTextOverlay("TARVO", 5, 255, 255, 255, font, 16, 130, &id),
              S_OK);                                                               // white (255)
    ASSERT_EQ(m_overlay->AddEllipseOverlay(255, 0, 0, 10, 10, 78, 80, &id), S_OK); // red (76)
    ASSERT_EQ(m_overlay->AddRectangleOverlay(0, 0, 255, 100, 80, 160, 10, &id), S_OK); // blue (29)
    const POINT triangle[3] = {{190, 10}, {250, 10}, {220, 80}};
    ASSERT_EQ(m_overlay->AddPolygonOverlay(255, 0, 255, triangle, 3, &id), S_OK); // magenta (105)
    const std::vector<BYTE> green(16 * 16 * 3, 0);
    std::vector<BYTE> pixels(16 * 16 * 3);
    for (size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = 0;       // B
        pixels[i + 1] = 255; // G
        pixels[i + 2] = 0;   // R
    }
    TempFile bmp(MakeBmp(16, 16, pixels));
    ASSERT_EQ(m_overlay->AddBitmapOverlay(TvHandleFromFd(bmp.Fd()), 290, 30, 0x00FFFFFF, &id),
              S_OK); // green (149)

    Captured captured;
    ASSERT_EQ(m_cut->SetFrameCallback(Capture, &captured), S_OK);
    Run({Picture(), Picture(), Picture()});
    const auto samples = SamplesThenEnd();

    struct Item {
        const char* what;
        BYTE luma;
        Area area;
        int atLeast; // pixels of the item's own colour
    };
    const Item items[] = {
        {"time", 178, {0, 192, kWidth, kHeight}, 20},
        {"text", 255, {0, 96, 176, 192}, 20},
        {"ellipse", 76, {0, 0, 88, 96}, 200},     // about 2 x pi x 35 x pen 2
        {"rectangle", 29, {88, 0, 176, 96}, 200}, // 2 x (60 + 70) x pen 2
        {"polygon", 105, {176, 0, 264, 96}, 150},
        {"bitmap", 149, {264, 0, kWidth, 96}, 256}, // every pixel of 16 x 16
    };
    const Area untouched{176, 96, kWidth, 192};

    std::lock_guard<std::mutex> hold(captured.lock);
    ASSERT_EQ(captured.pictures.size(), 3u);
    ASSERT_EQ(samples.size(), 3u);
    for (size_t n = 0; n < captured.pictures.size(); ++n) {
        const std::vector<BYTE>& picture = captured.pictures[n];
        ASSERT_EQ(picture.size(), size_t(kPictureBytes));
        EXPECT_EQ(samples[n].length, kPictureBytes);
        // The source fills picture n with the byte n.
        const BYTE background = BYTE(n);
        for (const Item& item : items) {
            int inside = 0, outside = 0;
            for (LONG y = 0; y < kHeight; ++y)
                for (LONG x = 0; x < kWidth; ++x)
                    if (Luma(picture, kWidth, kHeight, x, y) == item.luma)
                        ++(item.area.Holds(x, y) ? inside : outside);
            EXPECT_GE(inside, item.atLeast) << item.what << " in picture " << n;
            EXPECT_EQ(outside, 0) << item.what << " in picture " << n;
        }
        int changed = 0;
        for (LONG y = untouched.y0; y < untouched.y1; ++y)
            for (LONG x = untouched.x0; x < untouched.x1; ++x) {
                const size_t at = size_t(kHeight - 1 - y) * kWidth * 2 + size_t(x) * 2;
                changed += picture[at] != background || picture[at + 1] != background;
            }
        EXPECT_EQ(changed, 0) << "picture " << n;
        // Inside the bitmap every pixel is the bitmap's own.
        for (LONG y = 30; y < 46; ++y)
            for (LONG x = 290; x < 306; ++x)
                ASSERT_EQ(Luma(picture, kWidth, kHeight, x, y), 149) << x << ", " << y;
    }
}

TEST_F(ProcesserGraph, TheCutIsAgreedWithTheOutputAndFixedWhileItIsConnected)
{
    // Cut once the input size is known: x = 101 is made even, and the output
    // offers the cut size.
    ConnectInput(704, 576);
    ASSERT_EQ(m_cut->SetCutRect(101, 10, 200, 100), S_OK);
    ConnectOutput();
    AM_MEDIA_TYPE connected{};
    IPin* output = Pin(L"Output");
    ASSERT_EQ(output->ConnectionMediaType(&connected), S_OK);
    output->Release();
    ASSERT_EQ(connected.formattype, FORMAT_VideoInfo2);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(connected.pbFormat);
    EXPECT_EQ(vih->bmiHeader.biWidth, 200);
    EXPECT_EQ(vih->bmiHeader.biHeight, 100);
    FreeMediaType(connected);

    EXPECT_EQ(m_cut->SetCutRect(0, 0, 300, 300), E_FAIL);
    EXPECT_EQ(m_cut->SetCutMode(352, 288, 3), E_FAIL);
    LONG x = -1, y = -1, w = -1, h = -1;
    ASSERT_EQ(m_cut->GetCutRect(&x, &y, &w, &h), S_OK);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 10);
    EXPECT_EQ(w, 200);
    EXPECT_EQ(h, 100);

    Run({Picture(704 * 2 * 576)});
    const auto samples = SamplesThenEnd();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].length, 200 * 2 * 100);
    LONGLONG pictures = 0, bytes = 0;
    ASSERT_EQ(m_cut->GetProcessStatistics(&pictures, &bytes), S_OK);
    EXPECT_EQ(pictures, 1);
}

TEST_F(ProcesserGraph, PicturesOfTheWrongSizeAndAThrowingCallbackCostOnlyThemselves)
{
    Connect(kWidth, kHeight, kPictureBytes + 64);
    ASSERT_EQ(m_cut->SetFrameCallback(Throw, nullptr), S_OK);
    // A picture longer than the agreed size is dropped; a shorter one goes
    // out as it came (the whole picture is copied as it is); the callback's
    // exception never leaves the filter.
    Run({Picture(kPictureBytes + 64), Picture(kPictureBytes - 2), Picture()});
    const auto samples = SamplesThenEnd();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].length, kPictureBytes - 2);
    EXPECT_EQ(samples[0].bytes[0], 1); // the second picture's own bytes
    EXPECT_EQ(samples[1].length, kPictureBytes);
    EXPECT_EQ(samples[1].bytes[0], 2);
}

TEST_F(ProcesserGraph, CutModeSixOnA720pInputDeliversNothing)
{
    ASSERT_EQ(m_cut->SetCutMode(1600, 1200, 6), S_OK);
    Connect(1280, 720);
    Run({Picture(1280 * 2 * 720), Picture(1280 * 2 * 720)});
    EXPECT_TRUE(SamplesThenEnd().empty());
    LONGLONG pictures = 0, bytes = 0;
    ASSERT_EQ(m_cut->GetProcessStatistics(&pictures, &bytes), S_OK);
    EXPECT_EQ(pictures, 2); // received, and refused by the copy
}

TEST_F(ProcesserGraph, StopReturnsWhileTheDeliveryThreadIsHeldDownstream)
{
    Connect();
    m_sink->SetBlockInReceive(true);
    Run({Picture(), Picture(), Picture()});
    ASSERT_TRUE(m_sink->WaitUntilBlocked());
    // The graph stops downstream first: the sink lets the delivery go, and the
    // processor's Stop waits for it and drops what is still queued.
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_filter->Stop(), S_OK);
    ASSERT_EQ(m_source->Stop(), S_OK);
    LONGLONG pictures = -1, bytes = -1;
    ASSERT_EQ(m_cut->GetProcessStatistics(&pictures, &bytes), S_OK);
    EXPECT_EQ(pictures, 0);

    // It streams again from the start.
    m_sink->SetBlockInReceive(false);
    m_sink->ClearEvents();
    Run({Picture()});
    EXPECT_EQ(SamplesThenEnd().size(), 1u);
}

} // namespace
