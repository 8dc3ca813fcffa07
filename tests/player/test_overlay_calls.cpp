// What the player's overlay and capture operations pass to the frame
// processor. The player holds a spy in the frame processor's place: it writes
// down every IProcesserOverlay call and hands it on to a real frame processor
// created from its module (through the build's registry), so the processor's
// own answers (IDs, refusals, records) come back as they would in a graph.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <dshow.h>
#include <dvdmedia.h>
#include <qedit.h>
#include <windows.h>

#include "CGraphPlayer.h"
#include "IProcesserOverlay.h"
#include "TarvoGuids.h"

namespace {

// An open file for the bitmap item (the processor duplicates its handle).
int g_bitmapFd = -1;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string PointsText(const POINT* points, LONG count)
{
    std::string text;
    for (LONG i = 0; points && i < count; ++i)
        text += Format("%s(%d,%d)", i ? " " : "", points[i].x, points[i].y);
    return text;
}

// The frame processor's stand-in: an IBaseFilter that is never put into a
// graph, offering IProcesserOverlay (logged, then handed on) and, when asked
// to, ISampleGrabber with a fixed picture.
class CSpyProcessor : public IBaseFilter, public IProcesserOverlay, public ISampleGrabber {
public:
    CSpyProcessor(IProcesserOverlay* real, bool offerOverlay) : m_real(real), m_offer(offerOverlay)
    {
        m_real->AddRef();
    }
    virtual ~CSpyProcessor() { m_real->Release(); }

    std::vector<std::string> calls;
    bool offerGrabber = false;
    std::vector<BYTE> picture; // the grabbed YUY2 picture
    int width = 0, height = 0;
    GUID subtype = MEDIASUBTYPE_YUY2;

    // ---- IUnknown ----
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IBaseFilter)
            *ppv = static_cast<IBaseFilter*>(this);
        else if (riid == IID_IProcesserOverlay && m_offer)
            *ppv = static_cast<IProcesserOverlay*>(this);
        else if (riid == IID_ISampleGrabber && offerGrabber)
            *ppv = static_cast<ISampleGrabber*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    // ---- IBaseFilter: the player never calls these on its processor ----
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP Pause() override { return E_NOTIMPL; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return E_NOTIMPL; }
    STDMETHODIMP GetState(DWORD, FILTER_STATE*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSyncSource(IReferenceClock**) override { return E_NOTIMPL; }
    STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
    STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // ---- IProcesserOverlay ----
    STDMETHODIMP RemoveOverlay(LONG id) override
    {
        calls.push_back(Format("RemoveOverlay(%d)", id));
        return m_real->RemoveOverlay(id);
    }
    STDMETHODIMP RemoveAllOverlay() override
    {
        calls.push_back("RemoveAllOverlay()");
        return m_real->RemoveAllOverlay();
    }
    STDMETHODIMP AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                                LOGFONTA font, LONG x, LONG y, LONG* id) override
    {
        calls.push_back("AddTextOverlay");
        return m_real->AddTextOverlay(text, length, r, g, b, font, x, y, id);
    }
    STDMETHODIMP AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, LOGFONTA font, LONG x, LONG y,
                                   LONG* id) override
    {
        calls.push_back("AddSysTimeOverlay");
        return m_real->AddSysTimeOverlay(r, g, b, font, x, y, id);
    }
    STDMETHODIMP AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent, LONG* id) override
    {
        calls.push_back("AddBitmapOverlay");
        return m_real->AddBitmapOverlay(file, x, y, transparent, id);
    }
    STDMETHODIMP AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top, LONG right,
                                     LONG bottom, LONG* id) override
    {
        calls.push_back(Format("AddRectangleOverlay(%d,%d,%d, %d,%d,%d,%d, id=%d)", r, g, b, left,
                               top, right, bottom, *id));
        return m_real->AddRectangleOverlay(r, g, b, left, top, right, bottom, id);
    }
    STDMETHODIMP AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy, LONG radius,
                                  LONG* id) override
    {
        calls.push_back(
            Format("AddCircleOverlay(%d,%d,%d, %d,%d,%d, id=%d)", r, g, b, cx, cy, radius, *id));
        return m_real->AddCircleOverlay(r, g, b, cx, cy, radius, id);
    }
    STDMETHODIMP AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                   LONG* id) override
    {
        calls.push_back(Format("AddEllipseOverlay(%d,%d,%d, %d,%d,%d,%d, id=%d)", r, g, b, x0, y0,
                               x1, y1, *id));
        return m_real->AddEllipseOverlay(r, g, b, x0, y0, x1, y1, id);
    }
    STDMETHODIMP AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points, LONG count,
                                   LONG* id) override
    {
        calls.push_back(Format("AddPolygonOverlay(%d,%d,%d, [%s], %d, id=%d)", r, g, b,
                               PointsText(points, count).c_str(), count, *id));
        return m_real->AddPolygonOverlay(r, g, b, points, count, id);
    }
    STDMETHODIMP SetShowTime(LONG id, LONGLONG start, LONG duration, LONG reserved) override
    {
        calls.push_back(Format("SetShowTime(%d, 0x%llx, %d, %d)", id,
                               static_cast<unsigned long long>(start), duration, reserved));
        return m_real->SetShowTime(id, start, duration, reserved);
    }
    STDMETHODIMP SetTimeRange(LONG id, LONGLONG start, LONGLONG end) override
    {
        calls.push_back("SetTimeRange");
        return m_real->SetTimeRange(id, start, end);
    }
    STDMETHODIMP SetFlickerTime(LONG id, DWORD flicker) override
    {
        calls.push_back(Format("SetFlickerTime(%d, 0x%x)", id, flicker));
        return m_real->SetFlickerTime(id, flicker);
    }
    STDMETHODIMP NewOverlayID(LONG* id) override
    {
        HRESULT hr = m_real->NewOverlayID(id);
        calls.push_back(Format("NewOverlayID() = %d", *id));
        return hr;
    }
    STDMETHODIMP GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count) override
    {
        calls.push_back(Format("GetItemsByIndex(%d, size=%d)", id, size ? *size : -1));
        return m_real->GetItemsByIndex(id, buffer, size, count);
    }
    STDMETHODIMP GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start,
                          LONGLONG end) override
    {
        calls.push_back("GetItems");
        return m_real->GetItems(buffer, size, count, start, end);
    }
    STDMETHODIMP AddOverlaysFromFile(const char* path, LONG* count) override
    {
        calls.push_back(Format("AddOverlaysFromFile(%s)", path ? path : "null"));
        return m_real->AddOverlaysFromFile(path, count);
    }
    STDMETHODIMP AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count) override
    {
        calls.push_back(Format("AddOverlaysFromByte(%d bytes)", length));
        return m_real->AddOverlaysFromByte(data, length, count);
    }
    STDMETHODIMP AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                  BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                  LONG textLength, const char* text, LONG extraLength,
                                  const BYTE* extra) override
    {
        calls.push_back(Format("AddTextOverlayEx(id=%d, %lld, %lld, %u, %d,%d,%d, %d,%d, font=%s, "
                               "%d, \"%s\", %d, %s)",
                               *id, static_cast<long long>(start), static_cast<long long>(end),
                               flicker, r, g, b, x, y, font ? font->lfFaceName : "null", textLength,
                               text ? text : "null", extraLength, extra ? "data" : "null"));
        return m_real->AddTextOverlayEx(id, start, end, flicker, r, g, b, x, y, font, textLength,
                                        text, extraLength, extra);
    }
    STDMETHODIMP AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                     LONG extraLength, const BYTE* extra) override
    {
        calls.push_back(Format("AddSysTimeOverlayEx(id=%d, %lld, %lld, %u, %d,%d,%d, %d,%d, "
                               "font=%s, %d, %s)",
                               *id, static_cast<long long>(start), static_cast<long long>(end),
                               flicker, r, g, b, x, y, font ? font->lfFaceName : "null",
                               extraLength, extra ? "data" : "null"));
        return m_real->AddSysTimeOverlayEx(id, start, end, flicker, r, g, b, x, y, font,
                                           extraLength, extra);
    }
    STDMETHODIMP AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                     LONG extraLength, const BYTE* extra) override
    {
        calls.push_back("AddEllipseOverlayEx");
        return m_real->AddEllipseOverlayEx(id, start, end, flicker, r, g, b, x0, y0, x1, y1,
                                           extraLength, extra);
    }
    STDMETHODIMP AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG count, const POINT* points,
                                     LONG extraLength, const BYTE* extra) override
    {
        calls.push_back("AddPolygonOverlayEx");
        return m_real->AddPolygonOverlayEx(id, start, end, flicker, r, g, b, count, points,
                                           extraLength, extra);
    }
    STDMETHODIMP AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                    BYTE g, BYTE b, LONG x, LONG y, HANDLE file, LONG extraLength,
                                    const BYTE* extra) override
    {
        calls.push_back(Format("AddBitmapOverlayEx(id=%d, %lld, %lld, %u, %d,%d,%d, %d,%d, fd=%s, "
                               "%d, %s)",
                               *id, static_cast<long long>(start), static_cast<long long>(end),
                               flicker, r, g, b, x, y,
                               reinterpret_cast<intptr_t>(file) == g_bitmapFd ? "given" : "other",
                               extraLength, extra ? "data" : "null"));
        return m_real->AddBitmapOverlayEx(id, start, end, flicker, r, g, b, x, y, file, extraLength,
                                          extra);
    }

    // ---- ISampleGrabber: the frame grab of one fixed picture ----
    STDMETHODIMP SetOneShot(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* type) override
    {
        *type = AM_MEDIA_TYPE{};
        type->majortype = MEDIATYPE_Video;
        type->subtype = subtype;
        type->formattype = FORMAT_VideoInfo2;
        type->cbFormat = sizeof(VIDEOINFOHEADER2);
        type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER2)));
        VIDEOINFOHEADER2 vih = {};
        vih.bmiHeader.biSize = 40;
        vih.bmiHeader.biWidth = width;
        vih.bmiHeader.biHeight = height;
        std::memcpy(type->pbFormat, &vih, sizeof vih);
        return S_OK;
    }
    STDMETHODIMP SetBufferSamples(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentBuffer(LONG* size, LONG* buffer) override
    {
        if (buffer) {
            if (*size < static_cast<LONG>(picture.size()))
                return E_FAIL;
            std::memcpy(buffer, picture.data(), picture.size());
        }
        *size = static_cast<LONG>(picture.size());
        return S_OK;
    }
    STDMETHODIMP GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    STDMETHODIMP SetCallback(ISampleGrabberCB*, LONG) override { return E_NOTIMPL; }

private:
    IProcesserOverlay* m_real;
    bool m_offer;
    std::atomic<ULONG> m_refs{1};
};

// A graph player whose graph and frame processor the test hands in.
class CTestPlayer : public CGraphPlayer {
public:
    CTestPlayer() : CGraphPlayer(nullptr) {}
    // Takes over one reference of each (either may be null).
    void Give(IGraphBuilder* graph, IBaseFilter* processor)
    {
        m_pGraph = graph;
        m_pProcessor = processor;
    }
    void GiveSplitter(ITarvoSplt* splitter) { m_pTarvoSplt = splitter; }
};

class OverlayCalls : public ::testing::Test {
protected:
    static void SetUpTestSuite() { g_bitmapFd = open("/dev/null", O_RDONLY | O_CLOEXEC); }
    static void TearDownTestSuite() { close(g_bitmapFd); }

    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_TarvoProcesser, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IProcesserOverlay, reinterpret_cast<void**>(&m_real)),
                  S_OK);
        TpSetLastError(0);
    }
    void TearDown() override
    {
        m_player.reset();
        if (m_real)
            m_real->Release();
        CoUninitialize();
    }

    // The player with a graph and the spy as its frame processor.
    CSpyProcessor& Attach(bool offerOverlay = true)
    {
        IGraphBuilder* graph = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGraphBuilder, reinterpret_cast<void**>(&graph)),
                  S_OK);
        auto* spy = new CSpyProcessor(m_real, offerOverlay);
        m_player = std::make_unique<CTestPlayer>();
        m_player->Give(graph, spy);
        return *spy;
    }

    IProcesserOverlay* m_real = nullptr;
    std::unique_ptr<CTestPlayer> m_player;
};

LOGFONTA ArialFont()
{
    LOGFONTA font = {};
    font.lfHeight = -16;
    std::strcpy(font.lfFaceName, "Arial");
    return font;
}

const POINT kTopLeft{10, 20};
const POINT kBottomRight{110, 70};
const POINT kCentre{50, 60};
const POINT kTriangle[3] = {{1, 2}, {30, 4}, {15, 40}};
constexpr int kRed = 0x0000FF;
constexpr int kMixed = 0x123456; // blue 0x12, green 0x34, red 0x56
LOGFONTA g_font = ArialFont();

struct AddCase {
    const char* name;
    std::function<int(CGraphPlayer&, int start, int duration)> add;
    const char* call; // the add call the processor receives
};

const AddCase kAdds[] = {
    {"TextIsWhiteWhateverTheColour",
     [](CGraphPlayer& p, int s, int d) {
         return p.AddTextOverlay(7, 9, "Gate 3", kRed, &g_font, s, d);
     },
     "AddTextOverlayEx(id=1000, 0, 0, 0, 255,255,255, 7,9, font=Arial, 6, \"Gate 3\", 0, null)"},
    {"SysTimeIsWhiteWhateverTheColour",
     [](CGraphPlayer& p, int s, int d) { return p.AddSysTimeOverlay(3, 4, kRed, &g_font, s, d); },
     "AddSysTimeOverlayEx(id=1000, 0, 0, 0, 255,255,255, 3,4, font=Arial, 0, null)"},
    {"BitmapSplitsItsMaskColour",
     [](CGraphPlayer& p, int s, int d) {
         return p.AddBitmapOverlay(5, 6, g_bitmapFd, kMixed, s, d);
     },
     "AddBitmapOverlayEx(id=1000, 0, 0, 0, 86,52,18, 5,6, fd=given, 0, null)"},
    {"RectangleFromTwoCorners",
     [](CGraphPlayer& p, int s, int d) {
         return p.AddRectangleOverlay(&kTopLeft, &kBottomRight, kMixed, s, d);
     },
     "AddRectangleOverlay(86,52,18, 10,20,110,70, id=1000)"},
    {"CircleFromCentreAndRadius",
     [](CGraphPlayer& p, int s, int d) { return p.AddCircleOverlay(&kCentre, 25, kRed, s, d); },
     "AddCircleOverlay(255,0,0, 50,60,25, id=1000)"},
    {"EllipseFromTwoCorners",
     [](CGraphPlayer& p, int s, int d) {
         return p.AddEllipseOverlay(&kTopLeft, &kBottomRight, 0xFF0000, s, d);
     },
     "AddEllipseOverlay(0,0,255, 10,20,110,70, id=1000)"},
    {"PolygonTakesThePointsAsTheyAre",
     [](CGraphPlayer& p, int s, int d) { return p.AddPolygonOverlay(kTriangle, 3, kMixed, s, d); },
     "AddPolygonOverlay(86,52,18, [(1,2) (30,4) (15,40)], 3, id=1000)"},
};

class OverlayAdds : public OverlayCalls, public ::testing::WithParamInterface<AddCase> {};

TEST_P(OverlayAdds, FreshIndexThenTheItemThenItsShowTime)
{
    CSpyProcessor& spy = Attach();
    // Start -1 sign-extends to 64 bits.
    EXPECT_EQ(GetParam().add(*m_player, -1, 5), 1000);
    const std::vector<std::string> want = {"NewOverlayID() = 1000", GetParam().call,
                                           "SetShowTime(1000, 0xffffffffffffffff, 5, 0)"};
    EXPECT_EQ(spy.calls, want);
    EXPECT_EQ(TpGetLastError(), 0);
}

TEST_P(OverlayAdds, NoDurationNoShowTime)
{
    CSpyProcessor& spy = Attach();
    EXPECT_EQ(GetParam().add(*m_player, 1700000000, 0), 1000);
    EXPECT_EQ(GetParam().add(*m_player, 1700000000, -3), 1001);
    ASSERT_EQ(spy.calls.size(), 4u);
    EXPECT_EQ(spy.calls[0], "NewOverlayID() = 1000");
    EXPECT_EQ(spy.calls[2], "NewOverlayID() = 1001");
}

TEST_P(OverlayAdds, WithoutProcessorOrGraph)
{
    m_player = std::make_unique<CTestPlayer>();
    EXPECT_EQ(GetParam().add(*m_player, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), TP_ERR_INVALID_HANDLE);

    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
    m_player->Give(graph, nullptr); // rendered not yet: no frame processor
    EXPECT_EQ(GetParam().add(*m_player, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), TP_ERR_NO_PROCESSOR_OVERLAY);
}

TEST_P(OverlayAdds, ProcessorWithoutOverlayInterface)
{
    CSpyProcessor& spy = Attach(false);
    EXPECT_EQ(GetParam().add(*m_player, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), TP_ERR_OVERLAY_REFUSED);
    EXPECT_TRUE(spy.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(Player, OverlayAdds, ::testing::ValuesIn(kAdds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OverlayCalls, RefusedTextIsMinusOneWithOverlayRefused)
{
    CSpyProcessor& spy = Attach();
    EXPECT_EQ(m_player->AddTextOverlay(1, 1, "", 0, &g_font, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), TP_ERR_OVERLAY_REFUSED);
    TpSetLastError(0);
    EXPECT_EQ(m_player->AddTextOverlay(1, 1, nullptr, 0, &g_font, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), TP_ERR_OVERLAY_REFUSED);
    EXPECT_EQ(spy.calls.back(),
              "AddTextOverlayEx(id=1001, 0, 0, 0, 255,255,255, 1,1, font=Arial, 0, \"null\", 0, "
              "null)");
}

TEST_F(OverlayCalls, MissingCornersAreRefusedBeforeTheProcessor)
{
    CSpyProcessor& spy = Attach();
    const std::function<int()> calls[] = {
        [&] { return m_player->AddRectangleOverlay(nullptr, &kBottomRight, kRed, 0, 0); },
        [&] { return m_player->AddRectangleOverlay(&kTopLeft, nullptr, kRed, 0, 0); },
        [&] { return m_player->AddEllipseOverlay(nullptr, &kBottomRight, kRed, 0, 0); },
        [&] { return m_player->AddEllipseOverlay(&kTopLeft, nullptr, kRed, 0, 0); },
        [&] { return m_player->AddCircleOverlay(nullptr, 5, kRed, 0, 0); },
    };
    for (const auto& call : calls) {
        TpSetLastError(0);
        EXPECT_EQ(call(), -1);
        EXPECT_EQ(TpGetLastError(), E_POINTER);
    }
    EXPECT_TRUE(spy.calls.empty());
}

TEST_F(OverlayCalls, RemoveAnswersZeroWhateverTheProcessorSays)
{
    CSpyProcessor& spy = Attach();
    const int index = m_player->AddRectangleOverlay(&kTopLeft, &kBottomRight, kRed, 0, 0);
    EXPECT_EQ(m_player->RemoveOverlay(4242), 0); // an index no item has
    EXPECT_EQ(m_player->RemoveOverlay(index), 0);
    EXPECT_EQ(m_player->RemoveAllOverlay(), 0);
    EXPECT_EQ(spy.calls.back(), "RemoveAllOverlay()");
    EXPECT_EQ(spy.calls[spy.calls.size() - 3], "RemoveOverlay(4242)");

    // The errors come back as results here, not through the last error.
    m_player = std::make_unique<CTestPlayer>();
    EXPECT_EQ(m_player->RemoveOverlay(1000), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_player->RemoveAllOverlay(), TP_ERR_INVALID_HANDLE);
    Attach(false);
    EXPECT_EQ(m_player->RemoveOverlay(1000), TP_ERR_OVERLAY_REFUSED);
    EXPECT_EQ(m_player->RemoveAllOverlay(), TP_ERR_OVERLAY_REFUSED);
    EXPECT_EQ(TpGetLastError(), 0);
}

TEST_F(OverlayCalls, FlickerItemsAndLoadingPassThrough)
{
    CSpyProcessor& spy = Attach();
    const int index = m_player->AddTextOverlay(12, 34, "Gate 3", kRed, &g_font, 0, 0);
    ASSERT_EQ(index, 1000);
    EXPECT_EQ(m_player->SetFlickerTime(index, (500 << 16) | 250), 0);
    EXPECT_EQ(spy.calls.back(), "SetFlickerTime(1000, 0x1f400fa)");

    std::vector<BYTE> records(1024);
    int size = static_cast<int>(records.size());
    int count = -1;
    EXPECT_EQ(m_player->GetItemsByIndex(index, records.data(), &size, &count), 0);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(size, 109 + 7); // one text record, "Gate 3" and its NUL
    EXPECT_EQ(records[0], 0xFB);
    EXPECT_EQ(records[30], 255); // white, whatever the colour asked for
    records.resize(static_cast<size_t>(size));

    // A processor refusal of the buffer still answers 0; the caller reads its
    // pointers.
    int small = 10;
    count = -1;
    EXPECT_EQ(m_player->GetItemsByIndex(index, records.data(), &small, &count), 0);
    EXPECT_EQ(small, 0);
    EXPECT_EQ(count, -1);

    count = -1;
    EXPECT_EQ(m_player->AddOverlaysFromByte(records.data(), size, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(spy.calls.back(), "AddOverlaysFromByte(116 bytes)");

    char path[] = "/tmp/tvoverlays_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, records.data(), records.size()), static_cast<ssize_t>(records.size()));
    close(fd);
    count = -1;
    EXPECT_EQ(m_player->AddOverlaysFromFile(path, &count), 0);
    EXPECT_EQ(count, 1);
    // A file that does not open: the processor fails, the player still says 0.
    std::remove(path);
    EXPECT_EQ(m_player->AddOverlaysFromFile(path, &count), 0);

    // Three items of ID 1000 now.
    size = 1024;
    records.resize(1024);
    EXPECT_EQ(m_player->GetItemsByIndex(index, records.data(), &size, &count), 0);
    EXPECT_EQ(count, 3);
}

TEST_F(OverlayCalls, PassThroughsWithoutProcessorOrInterface)
{
    struct Case {
        const char* name;
        std::function<int(CGraphPlayer&)> call;
    };
    int count = 0, size = 0;
    BYTE data[8] = {};
    const Case cases[] = {
        {"flicker", [](CGraphPlayer& p) { return p.SetFlickerTime(1000, 1); }},
        {"items", [&](CGraphPlayer& p) { return p.GetItemsByIndex(1000, data, &size, &count); }},
        {"file", [&](CGraphPlayer& p) { return p.AddOverlaysFromFile("/nonexistent", &count); }},
        {"bytes", [&](CGraphPlayer& p) { return p.AddOverlaysFromByte(data, 8, &count); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_player = std::make_unique<CTestPlayer>();
        EXPECT_EQ(c.call(*m_player), -1);
        EXPECT_EQ(TpGetLastError(), TP_ERR_INVALID_HANDLE);
        Attach(false);
        EXPECT_EQ(c.call(*m_player), -1);
        EXPECT_EQ(TpGetLastError(), TP_ERR_OVERLAY_REFUSED);
    }
}

// ---- Capture through the processor's frame grab ----

std::vector<BYTE> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

class GrabToFile : public OverlayCalls {
protected:
    void SetUp() override
    {
        OverlayCalls::SetUp();
        char dir[] = "/tmp/tvgrab_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        m_dir = dir;
        m_path = m_dir + "/shot.bmp";
    }
    void TearDown() override
    {
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
        OverlayCalls::TearDown();
    }
    // The spy as a frame grab of a 2 x 1 YUY2 picture: two black pixels.
    void AttachBlackPair()
    {
        CSpyProcessor& spy = Attach();
        spy.offerGrabber = true;
        spy.width = 2;
        spy.height = 1;
        spy.picture = {16, 128, 16, 128};
    }
    std::string m_dir, m_path;
};

TEST_F(GrabToFile, TwoBlackPixels)
{
    AttachBlackPair();
    ASSERT_EQ(m_player->GrabPicture(m_path.c_str()), 0);
    const std::vector<BYTE> bmp = ReadFile(m_path);
    ASSERT_EQ(bmp.size(), 60u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(bmp[2], 60);
    EXPECT_EQ(std::vector<BYTE>(bmp.begin() + 54, bmp.end()), std::vector<BYTE>(6, 0));
}

TEST_F(GrabToFile, WhatIsNotAYuy2PictureWritesNothing)
{
    struct Case {
        const char* name;
        GUID subtype;
        int width, height;
        size_t bytes;
    };
    const Case cases[] = {
        {"Rgb24", MEDIASUBTYPE_RGB24, 2, 1, 4},
        {"OddWidth", MEDIASUBTYPE_YUY2, 3, 1, 8},
        {"NoHeight", MEDIASUBTYPE_YUY2, 2, 0, 4},
        {"PictureShorterThanItsType", MEDIASUBTYPE_YUY2, 4, 4, 16},
        {"NoPicture", MEDIASUBTYPE_YUY2, 2, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSpyProcessor& spy = Attach();
        spy.offerGrabber = true;
        spy.subtype = c.subtype;
        spy.width = c.width;
        spy.height = c.height;
        spy.picture.assign(c.bytes, 16);
        EXPECT_EQ(m_player->GrabPicture(m_path.c_str()), E_INVALIDARG);
        EXPECT_NE(access(m_path.c_str(), F_OK), 0);
    }
}

TEST_F(GrabToFile, WithoutGrabberOrProcessorOrGraph)
{
    Attach(); // the spy offers no frame grab: nothing to write, no failure
    EXPECT_EQ(m_player->GrabPicture(m_path.c_str()), 0);
    EXPECT_NE(access(m_path.c_str(), F_OK), 0);

    m_player = std::make_unique<CTestPlayer>();
    EXPECT_EQ(m_player->GrabPicture(m_path.c_str()), TP_ERR_INVALID_HANDLE);
    IGraphBuilder* graph = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void**>(&graph)),
              S_OK);
    m_player->Give(graph, nullptr);
    EXPECT_EQ(m_player->GrabPicture(m_path.c_str()), TP_ERR_NO_VIDEO_WINDOW);
}

TEST_F(GrabToFile, UnwritablePathIsInvalidArgument)
{
    AttachBlackPair();
    EXPECT_EQ(m_player->GrabPicture((m_dir + "/missing/shot.bmp").c_str()), E_INVALIDARG);
}

// ---- The two operations only the player control reaches ----

TEST_F(OverlayCalls, ReceiveRatesComeFromTheSplitter)
{
    Attach();
    int video = -1, audio = -1;
    EXPECT_EQ(m_player->QueryDataDelivered(10, &video, &audio), TP_ERR_INVALID_HANDLE);
    ITarvoSplt* splitter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TarvoSplitterF, nullptr, CLSCTX_INPROC_SERVER, IID_ITarvoSplt,
                               reinterpret_cast<void**>(&splitter)),
              S_OK);
    m_player->GiveSplitter(splitter);
    // Nothing flows through an unconnected splitter.
    EXPECT_EQ(m_player->QueryDataDelivered(10, &video, &audio), S_OK);
    EXPECT_EQ(video, 0);
    EXPECT_EQ(audio, 0);
    EXPECT_EQ(m_player->QueryDataDelivered(0, &video, &audio), E_INVALIDARG);
    EXPECT_EQ(m_player->SetDecCB(nullptr, nullptr), E_FAIL);
}

} // namespace
