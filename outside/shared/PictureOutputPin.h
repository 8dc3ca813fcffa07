// CPictureOutputPin: the YUY2 output pin of the outside decoders. Besides
// what CTransformOutputPin does, it turns each decoded picture's size into a
// buffer to write into:
//
//   - the size of the type agreed with downstream: a buffer from the
//     allocator, no type on it;
//   - another size (the stream changed its picture size, or the JPEG 2000
//     reduce level changed): the new YUY2 type is offered downstream
//     (QueryAccept); when downstream takes it and the allocator's buffers are
//     too small they are re-sized; the buffer carries the new type, which
//     counts as agreed from then on. When downstream refuses, or the
//     buffers cannot grow (samples still held downstream), the picture is not
//     delivered (S_FALSE); the next picture asks again.
//
// So no picture is ever written past its buffer or described by a type of
// another size. When the downstream filter lends its own buffers
// (IPictureBufferSource, the frame processor), a picture of the agreed size
// is written into one of them instead, which spares downstream a copy.
//
// Threads: connection calls on the application thread (filter lock);
// GetPictureSample on the streaming thread with the filter's receive lock
// held. A Stop that races a re-size leaves the allocator committed: the
// filter calls EndStreaming from its StopStreaming, which runs after the pin
// went inactive, and the allocator is decommitted again there.
#pragma once

#include "IPictureBufferSource.h"

#include <streams.h>

class CPictureOutputPin : public CTransformOutputPin {
public:
    CPictureOutputPin(CTransformFilter* filter, HRESULT* phr, LPCWSTR name = L"Output");

    // Records the agreed type's size and frame time.
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;

    // Streaming thread, receive lock held (see above). S_OK with a buffer of
    // at least the picture's bytes in *ppSample (the caller releases it);
    // S_FALSE with null: this picture cannot go downstream; a failure: the pin
    // does not stream (stopped or not connected).
    HRESULT GetPictureSample(int width, int height, IMediaSample** ppSample);
    // From StopStreaming (receive lock held, pin inactive).
    void EndStreaming();

    // The size of the type downstream has now (0 x 0 unconnected). Any thread.
    void AgreedSize(int* width, int* height);

private:
    CCritSec m_sizeLock; // guards the four below
    int m_width = 0;
    int m_height = 0;
    REFERENCE_TIME m_avgTimePerFrame = 0;
    IPictureBufferSource* m_pLender = nullptr; // not add-referenced (see PictureBufferSourceOf)
};
