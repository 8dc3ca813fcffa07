// The filter and pin base classes: CBaseFilter, CBasePin, CBaseOutputPin,
// CBaseInputPin, and the enumerators CEnumPins and CEnumMediaTypes.
//
// Threads and locks (DirectShow's contract):
//   - The filter lock (m_pLock, given by the derived filter) guards the filter
//     state, the clock, the graph membership and every pin's connection. The
//     application thread takes it for state changes, connections and queries.
//   - Streaming threads (the thread that calls Receive, or a source's own
//     thread) never take the filter lock: the application thread may hold it
//     while it waits for streaming to stop. Whatever a streaming thread reads
//     of the filter state is atomic (m_State, the flushing and error flags).
//   - A pin's connection, allocator and media type change only while the
//     filter is stopped, so a streaming thread may use them without a lock.
//   - A filter never calls into the graph (NotifyEvent excepted) while holding
//     its lock.
//
// Reference counts: pins and the filter share one count. A pin's
// AddRef/Release go to its filter (pins live as long as the filter and are
// deleted by it), so holding any pin keeps the whole filter alive.
#pragma once

#include <atomic>

#include "amalloc.h"
#include "mtype.h"
#include "reftime.h"
#include "wxutil.h"

class CBasePin;
class CEnumPins;
class CEnumMediaTypes;
struct AMOVIESETUP_FILTER;
typedef const AMOVIESETUP_FILTER* LPAMOVIESETUP_FILTER;

class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    // pLock: the filter lock (owned by the derived class; it must outlive the
    // filter's use of it). clsid: what GetClassID reports.
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid);
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, HRESULT* phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    // IBaseFilter, IMediaFilter, IPersist.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist.
    STDMETHODIMP GetClassID(CLSID* pClsID) override;

    // IMediaFilter. Application thread; each takes the filter lock.
    // Stop: every connected pin goes Inactive (the first failure is returned,
    // but every pin is stopped); Pause from stopped: every connected pin goes
    // Active (a failure leaves the filter stopped, with the pins activated
    // before the failing one made inactive again); Run: pauses first when
    // stopped, then calls Run(tStart) on every connected pin.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    // The current state at once (a filter that needs time to pause overrides
    // this and may answer VFW_S_STATE_INTERMEDIATE).
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    // The clock is add-referenced; null removes it.
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

    // IBaseFilter.
    STDMETHODIMP EnumPins(IEnumPins** ppEnum) override;
    // The pin whose name is Id; VFW_E_NOT_FOUND otherwise.
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo) override;
    // The graph is not add-referenced (it holds the filter, not the other way
    // round); neither is its IMediaEventSink. pName is copied. A null graph
    // leaves the graph.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    // E_NOTIMPL.
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // Stream time: the clock's time minus the start time of the last Run.
    // VFW_E_NO_CLOCK without a clock. Any thread: streaming threads call it
    // (to stamp or log samples), so it does not take the filter lock, only
    // the small lock that guards the clock pointer and the start time.
    virtual HRESULT StreamTime(CRefTime& rtStream);

    BOOL IsActive() const { return m_State != State_Stopped; }
    BOOL IsStopped() const { return m_State == State_Stopped; }

    // Sends an event to the graph's IMediaEventSink (E_NOTIMPL outside a
    // graph). EC_COMPLETE carries this filter as its second parameter. Any
    // thread; takes no lock.
    HRESULT NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);
    // The graph the filter is in (not add-referenced), or null.
    IFilterGraph* GetFilterGraph() { return m_pGraph; }
    // Asks the graph to reconnect pPin (E_NOINTERFACE outside a graph).
    HRESULT ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE* pmt);

    // Pin enumeration support: the pins change only together with the version.
    virtual LONG GetPinVersion() { return m_PinVersion; }
    void IncrementPinVersion() { ++m_PinVersion; }

    // The filter's pins, indexed from 0; GetPin returns null past the end.
    // The pointers are not add-referenced.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;

    // The filter's registration data (null: nothing beyond the class keys).
    virtual LPAMOVIESETUP_FILTER GetSetupData() { return nullptr; }

    // The filter lock (for pins and derived classes).
    CCritSec* pStateLock() { return m_pLock; }

protected:
    // Guarded by *m_pLock; m_State is also read without it by streaming threads.
    std::atomic<FILTER_STATE> m_State{State_Stopped};
    // Written under *m_pLock and m_csClock; read under either.
    IReferenceClock* m_pClock = nullptr;
    CRefTime m_tStart;
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName = nullptr; // the name given at JoinFilterGraph (new[])
    IFilterGraph* m_pGraph = nullptr;
    IMediaEventSink* m_pSink = nullptr;
    std::atomic<LONG> m_PinVersion{1};

    friend class CBasePin;

private:
    CCritSec m_csClock; // see m_pClock and m_tStart
};

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // pName: the pin's name (copied) as QueryPinInfo and QueryId report it.
    CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
             LPCWSTR pName, PIN_DIRECTION dir);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    // IPin, IQualityControl.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // The filter's count.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin. Application thread; connection calls take the filter lock.
    // Connect: VFW_E_ALREADY_CONNECTED, VFW_E_NOT_STOPPED (unless reconnection
    // while active is allowed); a complete pmt is tried alone, otherwise the
    // receiving pin's types and then this pin's (the other order with
    // m_bTryMyTypesFirst) are tried for those matching pmt. Failure:
    // VFW_E_NO_ACCEPTABLE_TYPES, or the most telling error of an attempt.
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    // The other side of Connect: CheckConnect, CheckMediaType (a refusal is
    // VFW_E_TYPE_NOT_ACCEPTED), SetMediaType, CompleteConnect.
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
    // VFW_E_NOT_STOPPED while the filter runs; S_FALSE when not connected.
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pPin) override;
    // VFW_E_NOT_CONNECTED (and an empty type) when not connected.
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR* Id) override;
    // S_OK when CheckMediaType accepts the type, S_FALSE otherwise.
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    // E_NOTIMPL: every input reaches every output.
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    // S_OK (input pins override this).
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    // Records the segment (streaming thread).
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IQualityControl. Notify: E_NOTIMPL here (pins that pass quality messages
    // on override it). SetSink: the sink is not add-referenced; set it while
    // the filter is stopped (Notify reads it on streaming threads unlocked).
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl* piqc) override;

    // Connection steps a derived pin supplies or extends (filter lock held).
    // CheckMediaType: S_OK to accept, anything else refuses.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    // Stores the agreed type in m_mt.
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    // Checks the other pin before any type is tried (the base refuses a pin
    // of the same direction with VFW_E_INVALID_DIRECTION).
    virtual HRESULT CheckConnect(IPin* pPin);
    // Undoes CheckConnect/CompleteConnect after a failed attempt or on
    // disconnection.
    virtual HRESULT BreakConnect();
    // The last step of a connection (the type is agreed).
    virtual HRESULT CompleteConnect(IPin* pReceivePin);
    // The pin's preferred types from position 0 on: S_OK with *pMediaType set;
    // VFW_S_NO_MORE_ITEMS past the end; E_INVALIDARG below 0. The base has
    // none (E_UNEXPECTED).
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);
    // Enumerators of this pin's types notice a change of this version.
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion() { ++m_TypeVersion; }

    // State changes passed on by the filter (filter lock held).
    virtual HRESULT Active() { return S_OK; }
    // Clears the run-time error flag.
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME tStart);

    BOOL IsConnected() const { return m_Connected != nullptr; }
    // The filter's state (any thread).
    BOOL IsStopped() const { return m_pFilter->m_State == State_Stopped; }
    // The connected pin, not add-referenced (null when not connected).
    IPin* GetConnected() const { return m_Connected; }
    LPWSTR Name() const { return m_pName; }
    const CMediaType& CurrentMediaType() const { return m_mt; }

    BOOL CanReconnectWhenActive() const { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(bool bCanReconnect) { m_bCanReconnectWhenActive = bCanReconnect; }

    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    double CurrentRate() const { return m_dRate; }

protected:
    // Negotiation (filter lock held).
    virtual HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    // Breaks the connection without the stopped check (S_FALSE when none).
    HRESULT DisconnectInternal();

    WCHAR* m_pName = nullptr;
    // Guarded by the filter lock; changed only while stopped.
    IPin* m_Connected = nullptr; // add-referenced
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    // Set by a streaming thread on a fatal stream error, cleared by Inactive
    // and EndFlush.
    std::atomic<bool> m_bRunTimeError{false};
    bool m_bCanReconnectWhenActive = false;
    bool m_bTryMyTypesFirst = false;
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink = nullptr; // not add-referenced
    std::atomic<LONG> m_TypeVersion{1};
    CMediaType m_mt; // the connection's type
    // The current segment (streaming thread).
    CRefTime m_tStart;
    CRefTime m_tStop{(REFERENCE_TIME)0x7FFFFFFFFFFFFFFFLL};
    double m_dRate = 1.0;
};

// IEnumPins over a filter's pins. The filter is add-referenced for the
// enumerator's life. When the filter's pin version changes, Next, Skip and
// Clone answer VFW_E_ENUM_OUT_OF_SYNC until Reset.
class CEnumPins : public CUnknown, public IEnumPins {
public:
    // pEnumPins: an enumerator to copy the position from (Clone), or null.
    CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins);
    ~CEnumPins() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // S_OK when cPins pins were returned, S_FALSE for fewer; a null pcFetched
    // is allowed only for cPins 1 (E_INVALIDARG otherwise).
    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    // S_FALSE when fewer than cPins are left (the position then goes to the end).
    STDMETHODIMP Skip(ULONG cPins) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins** ppEnum) override;

private:
    bool AreWeOutOfSync() const { return m_pFilter->GetPinVersion() != m_Version; }

    // An enumerator is used by one thread at a time (COM's rule).
    CBaseFilter* const m_pFilter;
    int m_Position = 0;
    LONG m_Version;
};

// IEnumMediaTypes over a pin's GetMediaType. The pin (and so its filter) is
// add-referenced. Each type handed out is a CoTaskMemAlloc record the caller
// frees with DeleteMediaType.
class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes);
    ~CEnumMediaTypes() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // As CEnumPins::Next (E_POINTER for a null array); the pin's type version
    // plays the part of the pin version.
    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

private:
    bool AreWeOutOfSync() const { return m_pPin->GetMediaTypeVersion() != m_Version; }

    CBasePin* const m_pPin;
    int m_Position = 0;
    LONG m_Version;
};

// An output pin that delivers samples to an IMemInputPin.
//
// Application thread (filter lock held): CheckConnect takes the downstream
// IMemInputPin; CompleteConnect decides the allocator; Active commits it and
// Inactive decommits it (waking a streaming thread blocked in
// GetDeliveryBuffer); BreakConnect releases both.
// Streaming thread: GetDeliveryBuffer, Deliver and the Deliver* stream events,
// without the filter lock.
class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName);
    ~CBaseOutputPin() override;

    HRESULT CompleteConnect(IPin* pReceivePin) override;
    // Takes the downstream allocator when DecideBufferSize and NotifyAllocator
    // accept it, else one from InitAllocator. The downstream pin's
    // requirements (GetAllocatorRequirements) are passed to DecideBufferSize,
    // with an alignment of at least 1.
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** pAlloc);
    // Sets the allocator's properties (SetProperties) from the downstream
    // request in *ppropInputRequest and the pin's own needs.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc,
                                     ALLOCATOR_PROPERTIES* ppropInputRequest) = 0;
    // A new CMemAllocator.
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);

    // Streaming thread. E_NOINTERFACE without an allocator; otherwise the
    // allocator's GetBuffer (blocks while every buffer is out;
    // VFW_E_NOT_COMMITTED once the pin is inactive).
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // Receive on the downstream pin; VFW_E_NOT_CONNECTED when not connected.
    // The caller keeps its reference to the sample.
    virtual HRESULT Deliver(IMediaSample* pSample);
    // The stream events, to the connected pin (VFW_E_NOT_CONNECTED otherwise).
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    // Commits the allocator (VFW_E_NO_ALLOCATOR without one).
    HRESULT Active() override;
    // Decommits the allocator (VFW_E_NO_ALLOCATOR without one).
    HRESULT Inactive() override;

    // An output pin receives no stream events: E_UNEXPECTED.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

protected:
    // Guarded by the filter lock; changed only while stopped.
    IMemAllocator* m_pAllocator = nullptr; // add-referenced
    IMemInputPin* m_pInputPin = nullptr;   // add-referenced
};

// An input pin that receives samples through IMemInputPin.
//
// Application thread: the connection calls, GetAllocator/NotifyAllocator
// (filter lock), BeginFlush/EndFlush (filter lock; a derived pin passes them
// downstream after calling these). Streaming thread: Receive,
// ReceiveMultiple, EndOfStream, NewSegment; they take no filter lock.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                  LPCWSTR pName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    // IMemInputPin + CBasePin's interfaces.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin.
    // The pin's allocator, created (a CMemAllocator) on first use.
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    // Takes the allocator upstream chose (add-referenced) and the read-only flag.
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    // E_NOTIMPL: no requirements.
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    // Checks that the pin may take a sample (CheckStreaming) and reads the
    // sample's properties into m_SampleProps; a sample announcing a new type
    // that CheckMediaType refuses is a run-time error: the pin sends
    // EndOfStream to itself, EC_ERRORABORT to the graph and answers
    // VFW_E_INVALIDMEDIATYPE. A derived pin calls this first and processes
    // the sample when it returns S_OK.
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    // Receive for each sample until one does not return S_OK.
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                 LONG* nSamplesProcessed) override;
    // S_OK when a Receive may block: when the filter has no connected output
    // pin, or when a downstream pin's Receive may block; else S_FALSE.
    STDMETHODIMP ReceiveCanBlock() override;

    // Enters flushing: Receive refuses samples with S_FALSE until EndFlush.
    STDMETHODIMP BeginFlush() override;
    // Leaves flushing and clears the run-time error flag.
    STDMETHODIMP EndFlush() override;

    // Quality messages arriving at an input pin go to the sink set with
    // SetSink, else upstream to the connected output pin (VFW_E_NOT_FOUND
    // when neither exists). Any thread (usually a streaming thread); no lock.
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;

    // S_OK when a sample may be received now; VFW_E_NOT_CONNECTED,
    // VFW_E_WRONG_STATE when stopped, S_FALSE while flushing,
    // VFW_E_RUNTIME_ERROR after a run-time error. Streaming thread.
    virtual HRESULT CheckStreaming();

    HRESULT BreakConnect() override;
    // Decommits the allocator (VFW_E_NO_ALLOCATOR without one), which wakes
    // an upstream thread blocked in GetBuffer.
    HRESULT Inactive() override;

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    // The properties of the sample being received (streaming thread).
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }

protected:
    IMemAllocator* m_pAllocator = nullptr; // filter lock; add-referenced
    BOOL m_bReadOnly = FALSE;              // filter lock
    std::atomic<bool> m_bFlushing{false};  // set under the filter lock, read anywhere
    // Streaming thread only. pMediaType points at m_sampleType (a copy) or at
    // the sample's own type; valid during Receive.
    AM_SAMPLE2_PROPERTIES m_SampleProps{};

private:
    CMediaType m_sampleType;
};
