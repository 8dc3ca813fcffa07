// CNWSourceStream: the network source's single output pin ("Out Pin!"). It owns
// the receiver (and with it the 5 MiB ring) for its whole life and, on the
// pin's streaming thread, delivers whatever the ring holds: up to one sample
// (102400 bytes, one buffer) at a time, without time stamps, every sample a
// sync point. An empty ring is waited on (its data event, and the thread's
// requests), not polled: bytes go out as soon as they come, and while nothing
// comes an empty sample goes out every kIdleSampleMs.
#pragma once

#include "CNetReceiver.h"

#include <source.h>

#include <atomic>

class CNWSourceFilter;

class CNWSourceStream : public CSourceStream {
public:
    static constexpr LONG kRingCapacity = 0x500000;
    static constexpr LONG kSampleSize = 102400;
    static constexpr DWORD kIdleSampleMs = 1000;

    // Adds itself to the filter. *phr: E_OUTOFMEMORY when the receiver cannot
    // be created.
    CNWSourceStream(HRESULT* phr, CNWSourceFilter* pFilter);
    ~CNWSourceStream() override;

    // Null while construction failed.
    CNetReceiver* Receiver() { return m_pReceiver; }
    // Samples and bytes delivered with data since the pin last became active.
    void GetDeliveryStatistics(LONGLONG* samples, LONGLONG* length) const;

protected:
    // Streaming thread.
    HRESULT FillBuffer(IMediaSample* pSample) override;
    HRESULT OnThreadCreate() override;
    // Application thread, under the filter lock.
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override;
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    using CSourceStream::GetMediaType;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    // Stopped to paused: the counters restart and what arrived while stopped
    // is dropped, then the streaming thread starts.
    HRESULT Active() override;

private:
    CNetReceiver* m_pReceiver;
    // written by the streaming thread and Active, read by any thread
    std::atomic<LONGLONG> m_deliverSamples{0};
    std::atomic<LONGLONG> m_deliverLength{0};
};
