// Small filters for the graph manager tests, written straight on the
// interfaces so that every call the graph makes can be recorded and every
// answer chosen by the test.
//
// CGraphTestFilter: IBaseFilter with pins of its own (CGraphTestPin), a shared
// call log, and answers the test sets (Pause/Run/GetState results, a clock,
// a stream builder on an output pin). CGraphTestRenderer adds IBasicAudio,
// IVideoFrameStep and IMediaSeeking, the interfaces the graph forwards.
#pragma once

#include <dshow.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "TestKit.h"
#include "win32/sync.h"

// The calls the filters of one test saw, in order, as "name:Call" texts.
class CCallLog {
public:
    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_entries.push_back(entry);
    }
    std::vector<std::string> Take()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<std::string> out;
        out.swap(m_entries);
        return out;
    }
    // The entries that end with ":<call>", in order.
    std::vector<std::string> Only(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<std::string> out;
        const std::string suffix = ":" + call;
        for (const std::string& e : m_entries) {
            if (e.size() > suffix.size() &&
                e.compare(e.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(e);
        }
        return out;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_entries;
};

class CGraphTestFilter;

class CGraphTestPin final : public IPin {
public:
    CGraphTestPin(CGraphTestFilter* filter, PIN_DIRECTION dir, const wchar_t* name,
                  const GUID& majortype)
        : m_filter(filter), m_dir(dir), m_name(name), m_majortype(majortype)
    {
    }
    ~CGraphTestPin()
    {
        if (m_peer)
            m_peer->Release();
        if (m_builder)
            m_builder->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override
    {
        if (!pPin)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *pPin = m_peer;
        if (!m_peer)
            return VFW_E_NOT_CONNECTED;
        m_peer->AddRef();
        return S_OK;
    }
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override
    {
        if (!pmt)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *pmt = AM_MEDIA_TYPE{};
        if (!m_peer)
            return VFW_E_NOT_CONNECTED;
        pmt->majortype = m_connectedType;
        return S_OK;
    }
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override
    {
        if (!pPinDir)
            return E_POINTER;
        *pPinDir = m_dir;
        return S_OK;
    }
    STDMETHODIMP QueryId(LPWSTR* Id) override
    {
        if (!Id)
            return E_POINTER;
        const size_t bytes = (m_name.size() + 1) * sizeof(wchar_t);
        *Id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        memcpy(*Id, m_name.c_str(), bytes);
        return S_OK;
    }
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override
    {
        return pmt && IsEqualGUID(pmt->majortype, m_majortype) ? S_OK : S_FALSE;
    }
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return S_OK; }
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // An IStreamBuilder the pin answers QueryInterface with (held).
    void SetStreamBuilder(IStreamBuilder* builder)
    {
        builder->AddRef();
        m_builder = builder;
    }
    bool Connected()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_peer != nullptr;
    }
    IPin* Peer()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_peer;
    }
    const GUID& MajorType() const { return m_majortype; }

private:
    CGraphTestFilter* const m_filter;
    const PIN_DIRECTION m_dir;
    const std::wstring m_name;
    const GUID m_majortype;
    IStreamBuilder* m_builder = nullptr;
    std::mutex m_lock;
    IPin* m_peer = nullptr; // held
    GUID m_connectedType = GUID_NULL;
};

class CGraphTestFilter : public CUnknown, public IBaseFilter {
public:
    // A filter with `inputs` input pins and `outputs` output pins, all of the
    // given major type, or the output pins of `outputType` when that is given.
    CGraphTestFilter(const std::string& name, CCallLog* log, int inputs, int outputs,
                     const GUID& majortype = MEDIATYPE_Video, const GUID& outputType = GUID_NULL)
        : CUnknown("graph test filter", nullptr), m_name(name), m_log(log)
    {
        const GUID& outType = IsEqualGUID(outputType, GUID_NULL) ? majortype : outputType;
        for (int i = 0; i < inputs; ++i)
            m_pins.push_back(new CGraphTestPin(this, PINDIR_INPUT,
                                               (L"In" + std::to_wstring(i)).c_str(), majortype));
        for (int i = 0; i < outputs; ++i)
            m_pins.push_back(new CGraphTestPin(this, PINDIR_OUTPUT,
                                               (L"Out" + std::to_wstring(i)).c_str(), outType));
        // The creator's reference.
        NonDelegatingAddRef();
    }
    ~CGraphTestFilter() override
    {
        for (CGraphTestPin* pin : m_pins)
            delete pin;
        if (m_clock)
            m_clock->Release();
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
            return GetInterface(static_cast<IBaseFilter*>(this), ppv);
        if (riid == IID_IReferenceClock && m_ownClock)
            return GetInterface(m_ownClock, ppv);
        if (riid == IID_IAMFilterMiscFlags && m_miscFlags)
            return GetInterface(&m_flags, ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    // IMediaFilter
    STDMETHODIMP GetClassID(CLSID* pClassID) override
    {
        *pClassID = GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP Stop() override
    {
        m_log->Add(m_name + ":Stop");
        m_state = State_Stopped;
        return m_stopResult;
    }
    STDMETHODIMP Pause() override
    {
        m_log->Add(m_name + ":Pause");
        if (FAILED(m_pauseResult))
            return m_pauseResult;
        m_state = State_Paused;
        return m_pauseResult;
    }
    STDMETHODIMP Run(REFERENCE_TIME tStart) override
    {
        m_log->Add(m_name + ":Run");
        m_runStarts.push_back(tStart);
        if (FAILED(m_runResult))
            return m_runResult;
        m_state = State_Running;
        return m_runResult;
    }
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override
    {
        m_lastStateTimeout = dwMilliSecsTimeout;
        *State = m_state;
        return m_getStateResult;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override
    {
        m_log->Add(m_name + ":SetSyncSource");
        if (pClock)
            pClock->AddRef();
        if (m_clock)
            m_clock->Release();
        m_clock = pClock;
        return S_OK;
    }
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override
    {
        *pClock = m_clock;
        if (m_clock)
            m_clock->AddRef();
        return S_OK;
    }

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR, IPin** ppPin) override
    {
        *ppPin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override
    {
        wcsncpy(pInfo->achName, m_graphName.c_str(), MAX_FILTER_NAME - 1);
        pInfo->achName[MAX_FILTER_NAME - 1] = 0;
        pInfo->pGraph = m_graph;
        if (m_graph)
            m_graph->AddRef();
        return S_OK;
    }
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override
    {
        m_log->Add(m_name + (pGraph ? ":Join" : ":Leave"));
        if (FAILED(m_joinResult))
            return m_joinResult;
        // Not held: the graph holds the filter.
        m_graph = pGraph;
        m_graphName = pName ? pName : L"";
        m_sink = nullptr;
        if (pGraph) {
            IMediaEventSink* sink = nullptr;
            if (SUCCEEDED(
                    pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
                m_sink = sink;
                sink->Release();
            }
        }
        return S_OK;
    }
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override
    {
        *pVendorInfo = nullptr;
        return E_NOTIMPL;
    }

    // ---- for the tests ----
    CGraphTestPin* Input(int i) { return PinOf(PINDIR_INPUT, i); }
    CGraphTestPin* Output(int i) { return PinOf(PINDIR_OUTPUT, i); }
    HRESULT SendEvent(LONG code, LONG_PTR p1, LONG_PTR p2)
    {
        return m_sink ? m_sink->Notify(code, p1, p2) : E_UNEXPECTED;
    }
    const std::string& Name() const { return m_name; }
    CCallLog* Log() { return m_log; }
    std::wstring GraphName() const { return m_graphName; }
    IFilterGraph* Graph() const { return m_graph; }
    IReferenceClock* Clock() const { return m_clock; }
    FILTER_STATE State() const { return m_state; }
    LONG Refs() const { return m_cRef.load(); }
    // A clock this filter answers IReferenceClock with (held by the test).
    void OfferClock(IReferenceClock* clock) { m_ownClock = clock; }
    void SetMiscFlags(ULONG flags)
    {
        m_miscFlags = true;
        m_flags.flags = flags;
    }

    HRESULT m_pauseResult = S_OK;
    HRESULT m_runResult = S_OK;
    HRESULT m_stopResult = S_OK;
    HRESULT m_getStateResult = S_OK;
    HRESULT m_joinResult = S_OK;
    DWORD m_lastStateTimeout = 0;
    std::vector<REFERENCE_TIME> m_runStarts;

private:
    CGraphTestPin* PinOf(PIN_DIRECTION dir, int index)
    {
        for (CGraphTestPin* pin : m_pins) {
            PIN_DIRECTION d;
            pin->QueryDirection(&d);
            if (d == dir && index-- == 0)
                return pin;
        }
        return nullptr;
    }

    struct CFlags : public IAMFilterMiscFlags {
        explicit CFlags(CGraphTestFilter* o) : owner(o) {}
        CGraphTestFilter* owner;
        ULONG flags = 0;
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
        {
            return owner->QueryInterface(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return owner->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner->Release(); }
        ULONG GetMiscFlags() override { return flags; }
    };

    const std::string m_name;
    CCallLog* const m_log;
    std::vector<CGraphTestPin*> m_pins;
    IFilterGraph* m_graph = nullptr;
    IMediaEventSink* m_sink = nullptr;
    std::wstring m_graphName;
    IReferenceClock* m_clock = nullptr;
    IReferenceClock* m_ownClock = nullptr;
    bool m_miscFlags = false;
    CFlags m_flags{this};
    std::atomic<FILTER_STATE> m_state{State_Stopped};

    friend class CGraphTestPin;
};

// A filter's pins as IEnumPins.
class CGraphTestEnumPins final : public IEnumPins {
public:
    CGraphTestEnumPins(CGraphTestFilter* filter, std::vector<CGraphTestPin*> pins)
        : m_filter(filter), m_pins(std::move(pins))
    {
        m_filter->AddRef();
    }
    ~CGraphTestEnumPins() { m_filter->Release(); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumPins) {
            *ppv = static_cast<IEnumPins*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }
    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override
    {
        ULONG n = 0;
        while (n < cPins && m_pos < m_pins.size()) {
            ppPins[n] = m_pins[m_pos++];
            ppPins[n]->AddRef();
            ++n;
        }
        if (pcFetched)
            *pcFetched = n;
        return n == cPins ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG cPins) override
    {
        m_pos += cPins;
        return m_pos <= m_pins.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** ppEnum) override
    {
        *ppEnum = new CGraphTestEnumPins(m_filter, m_pins);
        (*ppEnum)->AddRef();
        return S_OK;
    }

private:
    CGraphTestFilter* const m_filter;
    const std::vector<CGraphTestPin*> m_pins;
    size_t m_pos = 0;
    std::atomic<ULONG> m_refs{0};
};

inline STDMETHODIMP CGraphTestFilter::EnumPins(IEnumPins** ppEnum)
{
    *ppEnum = new CGraphTestEnumPins(this, m_pins);
    (*ppEnum)->AddRef();
    return S_OK;
}

// Pins count toward their filter.
inline STDMETHODIMP CGraphTestPin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IStreamBuilder && m_builder) {
        *ppv = m_builder;
        m_builder->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
inline STDMETHODIMP_(ULONG) CGraphTestPin::AddRef()
{
    return m_filter->AddRef();
}
inline STDMETHODIMP_(ULONG) CGraphTestPin::Release()
{
    return m_filter->Release();
}

inline STDMETHODIMP CGraphTestPin::QueryPinInfo(PIN_INFO* pInfo)
{
    if (!pInfo)
        return E_POINTER;
    pInfo->pFilter = m_filter;
    m_filter->AddRef();
    pInfo->dir = m_dir;
    wcsncpy(pInfo->achName, m_name.c_str(), MAX_PIN_NAME - 1);
    pInfo->achName[MAX_PIN_NAME - 1] = 0;
    return S_OK;
}

inline STDMETHODIMP CGraphTestPin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    if (!pReceivePin)
        return E_POINTER;
    if (m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_peer)
            return VFW_E_ALREADY_CONNECTED;
    }
    AM_MEDIA_TYPE mt{};
    mt.majortype = pmt ? pmt->majortype : m_majortype;
    if (!IsEqualGUID(mt.majortype, m_majortype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const HRESULT hr = pReceivePin->ReceiveConnection(this, &mt);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_lock);
    m_peer = pReceivePin;
    m_peer->AddRef();
    m_connectedType = mt.majortype;
    m_filter->Log()->Add(m_filter->Name() + ":Connect");
    return S_OK;
}

inline STDMETHODIMP CGraphTestPin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_peer)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsEqualGUID(pmt->majortype, m_majortype))
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_peer = pConnector;
    m_peer->AddRef();
    m_connectedType = pmt->majortype;
    return S_OK;
}

inline STDMETHODIMP CGraphTestPin::Disconnect()
{
    IPin* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_peer)
            return S_FALSE;
        old = m_peer;
        m_peer = nullptr;
    }
    m_filter->Log()->Add(m_filter->Name() + ":Disconnect" +
                         (m_dir == PINDIR_OUTPUT ? "Out" : "In"));
    old->Release();
    return S_OK;
}

// Renderer with the interfaces the graph forwards: IBasicAudio (a volume it
// keeps), IVideoFrameStep (it records the steps), IMediaSeeking and, when
// asked, IMediaPosition (a duration and a position the test sets).
class CGraphTestRenderer : public CGraphTestFilter,
                           public IBasicAudio,
                           public IVideoFrameStep,
                           public IMediaSeeking,
                           public IMediaPosition {
public:
    CGraphTestRenderer(const std::string& name, CCallLog* log,
                       const GUID& majortype = MEDIATYPE_Video)
        : CGraphTestFilter(name, log, 1, 0, majortype)
    {
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (riid == IID_IBasicAudio && m_offerAudio)
            return GetInterface(static_cast<IBasicAudio*>(this), ppv);
        if (riid == IID_IVideoFrameStep && m_offerStep)
            return GetInterface(static_cast<IVideoFrameStep*>(this), ppv);
        if (riid == IID_IMediaSeeking && m_offerSeeking)
            return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
        if (riid == IID_IMediaPosition && m_offerPosition)
            return GetInterface(static_cast<IMediaPosition*>(this), ppv);
        return CGraphTestFilter::NonDelegatingQueryInterface(riid, ppv);
    }

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override
    {
        return E_NOTIMPL;
    }
    // IBasicAudio
    STDMETHODIMP put_Volume(LONG lVolume) override
    {
        if (lVolume > 0 || lVolume < -10000)
            return E_INVALIDARG;
        m_volume = lVolume;
        return S_OK;
    }
    STDMETHODIMP get_Volume(LONG* plVolume) override
    {
        *plVolume = m_volume;
        return S_OK;
    }
    STDMETHODIMP put_Balance(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Balance(LONG*) override { return E_NOTIMPL; }
    // IVideoFrameStep
    STDMETHODIMP Step(DWORD dwFrames, IUnknown*) override
    {
        Log()->Add(Name() + ":Step" + std::to_string(dwFrames));
        return S_OK;
    }
    STDMETHODIMP CanStep(LONG, IUnknown*) override { return S_OK; }
    STDMETHODIMP CancelStep() override
    {
        Log()->Add(Name() + ":CancelStep");
        return S_OK;
    }
    // IMediaSeeking
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override
    {
        *pCapabilities = m_caps;
        return S_OK;
    }
    STDMETHODIMP CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override
    {
        return IsEqualGUID(*pFormat, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
    }
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override
    {
        *pFormat = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override
    {
        *pFormat = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override
    {
        return IsEqualGUID(*pFormat, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
    }
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override
    {
        return IsEqualGUID(*pFormat, TIME_FORMAT_MEDIA_TIME) ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override
    {
        *pDuration = m_duration;
        return S_OK;
    }
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override
    {
        *pStop = m_duration;
        return S_OK;
    }
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override
    {
        if (!m_knowsPosition)
            return E_NOTIMPL;
        *pCurrent = m_position;
        return S_OK;
    }
    STDMETHODIMP ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG*, DWORD) override
    {
        Log()->Add(Name() + ":SetPositions");
        if ((dwCurrentFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning)
            m_position = *pCurrent;
        return S_OK;
    }
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override
    {
        *pCurrent = m_position;
        *pStop = m_duration;
        return S_OK;
    }
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override
    {
        *pEarliest = 0;
        *pLatest = m_duration;
        return S_OK;
    }
    STDMETHODIMP SetRate(double dRate) override
    {
        m_rate = dRate;
        return S_OK;
    }
    STDMETHODIMP GetRate(double* pdRate) override
    {
        *pdRate = m_rate;
        return S_OK;
    }
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override
    {
        *pllPreroll = 0;
        return S_OK;
    }

    // IMediaPosition (seconds)
    STDMETHODIMP get_Duration(REFTIME* plength) override
    {
        *plength = m_duration / 1e7;
        return S_OK;
    }
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override
    {
        Log()->Add(Name() + ":put_CurrentPosition");
        m_position = static_cast<LONGLONG>(llTime * 1e7);
        return S_OK;
    }
    STDMETHODIMP get_CurrentPosition(REFTIME* pllTime) override
    {
        *pllTime = m_position / 1e7;
        return S_OK;
    }
    STDMETHODIMP get_StopTime(REFTIME* pllTime) override
    {
        *pllTime = m_duration / 1e7;
        return S_OK;
    }
    STDMETHODIMP put_StopTime(REFTIME) override { return E_NOTIMPL; }
    STDMETHODIMP get_PrerollTime(REFTIME* pllTime) override
    {
        *pllTime = 0;
        return S_OK;
    }
    STDMETHODIMP put_PrerollTime(REFTIME) override { return E_NOTIMPL; }
    STDMETHODIMP put_Rate(double dRate) override
    {
        m_rate = dRate;
        return S_OK;
    }
    STDMETHODIMP get_Rate(double* pdRate) override
    {
        *pdRate = m_rate;
        return S_OK;
    }
    STDMETHODIMP CanSeekForward(LONG* p) override
    {
        *p = OATRUE;
        return S_OK;
    }
    STDMETHODIMP CanSeekBackward(LONG* p) override
    {
        *p = OAFALSE;
        return S_OK;
    }

    bool m_offerPosition = false;
    bool m_offerAudio = true;
    bool m_offerStep = true;
    bool m_offerSeeking = true;
    bool m_knowsPosition = true;
    LONG m_volume = 0;
    DWORD m_caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                   AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetDuration |
                   AM_SEEKING_CanGetCurrentPos;
    LONGLONG m_duration = 0;
    LONGLONG m_position = 0;
    double m_rate = 1.0;
};

// COM for the test's thread and the leak check (TvComTest), the call log the
// test filters share, and a graph manager for the fixture's tests.
class GraphTest : public TvComTest {
protected:
    void TearDown() override
    {
        CloseGraph();
        TvComTest::TearDown();
    }

    // The fixture's graph manager through the registry: m_graph and its
    // m_control, m_events and m_filter (held by m_fg).
    void OpenGraph()
    {
        ASSERT_EQ(S_OK, m_fg.Create());
        m_graph = m_fg.Builder();
        m_control = m_fg.Control();
        m_events = m_fg.Events();
        m_filter = m_fg.MediaFilter();
    }
    // Releases it; the graph manager must go with the last reference.
    void CloseGraph()
    {
        if (m_graph) {
            EXPECT_EQ(0u, m_fg.Close());
        }
        m_graph = nullptr;
        m_control = nullptr;
        m_events = nullptr;
        m_filter = nullptr;
    }

    // A new graph manager through the registry, the test's own.
    static IGraphBuilder* NewGraph()
    {
        return CreateInstance<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    }
    // The interface, which the object must offer.
    template <class T> static T* Query(IUnknown* from, REFIID iid)
    {
        T* out = nullptr;
        EXPECT_EQ(S_OK, from->QueryInterface(iid, reinterpret_cast<void**>(&out)));
        return out;
    }

    CCallLog m_log;
    TvFilterGraph m_fg;
    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEventEx* m_events = nullptr;
    IMediaFilter* m_filter = nullptr;
};
