#include "fake_graph.h"

#include <cstring>
#include <map>
#include <mutex>

#include "INWSource.h"
#include "ITarvoSplt.h"
#include "TarvoGuids.h"

FakeWorld* g_world = nullptr;

namespace {

#define FAKE_NOTIMPL                                                                               \
    {                                                                                              \
        return E_NOTIMPL;                                                                          \
    }

// A subtype for the "known" video type (any non-null GUID does).
DEFINE_GUID(kFakeSubtype, 0x8d2d71cb, 0x243f, 0x45e3, 0xb2, 0xd8, 0x5f, 0xd7, 0x96, 0x7e, 0xc0,
            0x9b);

class Counted {
public:
    Counted() { ++g_world->liveObjects; }
    virtual ~Counted() { --g_world->liveObjects; }
    ULONG DoAddRef() { return ++m_refs; }
    ULONG DoRelease()
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

template <typename T> HRESULT Hand(T* itf, void** ppv)
{
    itf->AddRef();
    *ppv = itf;
    return S_OK;
}

enum class FilterKind { Splitter, NWSource, Reader, Renderer };

class FakeFilter;

// Puts a video renderer named "Render" into the graph, as a chain would.
void AddRenderer(IGraphBuilder* graph);

class FakeEnumTypes final : public IEnumMediaTypes, public Counted {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes)
            return Hand(static_cast<IEnumMediaTypes*>(this), ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

    STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override
    {
        ++g_world->typeQueries;
        if (fetched)
            *fetched = 0;
        int state = g_world->videoTypeState.load();
        if (count < 1 || !types || state == 0)
            return S_FALSE;
        auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        std::memset(mt, 0, sizeof *mt);
        mt->majortype = MEDIATYPE_Video;
        mt->subtype = state == 2 ? kFakeSubtype : GUID_NULL;
        mt->cbFormat = 16;
        mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(16));
        types[0] = mt;
        if (fetched)
            *fetched = 1;
        return S_OK;
    }
    STDMETHODIMP Skip(ULONG) override FAKE_NOTIMPL STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumMediaTypes**) override FAKE_NOTIMPL
};

class FakePin final : public IPin, public IStreamBuilder, public Counted {
public:
    FakePin(FilterKind kind, PIN_DIRECTION dir, int index)
        : m_kind(kind), m_dir(dir), m_index(index)
    {
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IPin)
            return Hand(static_cast<IPin*>(this), ppv);
        if (riid == IID_IStreamBuilder && m_dir == PINDIR_OUTPUT && g_world->pinsOfferStreamBuilder)
            return Hand(static_cast<IStreamBuilder*>(this), ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

    std::wstring Label() const
    {
        const wchar_t* kind = m_kind == FilterKind::Splitter   ? L"splitter"
                              : m_kind == FilterKind::NWSource ? L"nwsource"
                                                               : L"reader";
        return std::wstring(kind) + (m_dir == PINDIR_INPUT ? L":in" : L":out") +
               std::to_wstring(m_index);
    }

    // IPin
    STDMETHODIMP Connect(IPin*, const AM_MEDIA_TYPE*) override FAKE_NOTIMPL STDMETHODIMP
        ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override FAKE_NOTIMPL STDMETHODIMP
        Disconnect() override FAKE_NOTIMPL STDMETHODIMP
        ConnectedTo(IPin**) override FAKE_NOTIMPL STDMETHODIMP
        ConnectionMediaType(AM_MEDIA_TYPE*) override FAKE_NOTIMPL STDMETHODIMP
        QueryPinInfo(PIN_INFO*) override FAKE_NOTIMPL STDMETHODIMP
        QueryDirection(PIN_DIRECTION* dir) override
    {
        *dir = m_dir;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR*) override FAKE_NOTIMPL STDMETHODIMP
        QueryAccept(const AM_MEDIA_TYPE*) override FAKE_NOTIMPL STDMETHODIMP
        EnumMediaTypes(IEnumMediaTypes** ppEnum) override
    {
        *ppEnum = new FakeEnumTypes();
        return S_OK;
    }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override FAKE_NOTIMPL STDMETHODIMP
        EndOfStream() override FAKE_NOTIMPL STDMETHODIMP
        BeginFlush() override FAKE_NOTIMPL STDMETHODIMP
        EndFlush() override FAKE_NOTIMPL STDMETHODIMP
        NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override FAKE_NOTIMPL

        // IStreamBuilder
        STDMETHODIMP Render(IPin* pin, IGraphBuilder* graph) override
    {
        if (pin != static_cast<IPin*>(this) || !graph)
            return E_INVALIDARG;
        if (m_index == 0) {
            ++g_world->videoRenders;
            g_world->Log("render video");
            const HRESULT hr = g_world->videoRenderResult.load();
            if (SUCCEEDED(hr))
                AddRenderer(graph);
            return hr;
        }
        ++g_world->audioRenders;
        g_world->Log("render audio");
        return S_OK;
    }
    STDMETHODIMP Backout(IPin*, IGraphBuilder*) override FAKE_NOTIMPL

        private : FilterKind m_kind;
    PIN_DIRECTION m_dir;
    int m_index;
};

class FakeEnumPins final : public IEnumPins, public Counted {
public:
    explicit FakeEnumPins(const std::vector<FakePin*>& pins) : m_pins(pins)
    {
        for (FakePin* pin : m_pins)
            pin->AddRef();
    }
    ~FakeEnumPins() override
    {
        for (FakePin* pin : m_pins)
            pin->Release();
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IEnumPins)
            return Hand(static_cast<IEnumPins*>(this), ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }
    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override
    {
        if (fetched)
            *fetched = 0;
        if (count < 1 || m_next >= m_pins.size())
            return S_FALSE;
        pins[0] = m_pins[m_next++];
        pins[0]->AddRef();
        if (fetched)
            *fetched = 1;
        return S_OK;
    }
    STDMETHODIMP Skip(ULONG) override FAKE_NOTIMPL STDMETHODIMP Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins**) override FAKE_NOTIMPL

        private : std::vector<FakePin*> m_pins;
    size_t m_next = 0;
};

class FakeFilter final : public IBaseFilter,
                         public ITarvoSplt,
                         public INWSource,
                         public IVMRAspectRatioControl,
                         public Counted {
public:
    explicit FakeFilter(FilterKind kind) : m_kind(kind)
    {
        if (kind == FilterKind::Splitter) {
            m_pins.push_back(new FakePin(kind, PINDIR_INPUT, 0));
            for (int i = 0; i < g_world->splitterOutputPins; ++i)
                m_pins.push_back(new FakePin(kind, PINDIR_OUTPUT, i));
        } else {
            m_pins.push_back(new FakePin(kind, PINDIR_OUTPUT, 0));
        }
    }
    ~FakeFilter() override
    {
        for (FakePin* pin : m_pins)
            pin->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter ||
            riid == IID_IPersist)
            return Hand(static_cast<IBaseFilter*>(this), ppv);
        if (riid == IID_ITarvoSplt && m_kind == FilterKind::Splitter &&
            g_world->splitterOffersTarvoSplt)
            return Hand(static_cast<ITarvoSplt*>(this), ppv);
        if (riid == IID_INWSource && m_kind == FilterKind::NWSource &&
            g_world->nwsourceOffersInterface)
            return Hand(static_cast<INWSource*>(this), ppv);
        if (riid == IID_IVMRAspectRatioControl && m_kind == FilterKind::Renderer &&
            g_world->rendererOffersAspectRatio)
            return Hand(static_cast<IVMRAspectRatioControl*>(this), ppv);
        return E_NOINTERFACE;
    }

    // IVMRAspectRatioControl
    STDMETHODIMP GetAspectRatioMode(LPDWORD) override FAKE_NOTIMPL STDMETHODIMP
        SetAspectRatioMode(DWORD mode) override
    {
        g_world->Log("aspect " + std::to_string(mode));
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

    // IBaseFilter
    STDMETHODIMP GetClassID(CLSID*) override FAKE_NOTIMPL STDMETHODIMP Stop() override
    {
        return S_OK;
    }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
    STDMETHODIMP GetState(DWORD, FILTER_STATE*) override FAKE_NOTIMPL STDMETHODIMP
        SetSyncSource(IReferenceClock*) override FAKE_NOTIMPL STDMETHODIMP
        GetSyncSource(IReferenceClock**) override FAKE_NOTIMPL STDMETHODIMP
        EnumPins(IEnumPins** ppEnum) override
    {
        *ppEnum = new FakeEnumPins(m_pins);
        return S_OK;
    }
    STDMETHODIMP FindPin(LPCWSTR, IPin**) override FAKE_NOTIMPL STDMETHODIMP
        QueryFilterInfo(FILTER_INFO*) override FAKE_NOTIMPL STDMETHODIMP
        JoinFilterGraph(IFilterGraph*, LPCWSTR) override
    {
        return S_OK;
    }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override FAKE_NOTIMPL

        // ITarvoSplt
        STDMETHODIMP SetStreamType(int codecKind) override
    {
        g_world->streamType = codecKind;
        return g_world->setStreamTypeResult;
    }
    STDMETHODIMP RemoveDownstream() override { return E_FAIL; }
    STDMETHODIMP GetReceiveRates(UINT, int*, int*) override FAKE_NOTIMPL STDMETHODIMP
        SetNoWait(int) override FAKE_NOTIMPL STDMETHODIMP
        GetVodRange(int*) override FAKE_NOTIMPL STDMETHODIMP
        SetVodRange(int, int) override FAKE_NOTIMPL STDMETHODIMP
        SetVodCallback(VodRequestCallback, int) override FAKE_NOTIMPL STDMETHODIMP
        ResumeVodRequests(int) override FAKE_NOTIMPL STDMETHODIMP SetPlayMode(int playMode) override
    {
        g_world->playMode = playMode;
        return g_world->setPlayModeResult;
    }

    // INWSource
    STDMETHODIMP SetConnectParam(NWConnectType, const char*,
                                 LONG) override FAKE_NOTIMPL STDMETHODIMP
        GetConnectParam(NWConnectType*, char*, USHORT*) override FAKE_NOTIMPL STDMETHODIMP
        StartRecord(const char*) override FAKE_NOTIMPL STDMETHODIMP
        StopRecord() override FAKE_NOTIMPL STDMETHODIMP
        GetRecordPath(char*) override FAKE_NOTIMPL STDMETHODIMP
        ReservedMethod(void*) override FAKE_NOTIMPL STDMETHODIMP
        SetLogPath(const char*) override FAKE_NOTIMPL STDMETHODIMP
        GetLogPath(char*) override FAKE_NOTIMPL STDMETHODIMP
        InputData(const BYTE*, LONG) override FAKE_NOTIMPL STDMETHODIMP
        GetStatistics(LONGLONG*, LONGLONG*, LONGLONG*, LONGLONG*) override FAKE_NOTIMPL

        private : FilterKind m_kind;
    std::vector<FakePin*> m_pins;
};

std::wstring PinLabel(IPin* pin)
{
    return static_cast<FakePin*>(pin)->Label();
}

// The graph's control interfaces, a part of the graph: references and
// QueryInterface go to the graph.
class FakeGraphControl final : public IMediaControl, public IVideoWindow, public IBasicVideo {
public:
    explicit FakeGraphControl(IUnknown* graph) : m_graph(graph) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return m_graph->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_graph->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_graph->Release(); }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT*) override FAKE_NOTIMPL STDMETHODIMP
        GetTypeInfo(UINT, LCID, ITypeInfo**) override FAKE_NOTIMPL STDMETHODIMP
        GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override FAKE_NOTIMPL STDMETHODIMP
        Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
               UINT*) override FAKE_NOTIMPL

        // IMediaControl
        STDMETHODIMP Run() override
    {
        g_world->filterState = State_Running;
        g_world->Log("Run");
        return S_OK;
    }
    STDMETHODIMP Pause() override
    {
        g_world->filterState = State_Paused;
        g_world->Log("Pause");
        return S_OK;
    }
    STDMETHODIMP Stop() override
    {
        g_world->filterState = State_Stopped;
        g_world->Log("Stop");
        return S_OK;
    }
    STDMETHODIMP GetState(LONG, OAFilterState* state) override
    {
        *state = g_world->filterState.load();
        return S_OK;
    }
    STDMETHODIMP RenderFile(BSTR) override FAKE_NOTIMPL STDMETHODIMP
        AddSourceFilter(BSTR, IDispatch**) override FAKE_NOTIMPL STDMETHODIMP
        get_FilterCollection(IDispatch**) override FAKE_NOTIMPL STDMETHODIMP
        get_RegFilterCollection(IDispatch**) override FAKE_NOTIMPL STDMETHODIMP
        StopWhenReady() override FAKE_NOTIMPL

        // IVideoWindow
        STDMETHODIMP put_Caption(BSTR) override FAKE_NOTIMPL STDMETHODIMP
        get_Caption(BSTR*) override FAKE_NOTIMPL STDMETHODIMP
        put_WindowStyle(LONG WindowStyle) override
    {
        g_world->windowStyle = WindowStyle;
        return S_OK;
    }
    STDMETHODIMP get_WindowStyle(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_WindowStyleEx(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_WindowStyleEx(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_AutoShow(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_AutoShow(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_WindowState(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_WindowState(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_BackgroundPalette(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_BackgroundPalette(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_Visible(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_Visible(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_Left(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_Left(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_Width(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_Width(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_Top(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_Top(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_Height(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_Height(LONG*) override FAKE_NOTIMPL STDMETHODIMP put_Owner(OAHWND) override
    {
        g_world->Log("owner");
        return S_OK;
    }
    STDMETHODIMP get_Owner(OAHWND*) override FAKE_NOTIMPL STDMETHODIMP
        put_MessageDrain(OAHWND) override
    {
        return S_OK;
    }
    STDMETHODIMP get_MessageDrain(OAHWND*) override FAKE_NOTIMPL STDMETHODIMP
        get_BorderColor(LONG*) override FAKE_NOTIMPL STDMETHODIMP put_BorderColor(LONG) override
    {
        return S_OK;
    }
    STDMETHODIMP get_FullScreenMode(LONG* FullScreenMode) override
    {
        *FullScreenMode = g_world->fullScreen.load();
        return S_OK;
    }
    STDMETHODIMP put_FullScreenMode(LONG FullScreenMode) override
    {
        g_world->fullScreen = FullScreenMode;
        g_world->Log(FullScreenMode ? "full screen" : "windowed");
        return S_OK;
    }
    STDMETHODIMP SetWindowForeground(LONG) override FAKE_NOTIMPL STDMETHODIMP
        NotifyOwnerMessage(OAHWND, LONG, LONG_PTR, LONG_PTR) override FAKE_NOTIMPL STDMETHODIMP
        SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override
    {
        g_world->Log("position " + std::to_string(Left) + "," + std::to_string(Top) + "," +
                     std::to_string(Width) + "x" + std::to_string(Height));
        return S_OK;
    }
    STDMETHODIMP GetWindowPosition(LONG*, LONG*, LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        GetMinIdealImageSize(LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        GetMaxIdealImageSize(LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        GetRestorePosition(LONG*, LONG*, LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        HideCursor(LONG) override FAKE_NOTIMPL STDMETHODIMP
        IsCursorHidden(LONG*) override FAKE_NOTIMPL
        // IBasicVideo
        STDMETHODIMP get_AvgTimePerFrame(REFTIME*) override FAKE_NOTIMPL STDMETHODIMP
        get_BitRate(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        get_BitErrorRate(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        get_VideoWidth(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        get_VideoHeight(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_SourceLeft(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_SourceLeft(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_SourceWidth(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_SourceWidth(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_SourceTop(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_SourceTop(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_SourceHeight(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_SourceHeight(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_DestinationLeft(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_DestinationLeft(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_DestinationWidth(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_DestinationWidth(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_DestinationTop(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_DestinationTop(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        put_DestinationHeight(LONG) override FAKE_NOTIMPL STDMETHODIMP
        get_DestinationHeight(LONG*) override FAKE_NOTIMPL STDMETHODIMP
        SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height) override
    {
        g_world->Log("source " + std::to_string(Left) + "," + std::to_string(Top) + "," +
                     std::to_string(Width) + "x" + std::to_string(Height));
        return S_OK;
    }
    STDMETHODIMP GetSourcePosition(LONG*, LONG*, LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        SetDefaultSourcePosition() override FAKE_NOTIMPL STDMETHODIMP
        SetDestinationPosition(LONG, LONG, LONG, LONG) override FAKE_NOTIMPL STDMETHODIMP
        GetDestinationPosition(LONG*, LONG*, LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        SetDefaultDestinationPosition() override FAKE_NOTIMPL STDMETHODIMP
        GetVideoSize(LONG* pWidth, LONG* pHeight) override
    {
        *pWidth = g_world->videoWidth;
        *pHeight = g_world->videoHeight;
        return S_OK;
    }
    STDMETHODIMP GetVideoPaletteEntries(LONG, LONG, LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        GetCurrentImage(LONG*, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        IsUsingDefaultSource() override FAKE_NOTIMPL STDMETHODIMP
        IsUsingDefaultDestination() override FAKE_NOTIMPL

        private : IUnknown* m_graph; // not held: this object is a part of it
};

class FakeGraph final : public IGraphBuilder, public IMediaEventEx, public Counted {
public:
    FakeGraph() : m_control(static_cast<IGraphBuilder*>(this)) {}
    ~FakeGraph() override
    {
        for (auto& [name, filter] : m_filters)
            filter->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IGraphBuilder)
            return Hand(static_cast<IGraphBuilder*>(this), ppv);
        if (riid == IID_IFilterGraph && g_world->graphOffersFilterGraph)
            return Hand(static_cast<IFilterGraph*>(this), ppv);
        if ((riid == IID_IMediaEventEx || riid == IID_IMediaEvent) &&
            g_world->graphOffersMediaEvent)
            return Hand(static_cast<IMediaEventEx*>(this), ppv);
        if (riid == IID_IMediaControl)
            return Hand(static_cast<IMediaControl*>(&m_control), ppv);
        if (riid == IID_IVideoWindow && g_world->graphOffersVideoWindow)
            return Hand(static_cast<IVideoWindow*>(&m_control), ppv);
        if (riid == IID_IBasicVideo)
            return Hand(static_cast<IBasicVideo*>(&m_control), ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

    // IFilterGraph
    STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!filter || !name || g_world->refuseAdd.count(name) || m_filters.count(name))
            return E_FAIL;
        filter->AddRef();
        m_filters[name] = filter;
        g_world->added.push_back(name);
        return S_OK;
    }
    STDMETHODIMP RemoveFilter(IBaseFilter* filter) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
            if (it->second == filter) {
                g_world->removed.push_back(it->first);
                it->second->Release();
                m_filters.erase(it);
                return S_OK;
            }
        }
        return E_FAIL;
    }
    STDMETHODIMP EnumFilters(IEnumFilters**) override FAKE_NOTIMPL STDMETHODIMP
        FindFilterByName(LPCWSTR name, IBaseFilter** ppFilter) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *ppFilter = nullptr;
        auto it = m_filters.find(name);
        if (it == m_filters.end())
            return static_cast<HRESULT>(0x80040216u); // VFW_E_NOT_FOUND
        return Hand(it->second, reinterpret_cast<void**>(ppFilter));
    }
    STDMETHODIMP ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE*) override
    {
        ++g_world->connects;
        g_world->connectedFrom = PinLabel(out);
        g_world->connectedTo = PinLabel(in);
        return g_world->connectResult;
    }
    STDMETHODIMP Reconnect(IPin*) override FAKE_NOTIMPL STDMETHODIMP
        Disconnect(IPin*) override FAKE_NOTIMPL STDMETHODIMP
        SetDefaultSyncSource() override FAKE_NOTIMPL

        // IGraphBuilder
        STDMETHODIMP Connect(IPin*, IPin*) override FAKE_NOTIMPL STDMETHODIMP
        Render(IPin*) override FAKE_NOTIMPL STDMETHODIMP
        RenderFile(LPCWSTR, LPCWSTR) override FAKE_NOTIMPL STDMETHODIMP
        AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override FAKE_NOTIMPL STDMETHODIMP
        SetLogFile(DWORD_PTR) override FAKE_NOTIMPL STDMETHODIMP
        Abort() override FAKE_NOTIMPL STDMETHODIMP ShouldOperationContinue() override FAKE_NOTIMPL

        // IDispatch
        STDMETHODIMP GetTypeInfoCount(UINT*) override FAKE_NOTIMPL STDMETHODIMP
        GetTypeInfo(UINT, LCID, ITypeInfo**) override FAKE_NOTIMPL STDMETHODIMP
        GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override FAKE_NOTIMPL STDMETHODIMP
        Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
               UINT*) override FAKE_NOTIMPL

        // IMediaEvent(Ex)
        STDMETHODIMP GetEventHandle(OAEVENT*) override FAKE_NOTIMPL STDMETHODIMP
        GetEvent(LONG*, LONG_PTR*, LONG_PTR*, LONG) override FAKE_NOTIMPL STDMETHODIMP
        WaitForCompletion(LONG, LONG*) override FAKE_NOTIMPL STDMETHODIMP
        CancelDefaultHandling(LONG) override FAKE_NOTIMPL STDMETHODIMP
        RestoreDefaultHandling(LONG) override FAKE_NOTIMPL STDMETHODIMP
        FreeEventParams(LONG, LONG_PTR, LONG_PTR) override FAKE_NOTIMPL STDMETHODIMP
        SetNotifyWindow(OAHWND hwnd, LONG msg, LONG_PTR) override
    {
        g_world->notifyWindow = hwnd;
        g_world->notifyMessage = msg;
        return g_world->notifyResult;
    }
    STDMETHODIMP SetNotifyFlags(LONG) override FAKE_NOTIMPL STDMETHODIMP
        GetNotifyFlags(LONG*) override FAKE_NOTIMPL

        private : FakeGraphControl m_control;
    std::mutex m_mutex; // the format poll looks filters up on the dispatcher thread
    std::map<std::wstring, IBaseFilter*> m_filters;
};

void AddRenderer(IGraphBuilder* graph)
{
    IBaseFilter* existing = nullptr;
    if (SUCCEEDED(graph->FindFilterByName(L"Render", &existing)) && existing) {
        existing->Release();
        return;
    }
    auto* renderer = new FakeFilter(FilterKind::Renderer);
    graph->AddFilter(renderer, L"Render");
    renderer->Release();
}

// Creates one kind of fake object; not counted as a live object itself.
class FakeFactory final : public IClassFactory {
public:
    enum Kind { Graph, Splitter, NWSource, Reader };
    explicit FakeFactory(Kind kind) : m_kind(kind) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory)
            return Hand(static_cast<IClassFactory*>(this), ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IUnknown* object = nullptr;
        switch (m_kind) {
        case Graph:
            object = static_cast<IGraphBuilder*>(new FakeGraph());
            break;
        case Splitter:
            if (g_world->failCreate.count("splitter"))
                return E_OUTOFMEMORY;
            object = static_cast<IBaseFilter*>(new FakeFilter(FilterKind::Splitter));
            break;
        case NWSource:
            if (g_world->failCreate.count("nwsource"))
                return E_OUTOFMEMORY;
            object = static_cast<IBaseFilter*>(new FakeFilter(FilterKind::NWSource));
            break;
        case Reader:
            if (g_world->failCreate.count("reader"))
                return E_OUTOFMEMORY;
            object = static_cast<IBaseFilter*>(new FakeFilter(FilterKind::Reader));
            break;
        }
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    Kind m_kind;
    std::atomic<ULONG> m_refs{1};
};

std::vector<DWORD> g_cookies;

void Register(REFCLSID clsid, FakeFactory::Kind kind)
{
    auto* factory = new FakeFactory(kind);
    DWORD cookie = 0;
    if (SUCCEEDED(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie)))
        g_cookies.push_back(cookie);
    factory->Release();
}

} // namespace

void RegisterFakeClasses()
{
    Register(CLSID_FilterGraph, FakeFactory::Graph);
    Register(CLSID_TarvoSplitterF, FakeFactory::Splitter);
    Register(CLSID_TarvoNWSource, FakeFactory::NWSource);
    Register(CLSID_AsyncReader, FakeFactory::Reader);
}

void RevokeFakeClasses()
{
    for (DWORD cookie : g_cookies)
        CoRevokeClassObject(cookie);
    g_cookies.clear();
}

IGraphBuilder* NewFakeGraph()
{
    return new FakeGraph();
}
