// CTarvoSplitterVideoOutputPin: "Video Out". Offers the media type of the
// stream once its sequence header is known, delivers the delivery thread's
// samples through an output queue of its own thread (created in Active),
// counts the bytes it delivers and tells the graph when the first non-empty
// sample went out (EC_USER 10011). Its IMediaPosition works on record files
// (duration, position, seeking and rate through the parser) and, with a frame
// queue, on the queue's rate. See CTarvoSplitterOutputPin for the rest.
//
// Threads: connection, Active/Inactive, IMediaPosition and IStreamBuilder on
// the application thread (filter lock); Deliver on the delivery thread. The
// output queue pointer is guarded by m_queueLock, so Inactive never frees the
// queue under a Deliver.
#pragma once

#include "CBaseParser.h"
#include "CTarvoSplitterOutputPin.h"

class CTarvoSplitterVideoOutputPin : public CTarvoSplitterOutputPin {
public:
    static constexpr LONG kBufferSize = 0x100000;

    CTarvoSplitterVideoOutputPin(CTarvoSplitterF* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CTarvoSplitterVideoOutputPin() override;

    // Position 0 while the input pin is connected (see CTarvoSplitterF::VideoMediaType).
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
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

private:
    // The parser's value (0 without a record file), under the filter lock.
    int64_t FileValue(int64_t (CBaseParser::*get)());

    CCritSec m_queueLock;
    COutputQueue* m_pOutputQueue = nullptr; // guarded by m_queueLock
};
