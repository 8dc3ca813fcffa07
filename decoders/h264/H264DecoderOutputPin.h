// H264DecoderOutputPin: "Output" of the H.264 decoder filter. It offers one
// YUY2 type of the filter's picture size and delivers every picture in one
// sample of its own, reused: the downstream pin must be done with it when its
// Receive returns. The allocator agreed at connection is the upstream one,
// passed on; it is never used for output.
//
// When a decoded picture's size differs from the type downstream has, the
// pin offers the new type (QueryAccept) and attaches it to the sample; the
// sample's buffer grows when the picture needs more room. A refused size is
// not delivered. A downstream filter that lends its own buffers
// (IPictureBufferSource, the frame processor) gets each picture of the agreed
// size written into one of them instead, which spares it a copy.
//
// Threads: connection and state calls on the application thread (filter
// lock); PrepareSample and the Deliver* calls on the streaming thread with
// the receive lock held (BeginFlush/EndFlush: filter lock).
#pragma once

#include "IPictureBufferSource.h"

#include <streams.h>

#include <memory>

class TarvoH264DecoderFilter;

class H264DecoderOutputPin : public CBaseOutputPin {
public:
    // The sample's buffer as made; larger pictures grow it.
    static constexpr LONG kSampleBytes = 2048000;

    H264DecoderOutputPin(TarvoH264DecoderFilter* filter, HRESULT* phr);
    ~H264DecoderOutputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc) override;
    HRESULT DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*) override { return S_OK; }
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Through the output queue while the pin is active; nothing otherwise.
    HRESULT DeliverEndOfStream() override;
    HRESULT DeliverBeginFlush() override;
    HRESULT DeliverEndFlush() override;
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // A sample ready for a width x height YUY2 picture (width * 2 bytes a row),
    // with a reference for the caller to release after delivering it: one
    // lent by downstream when it lends one, else the pin's own (see above).
    // Null when the picture cannot go downstream. Streaming thread, receive
    // lock held.
    IMediaSample* PrepareSample(UINT width, UINT height);
    // Called after each delivery: the sample carries a new type only once.
    void SampleDelivered();

private:
    TarvoH264DecoderFilter* const m_pFilter;
    COutputQueue* m_pQueue = nullptr; // created by Active, deleted by Inactive
    IUnknown* m_pPosition = nullptr;  // the seeking pass-through, made on first request

    // Guarded by the receive lock.
    CMediaSample* m_pSample = nullptr; // one reference held for the pin's life
    std::unique_ptr<BYTE[]> m_buffer;
    LONG m_bufferSize = 0;
    UINT m_typeWidth = 0; // the size of the type downstream has
    UINT m_typeHeight = 0;
    bool m_typePending = false; // the own sample carries a new type not yet delivered
    // The connected filter's lender, if it is one. Not add-referenced: the
    // connection holds the filter.
    IPictureBufferSource* m_pLender = nullptr;
};
