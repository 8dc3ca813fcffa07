// CTarvoSplitterVideoOutputPin: "Video Out". Offers the media type of the
// stream once its sequence header is known, delivers the delivery thread's
// samples through an output queue of its own thread (created in Active),
// counts the bytes it delivers and tells the graph when the first sample went
// out (EC_USER 10011). It answers IMediaPosition (record files: duration,
// position, seeking and rate through the parser; with a frame queue: the
// queue's rate) and IStreamBuilder.
//
// IStreamBuilder: see CSplitterStreamBuilder (the chain is not built yet).
//
// Threads: connection, Active/Inactive, IMediaPosition and IStreamBuilder on
// the application thread (filter lock); Deliver on the delivery thread. The
// output queue pointer is guarded by m_queueLock, so Inactive never frees the
// queue under a Deliver.
#pragma once

#include "SplitterPinInterfaces.h"

#include <streams.h>

#include <atomic>

class CTarvoSplitterF;

class CTarvoSplitterVideoOutputPin : public CBaseOutputPin,
                                     public CSplitterStreamBuilder,
                                     public CSplitterPositionBase {
public:
    static constexpr LONG kBufferSize = 0x100000;

    CTarvoSplitterVideoOutputPin(CTarvoSplitterF* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CTarvoSplitterVideoOutputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // MEDIATYPE_Video only.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // Position 0 while the input pin is connected (see CTarvoSplitterF::VideoMediaType).
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    // One buffer of 0x100000 bytes; fails when the allocator grants fewer bytes.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    // Creates the output queue (10 samples, its own thread, batches of 1) and
    // clears the byte counter; Inactive destroys the queue.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Delivery thread: through the output queue; counts the bytes and sends
    // EC_USER 10011 on the first non-empty sample since construction or Stop.
    HRESULT Deliver(IMediaSample* pSample) override;
    HRESULT DeliverEndOfStream() override;
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IMediaPosition (filter lock). Positions in seconds.
    STDMETHODIMP get_Duration(REFTIME* plength) override;
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override;
    STDMETHODIMP get_CurrentPosition(REFTIME* pllTime) override;
    STDMETHODIMP get_StopTime(REFTIME* pllTime) override;
    STDMETHODIMP put_StopTime(REFTIME llTime) override;
    STDMETHODIMP get_PrerollTime(REFTIME* pllTime) override;
    STDMETHODIMP put_PrerollTime(REFTIME llTime) override;
    STDMETHODIMP put_Rate(double dRate) override;
    STDMETHODIMP get_Rate(double* pdRate) override;

    LONGLONG DeliveredBytes() const { return m_deliveredBytes; }
    bool IsOutputConnected() const { return m_connected; }
    // Stop: the next non-empty sample sends the graph event again.
    void ClearFirstSample() { m_firstSampleSent = false; }

private:
    CTarvoSplitterF* const m_pSplitter;
    CCritSec m_queueLock;
    COutputQueue* m_pOutputQueue = nullptr; // guarded by m_queueLock
    std::atomic<LONGLONG> m_deliveredBytes{0};
    std::atomic<bool> m_firstSampleSent{false};
    std::atomic<bool> m_connected{false};
};
