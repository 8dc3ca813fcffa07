// CTarvoSplitterOutputPin: what "Video Out" and "Audio Out" share. Each takes
// one major type, asks its allocator for one buffer of its size, counts the
// bytes it delivers (cleared when it goes active) and tells the graph when the
// first sample since construction or Stop went out (EC_USER with the pin's
// event parameter, for samples of at least the pin's minimum length). Both
// answer IStreamBuilder and IMediaPosition.
//
// IStreamBuilder: building the decoding chain behind a pin is not part of the
// splitter yet: Render answers E_NOTIMPL (E_POINTER for null arguments) and
// Backout, holding no filter, S_OK.
// IMediaPosition: the four IDispatch methods answer S_OK and do nothing (the
// position is used through the vtable only; there is no type library); both
// pins can seek either way. The position methods proper are the pins' own.
//
// Threads: connection and Active/Inactive on the application thread (filter
// lock); CountDelivered on the thread that delivers. The counters and the
// connected flag are atomics.
#pragma once

#include <streams.h>

#include <atomic>

class CTarvoSplitterF;

class CTarvoSplitterOutputPin : public CBaseOutputPin,
                                public IStreamBuilder,
                                public IMediaPosition {
public:
    struct Traits {
        const GUID* majorType;
        LONG bufferSize;
        LONG_PTR firstSampleEvent;
        LONG firstSampleMinLength;
    };

    CTarvoSplitterOutputPin(LPCTSTR objectName, CTarvoSplitterF* pFilter, CCritSec* pLock,
                            HRESULT* phr, LPCWSTR name, const Traits& traits);

    DECLARE_IUNKNOWN
    // IStreamBuilder, IMediaPosition and IDispatch besides the pin's own.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // The pin's major type only.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // One buffer of the pin's size; fails when the allocator grants fewer bytes.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    // Commits the allocator and clears the byte counter.
    HRESULT Active() override;

    // IStreamBuilder.
    STDMETHODIMP Render(IPin* ppinOut, IGraphBuilder* pGraph) override;
    STDMETHODIMP Backout(IPin* ppinOut, IGraphBuilder* pGraph) override;

    // IDispatch.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgdispid) override;
    STDMETHODIMP Invoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                        UINT* puArgErr) override;
    // IMediaPosition: S_OK, OATRUE.
    STDMETHODIMP CanSeekForward(LONG* pCanSeekForward) override;
    STDMETHODIMP CanSeekBackward(LONG* pCanSeekBackward) override;

    LONGLONG DeliveredBytes() const { return m_deliveredBytes; }
    bool IsOutputConnected() const { return m_connected; }
    // Stop: the next sample long enough tells the graph again.
    void ClearFirstSample() { m_firstSampleSent = false; }

protected:
    // A sample of length bytes went out.
    void CountDelivered(LONG length);

    CTarvoSplitterF* const m_pSplitter;

private:
    const Traits m_traits;
    std::atomic<LONGLONG> m_deliveredBytes{0};
    std::atomic<bool> m_firstSampleSent{false};
    std::atomic<bool> m_connected{false};
};
