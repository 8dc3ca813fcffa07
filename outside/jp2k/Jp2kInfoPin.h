// CJp2kInfoPin: the JPEG 2000 decoder's second output ("Info"), which carries
// one 128-byte frame information packet (MEDIATYPE_Text) before each picture
// to the frame processor's "Overlay Input".
//
// Threads: connection and state calls on the application thread (filter
// lock); DeliverPacket on the streaming thread with the filter's receive
// lock held.
#pragma once

#include <streams.h>

#include <span>

class CJp2kInfoPin : public CBaseOutputPin {
public:
    CJp2kInfoPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

    // One packet downstream (nothing when unconnected); the downstream
    // result, or the failure to get a buffer.
    HRESULT DeliverPacket(std::span<const uint8_t> packet);
};
