// CTransformFilter: a filter with one input and one output pin that turns each
// input sample into one output sample (a decoder, a converter, a processor).
//
// A derived filter supplies the media-type checks (CheckInputType,
// CheckTransform, GetMediaType), the output allocator's size
// (DecideBufferSize) and Transform; the base does everything else:
//   - Connection. The input pin connects first; the output pin offers types
//     and accepts a connection only while the input is connected, and a new
//     input type is checked against a connected output with CheckTransform.
//   - Streaming. The input pin's Receive (on the upstream streaming thread,
//     under the receive lock) calls the filter's Receive, which takes an output
//     buffer from the output allocator, copies the input's time stamps, media
//     times and flags (sync point, discontinuity, preroll) onto it
//     (InitializeOutputSample), calls Transform and delivers the output
//     downstream. Transform returning S_FALSE drops the output sample: the
//     skip is remembered (the next buffer is asked for with
//     AM_GBF_PREVFRAMESKIPPED until a discontinuity) and the graph is told once
//     with EC_QUALITY_CHANGE. A failure from Transform is returned upstream.
//   - Stream events. EndOfStream (in order with samples, under the receive
//     lock), BeginFlush/EndFlush and NewSegment go downstream through the
//     output pin.
//   - State. Pause from stopped calls StartStreaming, Stop calls StopStreaming
//     (both with the receive lock held, so never while a sample is being
//     transformed). A filter whose input is not connected delivers
//     EndOfStream downstream once when it pauses, so the graph can complete.
//   - Quality. A quality message from downstream goes to AlterQuality; unless
//     the filter handles it (anything but S_FALSE), it is passed upstream.
//   - Seeking. The output pin answers IMediaSeeking and IMediaPosition with a
//     pass-through to the upstream filter (posthru.h).
//
// Locks. m_csFilter is the filter (state) lock: application thread only.
// m_csReceive serialises the streaming calls (Receive, EndOfStream) with Stop
// and with the derived class's own streaming state. Stop never holds the
// receive lock while it decommits the allocators: that is what wakes a
// Receive blocked in GetBuffer, so Stop cannot deadlock against it. Lock
// order: m_csFilter, then m_csReceive.
#pragma once

#include <atomic>

#include "amfilter.h"
#include "mtype.h"
#include "wxutil.h"

class CTransformFilter;

// The input pin ("XForm In" unless the filter creates its own pins).
class CTransformInputPin : public CBaseInputPin {
    friend class CTransformFilter;

public:
    CTransformInputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                       LPCWSTR pName);

    // "In".
    STDMETHODIMP QueryId(LPWSTR* Id) override;

    // Connection steps: the filter's CheckConnect/BreakConnect/CompleteConnect
    // for PINDIR_INPUT, then the base pin's.
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    // CheckInputType, and CheckTransform against a connected output's type.
    HRESULT CheckMediaType(const CMediaType* mtIn) override;
    // Stores the type, then tells the filter (SetMediaType for PINDIR_INPUT).
    HRESULT SetMediaType(const CMediaType* mt) override;

    // Streaming thread, under the receive lock.
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP EndOfStream() override;
    // Application thread, under the filter lock. VFW_E_NOT_CONNECTED unless
    // both pins are connected.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    // Records the segment and passes it on (streaming thread).
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    CMediaType& CurrentMediaType() { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
};

// The output pin ("XForm Out" unless the filter creates its own pins).
class CTransformOutputPin : public CBaseOutputPin {
    friend class CTransformFilter;

public:
    CTransformOutputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                        LPCWSTR pName);
    ~CTransformOutputPin() override;

    // IMediaSeeking and IMediaPosition (created on first request: a
    // pass-through over the input pin), then the base pin's interfaces.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // "Out".
    STDMETHODIMP QueryId(LPWSTR* Id) override;

    // E_UNEXPECTED while the input pin is not connected; then the filter's
    // CheckConnect for PINDIR_OUTPUT and the base pin's.
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    // CheckTransform from the input's type (E_INVALIDARG without an input).
    HRESULT CheckMediaType(const CMediaType* mtOut) override;
    // Stores the type, then tells the filter (VFW_E_NOT_CONNECTED without an
    // input).
    HRESULT SetMediaType(const CMediaType* pmt) override;
    // The filter's DecideBufferSize.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    // The filter's GetMediaType while the input is connected, else
    // VFW_S_NO_MORE_ITEMS (nothing to offer yet).
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;

    // A quality message from downstream: AlterQuality, and upstream when the
    // filter leaves it (S_FALSE).
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q) override;

    CMediaType& CurrentMediaType() { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
    // The pass-through's non-delegating unknown, created on demand. Its own
    // lock: QueryInterface may come on any thread, a streaming thread too,
    // which must not take the filter lock.
    CCritSec m_positionLock;
    IUnknown* m_pPosition = nullptr; // guarded by m_positionLock
};

class CTransformFilter : public CBaseFilter {
public:
    CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid);
    ~CTransformFilter() override;

    // Two pins, created together on the first GetPin; GetPin returns null
    // for any other index (or when the pins cannot be created).
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    // "In" and "Out" (the pins' ids) as well as the pins' names.
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;

    // Application thread, under the filter lock.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;

    // ---- what a derived filter supplies ----

    // Fills pOut from pIn (the output's times and flags are already set).
    // S_OK delivers pOut, S_FALSE drops it, a failure is returned upstream.
    // Streaming thread, receive lock held. The base gives E_UNEXPECTED: a
    // filter that overrides Receive instead need not implement it.
    virtual HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut);
    // S_OK when the filter accepts this input type.
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    // S_OK when the filter can turn mtIn into mtOut.
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    // Sets the output allocator's properties (IMemAllocator::SetProperties).
    virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) = 0;
    // The output types the filter offers, as CBasePin::GetMediaType.
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) = 0;

    // Streaming starts (stopped to paused) and ends (to stopped); receive
    // lock held. A failure from StartStreaming fails the Pause.
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    // A quality message from downstream; S_FALSE passes it upstream.
    virtual HRESULT AlterQuality(Quality q);
    // A pin's type was agreed (filter lock held).
    virtual HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt);
    // Connection hooks for either pin (filter lock held).
    virtual HRESULT CheckConnect(PIN_DIRECTION dir, IPin* pPin);
    virtual HRESULT BreakConnect(PIN_DIRECTION dir);
    virtual HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* pReceivePin);

    // The streaming path (see the header comment); streaming thread, receive
    // lock held. A filter may override Receive to do its own delivery.
    virtual HRESULT Receive(IMediaSample* pSample);
    // A buffer from the output allocator with the input sample's properties
    // (times, media times, sync point, preroll, discontinuity, type-specific
    // flags). The caller releases *ppOutSample.
    HRESULT InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample);

    // Stream events, passed downstream through the output pin.
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

protected:
    // Creates the base classes' two pins under these names unless they exist
    // (a filter whose pins have names of their own calls it from GetPin before
    // the base GetPin). False when they cannot be created.
    bool CreateTransformPins(LPCWSTR inputName, LPCWSTR outputName);

    // Filter lock: EndOfStream was sent for an unconnected input.
    BOOL m_bEOSDelivered = FALSE;
    // Streaming thread, and reset by Pause on the application thread (a pause
    // from running may come while samples flow): atomic.
    std::atomic<BOOL> m_bSampleSkipped{
        FALSE}; // Transform dropped a sample since the last discontinuity
    std::atomic<BOOL> m_bQualityChanged{FALSE}; // EC_QUALITY_CHANGE sent since the last Pause

    CCritSec m_csFilter;  // the filter lock
    CCritSec m_csReceive; // the streaming lock

    friend class CTransformInputPin;
    friend class CTransformOutputPin;
    // Created by GetPin (or by a derived class that makes its own pins);
    // deleted by the filter.
    CTransformInputPin* m_pInput = nullptr;
    CTransformOutputPin* m_pOutput = nullptr;
};
