// The splitter's chain building in the real graph manager: the network source
// upstream, the real video and audio renderers, and stand-in filters for the
// chain's decoders, frame processor, colour-space converter and deinterlacer,
// made creatable under their CLSIDs in this process (they take precedence
// over the registry). Each stand-in's pins, creation result and IProcesserCut
// are set per test, so every chain and every failing step can be built.
#include "CStreamBuilder.h"
#include "CTarvoSplitterF.h"
#include "CodecKind.h"
#include "INWSource.h"
#include "IProcesserCut.h"
#include "ITarvoSplt.h"
#include "TarvoGuids.h"
#include "TarvoMediaTypes.h"
#include "NWTestUtil.h"
#include "TestKit.h"
#include "tvdevsim/DeviceSimulator.h"

#include "com/factory.h"
#include "win32/session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The chain's roles, as the stand-ins play them.
enum Role { kH264, kMpeg2, kMpeg4, kJp2k, kHd, kMjpeg, kProcessor, kColorSpace, kDeint, kRoles };

const GUID kRoleClsid[kRoles] = {
    CLSID_TarvoH264Decoder,
    {0xbc4eb321, 0x771f, 0x4e9f, {0xaf, 0x67, 0x37, 0xc6, 0x31, 0xec, 0xa1, 0x06}},
    {0xfc86ad6c, 0x894a, 0x44e9, {0xa2, 0x83, 0x4b, 0x5a, 0x9d, 0xd6, 0xca, 0x65}},
    {0x252ff58d, 0x7f79, 0x45fb, {0xb7, 0x43, 0x49, 0x93, 0x6a, 0x88, 0xab, 0xb2}},
    {0x09571a4b, 0xf1fe, 0x4c60, {0x97, 0x60, 0xde, 0x6d, 0x31, 0x0c, 0x7c, 0x31}},
    CLSID_TarvoMjpegDecoder,
    CLSID_TarvoProcesser,
    {0x272d77a0, 0xa852, 0x4851, {0xad, 0xa4, 0x90, 0x91, 0xfe, 0xad, 0x4c, 0x86}},
    {0x335d166f, 0xbdcf, 0x4b7e, {0xb3, 0x60, 0x6a, 0x59, 0x61, 0x7c, 0x80, 0x36}},
};

constexpr DWORD kMjpg = 0x47504A4D, kMjpf = 0x46504A4D;

struct RoleSetup {
    int inputs = 1;
    int outputs = 1;
    HRESULT create = S_OK; // what creating one gives when it fails
    bool cut = true;       // the processor offers IProcesserCut
    DWORD mjpegFourcc = kMjpg;
    const GUID* inputSubtype = &MEDIASUBTYPE_TarvoH264;
    bool rgb32First = false; // outputs offer 32-bit RGB before YUY2, as the converter does
    int created = 0;
};
RoleSetup g_roles[kRoles];
struct CutCall {
    LONG width = -1, height = -1, mode = -1;
} g_cut;

// Samples each role's stand-in received, and the length of the last one.
std::atomic<int> g_received[kRoles];
std::atomic<LONG> g_lastLength[kRoles];

// Accepts any video type; offers the role's input type, so that the
// splitter's pin connects without a known stream.
class CFakeIn : public CBaseInputPin {
public:
    CFakeIn(CBaseFilter* f, CCritSec* lock, HRESULT* phr, Role role)
        : CBaseInputPin("fake in", f, lock, phr, L"In"), m_index(role), m_role(g_roles[role])
    {
    }
    HRESULT CheckMediaType(const CMediaType* mt) override
    {
        return *mt->Type() == MEDIATYPE_Video ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override
    {
        if (position != 0)
            return VFW_S_NO_MORE_ITEMS;
        const bool mjpeg = *m_role.inputSubtype == MEDIASUBTYPE_TarvoMjpeg;
        *mt = TvMakeVideoType(*m_role.inputSubtype, 64, 48, 24, mjpeg ? m_role.mjpegFourcc : 0);
        return S_OK;
    }
    STDMETHODIMP Receive(IMediaSample* sample) override
    {
        g_lastLength[m_index] = sample->GetActualDataLength();
        ++g_received[m_index];
        return S_OK;
    }

private:
    const Role m_index;
    const RoleSetup& m_role;
};

// Offers and takes YUY2, which the video renderer accepts (and, for the
// converter's role, 32-bit RGB first).
class CFakeOut : public CBaseOutputPin {
public:
    CFakeOut(CBaseFilter* f, CCritSec* lock, HRESULT* phr, bool rgb32First)
        : CBaseOutputPin("fake out", f, lock, phr, L"Out"), m_rgb32First(rgb32First)
    {
    }
    HRESULT CheckMediaType(const CMediaType* mt) override
    {
        return *mt->Subtype() == MEDIASUBTYPE_YUY2 ||
                       (m_rgb32First && *mt->Subtype() == MEDIASUBTYPE_RGB32)
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetMediaType(int position, CMediaType* mt) override
    {
        if (m_rgb32First && position == 0) {
            *mt = TvMakeVideoType(MEDIASUBTYPE_RGB32, 64, -48, 32, BI_RGB);
            return S_OK;
        }
        if (position != (m_rgb32First ? 1 : 0))
            return VFW_S_NO_MORE_ITEMS;
        *mt = TvMakeYuy2Type(64, 48);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = 1;
        request->cbBuffer = 64 * 48 * 4;
        ALLOCATOR_PROPERTIES actual{};
        return alloc->SetProperties(request, &actual);
    }

private:
    const bool m_rgb32First;
};

class CFakeChainFilter : public CBaseFilter, public IProcesserCut {
public:
    CFakeChainFilter(Role role, HRESULT* phr)
        : CBaseFilter("fake chain filter", nullptr, &m_lock, kRoleClsid[role]), m_role(role)
    {
        const RoleSetup& setup = g_roles[role];
        for (int i = 0; i < setup.inputs; ++i)
            m_pins.push_back(std::make_unique<CFakeIn>(this, &m_lock, phr, role));
        for (int i = 0; i < setup.outputs; ++i)
            m_pins.push_back(std::make_unique<CFakeOut>(this, &m_lock, phr, setup.rgb32First));
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IProcesserCut && m_role == kProcessor && g_roles[kProcessor].cut)
            return GetInterface(static_cast<IProcesserCut*>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }
    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int n) override
    {
        return n >= 0 && n < GetPinCount() ? m_pins[static_cast<size_t>(n)].get() : nullptr;
    }

    HRESULT SetCutRect(LONG, LONG, LONG, LONG) override { return S_OK; }
    HRESULT GetCutRect(LONG*, LONG*, LONG*, LONG*) override { return S_OK; }
    HRESULT GetProcessStatistics(LONGLONG*, LONGLONG*) override { return S_OK; }
    HRESULT SetCutMode(LONG width, LONG height, LONG mode) override
    {
        g_cut = {width, height, mode};
        return S_OK;
    }
    HRESULT SetFrameCallback(ProcesserFrameCallback, void*) override { return S_OK; }

private:
    CCritSec m_lock;
    const Role m_role;
    std::vector<std::unique_ptr<CBasePin>> m_pins;
};

template <Role R> CUnknown* NewFake(LPUNKNOWN, HRESULT* phr)
{
    RoleSetup& setup = g_roles[R];
    if (FAILED(setup.create)) {
        *phr = setup.create;
        return nullptr;
    }
    ++setup.created;
    return new CFakeChainFilter(R, phr);
}

const CFactoryTemplate kFakeTemplates[kRoles] = {
    {L"h264", &kRoleClsid[kH264], NewFake<kH264>, nullptr, nullptr},
    {L"mpeg2", &kRoleClsid[kMpeg2], NewFake<kMpeg2>, nullptr, nullptr},
    {L"mpeg4", &kRoleClsid[kMpeg4], NewFake<kMpeg4>, nullptr, nullptr},
    {L"jp2k", &kRoleClsid[kJp2k], NewFake<kJp2k>, nullptr, nullptr},
    {L"hd", &kRoleClsid[kHd], NewFake<kHd>, nullptr, nullptr},
    {L"mjpeg", &kRoleClsid[kMjpeg], NewFake<kMjpeg>, nullptr, nullptr},
    {L"processor", &kRoleClsid[kProcessor], NewFake<kProcessor>, nullptr, nullptr},
    {L"color space", &kRoleClsid[kColorSpace], NewFake<kColorSpace>, nullptr, nullptr},
    {L"deinterlacer", &kRoleClsid[kDeint], NewFake<kDeint>, nullptr, nullptr},
};

// A renderer class that cannot be created, for the renderer's failure.
CUnknown* NoRenderer(LPUNKNOWN, HRESULT* phr)
{
    *phr = E_ACCESSDENIED;
    return nullptr;
}
const CFactoryTemplate kNoRendererTemplate{L"no renderer", &CLSID_VideoRendererDefault, NoRenderer,
                                           nullptr, nullptr};

std::wstring FilterName(IBaseFilter* filter)
{
    FILTER_INFO info{};
    if (!filter || FAILED(filter->QueryFilterInfo(&info)))
        return L"";
    if (info.pGraph)
        info.pGraph->Release();
    return info.achName;
}

// The filter behind an output pin, or null.
IBaseFilter* Downstream(IPin* out)
{
    IPin* peer = nullptr;
    if (!out || FAILED(out->ConnectedTo(&peer)) || !peer)
        return nullptr;
    PIN_INFO info{};
    peer->QueryPinInfo(&info);
    peer->Release();
    return info.pFilter;
}

// The names along the chain from pin, each filter's first output onwards.
std::vector<std::wstring> ChainNames(IPin* pin)
{
    std::vector<std::wstring> names;
    pin->AddRef();
    while (IBaseFilter* next = Downstream(pin)) {
        pin->Release();
        names.push_back(FilterName(next));
        pin = FindPin(next, PINDIR_OUTPUT);
        next->Release();
        if (!pin)
            return names;
    }
    pin->Release();
    return names;
}

class StreamBuilderTest : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        for (RoleSetup& role : g_roles)
            role = RoleSetup{};
        g_roles[kJp2k].outputs = 2;
        g_roles[kProcessor].inputs = 2;
        g_roles[kMjpeg].inputSubtype = &MEDIASUBTYPE_TarvoMjpeg;
        g_roles[kColorSpace].rgb32First = true;
        g_cut = {};
        for (auto& n : g_received)
            n = 0;
        for (int i = 0; i < kRoles; ++i)
            ASSERT_EQ(Register(&kFakeTemplates[i]), S_OK);
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_source = CreateInstance<IBaseFilter>(CLSID_TarvoNWSource, IID_IBaseFilter);
        HRESULT hr = S_OK;
        m_splitter =
            static_cast<CTarvoSplitterF*>(CreateComInstance<CTarvoSplitterF>(nullptr, &hr));
        ASSERT_TRUE(m_source && m_splitter);
        m_splitter->NonDelegatingAddRef();
        ASSERT_EQ(m_graph.Add(m_source, L"Tarvo NWSource"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        m_video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
        m_audio = FindPin(m_splitter, PINDIR_OUTPUT, L"Audio Out");
        m_builder = Query<IStreamBuilder>(m_video, IID_IStreamBuilder);
        ASSERT_TRUE(m_video && m_audio && m_builder);
    }

    void TearDown() override
    {
        if (m_builder)
            m_builder->Release();
        if (m_video)
            m_video->Release();
        if (m_audio)
            m_audio->Release();
        if (m_graph.Control())
            m_graph.Control()->Stop();
        if (m_splitter)
            static_cast<ITarvoSplt*>(m_splitter)->RemoveDownstream();
        m_graph.Close();
        if (m_source) {
            EXPECT_EQ(m_source->Release(), 0u);
        }
        if (m_splitter) {
            EXPECT_EQ(m_splitter->NonDelegatingRelease(), 0u);
        }
        for (DWORD cookie : m_cookies)
            CoRevokeClassObject(cookie);
        TvComTest::TearDown();
    }

    HRESULT Register(const CFactoryTemplate* templ)
    {
        auto* factory = new CClassFactory(templ);
        factory->AddRef();
        DWORD cookie = 0;
        const HRESULT hr = CoRegisterClassObject(*templ->m_ClsID, factory, CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie);
        factory->Release();
        if (SUCCEEDED(hr))
            m_cookies.push_back(cookie);
        return hr;
    }

    ITarvoSplt* Splt() { return static_cast<ITarvoSplt*>(m_splitter); }

    // Source connected to the splitter, stream kind set.
    void ConnectInput(int kind)
    {
        ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
        ASSERT_EQ(Splt()->SetStreamType(kind), S_OK);
    }

    // The EC_ERRORABORT events waiting, by their first parameter.
    std::vector<LONG_PTR> Aborts()
    {
        std::vector<LONG_PTR> codes;
        LONG_PTR p1 = 0;
        for (LONG code; (code = m_graph.NextEvent(0, &p1)) != 0;)
            if (code == EC_ERRORABORT)
                codes.push_back(p1);
        return codes;
    }

    bool InGraph(const wchar_t* name)
    {
        IBaseFilter* found = nullptr;
        if (FAILED(m_graph.Builder()->FindFilterByName(name, &found)) || !found)
            return false;
        found->Release();
        return true;
    }

    TvFilterGraph m_graph;
    IBaseFilter* m_source = nullptr;
    CTarvoSplitterF* m_splitter = nullptr;
    IPin* m_video = nullptr;
    IPin* m_audio = nullptr;
    IStreamBuilder* m_builder = nullptr;
    std::vector<DWORD> m_cookies;
};

// Every kind's chain, filter by filter from "Video Out" to "Render".
TEST_F(StreamBuilderTest, EachKindBuildsItsChain)
{
    const std::wstring h264 = L"Tarvo H264 Decoder", proc = L"Tarvo Processer Filter",
                       cs = L"Tarvo Color Space", render = L"Render";
    struct Case {
        int kind;
        DWORD mjpegFourcc;
        std::vector<std::wstring> chain;
    } cases[] = {
        {CodecDeviceH264, kMjpg, {h264, proc, cs, render}},
        {CodecDeviceH264Clocked, kMjpg, {h264, proc, cs, render}},
        {CodecFrameQueue, kMjpg, {h264, proc, cs, render}},
        {CodecMpeg2, kMjpg, {L"Tarvo Mpeg2 Decoder", proc, cs, render}},
        {CodecMpeg4, kMjpg, {L"Tarvo Mpeg4 Decoder", proc, cs, render}},
        {CodecJP2K, kMjpg, {L"Tarvo Jp2k Decoder", proc, cs, render}},
        {CodecHDH264, kMjpg, {L"CoraAVC H264 Decoder Filter", proc, cs, render}},
        {CodecMjpeg, kMjpg, {L"Tarvo M-Jpeg Decoder", cs, proc, L"Tarvo Color Space2", render}},
        {CodecMjpeg,
         kMjpf,
         {L"Tarvo M-Jpeg Decoder", L"DeInterLace Filter", cs, proc, L"Tarvo Color Space2", render}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << c.kind << " fourcc " << std::hex << c.mjpegFourcc);
        TearDown();
        SetUp();
        g_roles[kMjpeg].mjpegFourcc = c.mjpegFourcc;
        ConnectInput(c.kind);
        EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
        EXPECT_EQ(ChainNames(m_video), c.chain);
        EXPECT_TRUE(Aborts().empty());
        // The converter's YUY2 goes to the renderer, though it offers 32-bit
        // RGB first: the renderer reduces YUY2 before converting it.
        IBaseFilter* renderer = nullptr;
        ASSERT_EQ(m_graph.Builder()->FindFilterByName(L"Render", &renderer), S_OK);
        IPin* rendererIn = FindPin(renderer, PINDIR_INPUT);
        AM_MEDIA_TYPE agreed{};
        ASSERT_EQ(rendererIn->ConnectionMediaType(&agreed), S_OK);
        EXPECT_EQ(agreed.subtype, MEDIASUBTYPE_YUY2);
        FreeMediaType(agreed);
        rendererIn->Release();
        renderer->Release();
        if (c.kind == CodecJP2K) {
            // Both decoder outputs reach the processor, output n to input n.
            IBaseFilter* jp2k = Downstream(m_video);
            std::vector<std::wstring> behind;
            IEnumPins* pins = nullptr;
            ASSERT_EQ(jp2k->EnumPins(&pins), S_OK);
            for (IPin* pin = nullptr; pins->Next(1, &pin, nullptr) == S_OK; pin->Release()) {
                PIN_DIRECTION dir;
                pin->QueryDirection(&dir);
                if (dir == PINDIR_OUTPUT) {
                    IBaseFilter* next = Downstream(pin);
                    behind.push_back(FilterName(next));
                    if (next)
                        next->Release();
                }
            }
            pins->Release();
            jp2k->Release();
            EXPECT_EQ(behind, (std::vector<std::wstring>{proc, proc}));
        }
        if (c.kind == CodecHDH264 || c.kind == CodecMjpeg) {
            const SplitterStreamState s = m_splitter->GetStreamState();
            EXPECT_EQ(g_cut.width, s.format.width);
            EXPECT_EQ(g_cut.height, s.format.height);
            EXPECT_EQ(g_cut.mode, s.format.pictureMode);
        } else {
            EXPECT_EQ(g_cut.mode, -1); // no SetCutMode
        }
    }
}

// Each failing step ends the chain with its code, which the graph hears of.
TEST_F(StreamBuilderTest, EachFailingStepHasItsCode)
{
    struct Case {
        const char* what;
        int kind;
        void (*setup)();
        HRESULT expected;
    } cases[] = {
        {"H.264 decoder", CodecDeviceH264, [] { g_roles[kH264].create = E_OUTOFMEMORY; }, 10105},
        {"MPEG-2 decoder", CodecMpeg2, [] { g_roles[kMpeg2].create = E_FAIL; }, 10106},
        {"MPEG-4 decoder", CodecMpeg4, [] { g_roles[kMpeg4].create = E_FAIL; }, 10107},
        {"JPEG 2000 decoder", CodecJP2K, [] { g_roles[kJp2k].create = E_FAIL; }, 10108},
        {"HD decoder", CodecHDH264, [] { g_roles[kHd].create = E_FAIL; }, 10109},
        {"M-JPEG type", CodecMjpeg, [] { g_roles[kMjpeg].inputSubtype = &MEDIASUBTYPE_TarvoH264; },
         10110},
        {"deinterlacer", CodecMjpeg,
         [] {
             g_roles[kMjpeg].mjpegFourcc = kMjpf;
             g_roles[kDeint].create = E_FAIL;
         },
         10110},
        {"colour space", CodecDeviceH264, [] { g_roles[kColorSpace].create = E_FAIL; }, 10112},
        {"M-JPEG colour space", CodecMjpeg, [] { g_roles[kColorSpace].create = E_FAIL; }, 10112},
        {"M-JPEG decoder", CodecMjpeg, [] { g_roles[kMjpeg].create = E_FAIL; }, 10121},
        {"processor", CodecMpeg2, [] { g_roles[kProcessor].create = E_FAIL; }, 10122},
        {"no IProcesserCut", CodecHDH264, [] { g_roles[kProcessor].cut = false; }, 10223},
        {"no IProcesserCut, M-JPEG", CodecMjpeg, [] { g_roles[kProcessor].cut = false; }, 10223},
        {"decoder without input", CodecDeviceH264, [] { g_roles[kH264].inputs = 0; }, 10301},
        {"converter without output", CodecMpeg4, [] { g_roles[kColorSpace].outputs = 0; }, 10307},
        {"M-JPEG to deinterlacer", CodecMjpeg,
         [] {
             g_roles[kMjpeg].mjpegFourcc = kMjpf;
             g_roles[kDeint].inputs = 0;
         },
         10310},
        {"M-JPEG to converter", CodecMjpeg, [] { g_roles[kMjpeg].outputs = 0; }, 10311},
        {"decoder without output", CodecDeviceH264, [] { g_roles[kH264].outputs = 0; }, 10314},
        {"JPEG 2000 with one output", CodecJP2K, [] { g_roles[kJp2k].outputs = 1; }, 10314},
        {"processor without output", CodecJP2K, [] { g_roles[kProcessor].outputs = 0; }, 10315},
        {"deinterlacer without output", CodecMjpeg,
         [] {
             g_roles[kMjpeg].mjpegFourcc = kMjpf;
             g_roles[kDeint].outputs = 0;
         },
         10315},
        {"kind without a chain", CodecNone, [] {}, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        SetUp();
        c.setup();
        ConnectInput(c.kind);
        EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), c.expected);
        EXPECT_EQ(Aborts(), std::vector<LONG_PTR>{c.expected});
    }
}

TEST_F(StreamBuilderTest, RendererThatCannotBeCreatedGivesItsOwnResult)
{
    ASSERT_EQ(Register(&kNoRendererTemplate), S_OK);
    ConnectInput(CodecDeviceH264);
    EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), E_ACCESSDENIED);
    EXPECT_EQ(Aborts(), std::vector<LONG_PTR>{E_ACCESSDENIED});
    // What was added before stays.
    EXPECT_TRUE(InGraph(L"Tarvo Color Space"));
}

TEST_F(StreamBuilderTest, RenderChecksItsArgumentsTheInputAndTheGraph)
{
    EXPECT_EQ(m_builder->Render(nullptr, m_graph.Builder()), E_POINTER);
    EXPECT_EQ(m_builder->Render(m_video, nullptr), E_POINTER);
    // Input not connected: E_FAIL, and nothing is posted.
    ASSERT_EQ(Splt()->SetStreamType(CodecDeviceH264), S_OK);
    EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), E_FAIL);
    EXPECT_TRUE(Aborts().empty());
    ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
    // No kind yet.
    ASSERT_EQ(Splt()->SetStreamType(0), S_OK);
    EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), E_FAIL);
    EXPECT_TRUE(Aborts().empty());
    // A failing chain fixes the graph; another one is refused after it.
    ASSERT_EQ(Splt()->SetStreamType(CodecDeviceH264), S_OK);
    g_roles[kH264].create = E_FAIL;
    EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), 10105);
    TvFilterGraph other;
    ASSERT_EQ(other.Create(), S_OK);
    EXPECT_EQ(m_builder->Render(m_video, other.Builder()), E_FAIL);
    other.Close();
}

// After RemoveDownstream the chain is rendered again with the filters the
// builder kept (only the renderer is new); a filter already in the graph under
// a chain name is taken instead of a new one.
TEST_F(StreamBuilderTest, RenderingTwiceReusesTheFilters)
{
    ConnectInput(CodecDeviceH264);
    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    IBaseFilter* decoder = Downstream(m_video);
    ASSERT_NE(decoder, nullptr);
    EXPECT_EQ(Splt()->RemoveDownstream(), E_FAIL);
    EXPECT_FALSE(InGraph(L"Tarvo H264 Decoder"));
    EXPECT_FALSE(InGraph(L"Render"));

    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    IBaseFilter* again = Downstream(m_video);
    EXPECT_TRUE(SameObject(decoder, again));
    EXPECT_EQ(FilterName(again), L"Tarvo H264 Decoder");
    for (Role r : {kH264, kProcessor, kColorSpace})
        EXPECT_EQ(g_roles[r].created, 1) << r;
    EXPECT_TRUE(InGraph(L"Render"));
    again->Release();
    decoder->Release();
}

TEST_F(StreamBuilderTest, FilterOfTheSameNameInTheGraphIsTaken)
{
    HRESULT hr = S_OK;
    CFakeChainFilter* mine = new CFakeChainFilter(kProcessor, &hr);
    mine->NonDelegatingAddRef();
    ASSERT_EQ(m_graph.Add(mine, L"Tarvo Processer Filter"), S_OK);
    ConnectInput(CodecMpeg2);
    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    EXPECT_EQ(g_roles[kProcessor].created, 0);
    IPin* in = FindPin(mine, PINDIR_INPUT);
    IPin* peer = nullptr;
    EXPECT_EQ(in->ConnectedTo(&peer), S_OK);
    if (peer)
        peer->Release();
    in->Release();
    Splt()->RemoveDownstream();
    mine->NonDelegatingRelease();
}

TEST_F(StreamBuilderTest, BackoutRemovesAndReleasesEveryFilter)
{
    g_roles[kMjpeg].mjpegFourcc = kMjpf;
    ConnectInput(CodecMjpeg);
    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    EXPECT_EQ(m_builder->Backout(m_video, m_graph.Builder()), S_OK);
    for (const wchar_t* name :
         {L"Tarvo M-Jpeg Decoder", L"DeInterLace Filter", L"Tarvo Color Space",
          L"Tarvo Processer Filter", L"Tarvo Color Space2", L"Render"})
        EXPECT_FALSE(InGraph(name)) << name;
    IPin* peer = nullptr;
    EXPECT_EQ(m_video->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    // Nothing held: the next Render creates every filter again.
    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    EXPECT_EQ(g_roles[kMjpeg].created, 2);
}

TEST_F(StreamBuilderTest, AudioPinRendersIntoTheDirectSoundRenderer)
{
    ConnectInput(CodecDeviceH264);
    IStreamBuilder* audio = Query<IStreamBuilder>(m_audio, IID_IStreamBuilder);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->Render(nullptr, m_graph.Builder()), E_POINTER);
    EXPECT_EQ(audio->Render(m_audio, m_graph.Builder()), S_OK);
    IBaseFilter* renderer = Downstream(m_audio);
    EXPECT_EQ(FilterName(renderer), L"DirectSound Device");
    if (renderer)
        renderer->Release();
    EXPECT_EQ(audio->Backout(m_audio, m_graph.Builder()), S_OK);
    EXPECT_TRUE(InGraph(L"DirectSound Device")); // Backout leaves it
    audio->Release();
}

// The device H.264 chain with the real decoder, live: the simulator sends to
// the network source over UDP until the splitter knows the stream, the video
// pin renders its chain, and the decoder's pictures of the stream's size reach
// the frame processor's place in it.
TEST_F(StreamBuilderTest, LiveDeviceStreamIsDecodedIntoTheChain)
{
    ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
    // The registry's decoder, not a stand-in.
    CoRevokeClassObject(m_cookies[kH264]);
    m_cookies.erase(m_cookies.begin() + kH264);
    INWSource* nw = Query<INWSource>(m_source, IID_INWSource);
    ASSERT_NE(nw, nullptr);
    const int port = nwtest::FreePort(SOCK_DGRAM);
    ASSERT_EQ(nw->SetConnectParam(NW_CONNECT_UDP, nullptr, port), S_OK);
    nw->Release();
    tvdevsim::SimConfig config;
    config.stream.kind = tvdevsim::SimKind::Device40;
    config.stream.width = 176;
    config.stream.height = 144;
    config.stream.gop = 5;
    config.transport = tvdevsim::SimTransport::Udp;
    config.port = port;

    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    {
        config.frames = 0; // until stopped
        tvdevsim::CDeviceSimulator learn;
        ASSERT_TRUE(learn.Start(config)) << learn.Error();
        EXPECT_TRUE(
            nwtest::WaitFor([&] { return m_splitter->GetStreamState().sequenceHeaderLength > 0; }));
        learn.Stop();
    }
    ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    ASSERT_EQ(m_splitter->GetStreamState().codecKind, CodecDeviceH264);
    ASSERT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    IBaseFilter* decoder = Downstream(m_video);
    EXPECT_EQ(FilterName(decoder), L"Tarvo H264 Decoder");
    EXPECT_EQ(g_roles[kH264].created, 0);
    if (decoder)
        decoder->Release();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    config.frames = 50;
    tvdevsim::CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(config)) << sim.Error();
    EXPECT_TRUE(nwtest::WaitFor([] { return g_received[kProcessor] >= 10; }));
    sim.Stop();
    EXPECT_EQ(g_lastLength[kProcessor], 176 * 144 * 2);
}

TEST(HdDecoderSettings, KeysAreSetWhereTheyHaveACharacterBehind)
{
    struct Case {
        std::string in, out;
        bool changed;
    } cases[] = {
        {"di=1\nuse_tray=1\nuse_cuda=1\n", "di=8\nuse_tray=0\nuse_cuda=0\n", true},
        {"x=1\n", "x=1\n", false},
        {"use_cuda=1", "use_cuda=0", true},
        {"use_cuda=", "use_cuda=", false}, // at the very end: left alone
        {"a=2\ndi=", "a=2\ndi=", false},
        {"use_tray=9 di=3", "use_tray=0 di=8", true},
    };
    for (Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(AdjustHdDecoderSettings(text.data(), text.size()), c.changed) << c.in;
        EXPECT_EQ(text, c.out);
    }
}

// The HD chain adjusts the session user's settings file on the mapped C: drive.
TEST_F(StreamBuilderTest, HdChainAdjustsTheSettingsFile)
{
    LPSTR user = nullptr;
    ASSERT_TRUE(WTSQuerySessionInformationA(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                            WTSUserName, &user, nullptr));
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("tv_builder_" + std::to_string(getpid()));
    const std::filesystem::path dir = root / "Documents and Settings" / user / "Application Data";
    WTSFreeMemory(user);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "coreavc.ini") << "[s]\ndi=2\nuse_tray=1\nuse_cuda=1\nend";
    setenv("TARVO_DRIVE_C", root.c_str(), 1);
    ConnectInput(CodecHDH264);
    EXPECT_EQ(m_builder->Render(m_video, m_graph.Builder()), S_OK);
    unsetenv("TARVO_DRIVE_C");
    std::ifstream in(dir / "coreavc.ini");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[s]\ndi=8\nuse_tray=0\nuse_cuda=0\nend");
    std::filesystem::remove_all(root);
}

} // namespace
