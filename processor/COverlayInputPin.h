// COverlayInputPin: the frame processor's third pin, "Overlay Input". It
// takes the 128-byte frame information packets that the JPEG 2000 decoder
// sends with each picture (major type MEDIATYPE_Text) and keeps the
// processor's caption (ID 0) and time line (ID 1) and its frame time up to
// date (OverlayInfoPacket.h).
//
// Threads: Receive on the upstream filter's streaming thread (no filter
// lock); the connection calls on the application thread under the filter
// lock. The pin uses the overlay list like any other caller, through its lock.
#pragma once

#include "CPictureProcessor.h"

#include <streams.h>

// GetMediaType of a pin (or filter) that offers one type: S_OK for position
// 0, E_INVALIDARG below, VFW_S_NO_MORE_ITEMS above, E_POINTER without a type.
HRESULT OnlyMediaTypePosition(int iPosition, const CMediaType* pMediaType);

class COverlayInputPin : public CBaseInputPin {
public:
    COverlayInputPin(CBaseFilter* filter, CCritSec* lock, CPictureProcessor* processor,
                     HRESULT* phr);

    // Any type of major type MEDIATYPE_Text.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    // Position 0: major type MEDIATYPE_Text.
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;

    // S_OK for every packet, used or not; E_FAIL while the processor has no
    // output size to place the texts on.
    STDMETHODIMP Receive(IMediaSample* pSample) override;

private:
    CPictureProcessor* const m_processor;
};
