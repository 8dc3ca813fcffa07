// Seeking requests passed through a filter to the filter upstream of it.
//
// A filter that does not position the stream itself (a transform, a renderer)
// still answers IMediaSeeking and IMediaPosition on its pins or on itself, so
// that the graph manager and the application can seek through it. The pass-
// through object does that: it wraps one of the filter's input pins and sends
// every call to the same interface on the output pin that input pin is
// connected to (whose filter then forwards further up, or positions).
//
// The wrapped pin is not add-referenced: it belongs to the filter that owns the
// pass-through, and outlives it. Every call looks the peer up afresh, so the
// object follows reconnections. Without a connection, or when the peer lacks
// the interface, a call gives E_NOTIMPL (null out pointers give E_POINTER).
//
// Threads: any (application threads; renderers also register media times from
// their streaming thread).
#pragma once

#include <objbase.h>

#include "control.h"
#include "strmif.h"

#include <mutex>

#include "ctlutil.h"

class CPosPassThru : public IMediaSeeking, public CMediaPosition {
public:
    // pPin: the input pin whose upstream peer gets the calls; null gives
    // E_POINTER in *phr.
    CPosPassThru(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr, IPin* pPin);

    DECLARE_IUNKNOWN

    // IMediaSeeking and IMediaPosition, then the base's.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Nothing cached, nothing to refresh.
    HRESULT ForceRefresh() { return S_OK; }

    // The media time of what the filter is presenting now, when it knows it
    // (a renderer does: CRendererPosPassThru). The current-position calls
    // answer from it before asking upstream. Here: E_FAIL (not known).
    virtual HRESULT GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime);

    // IMediaSeeking and IMediaPosition, forwarded; GetCurrentPosition and
    // get_CurrentPosition answer from GetMediaTime when it is known (converted
    // to the upstream time format).
    DECLARE_IMEDIASEEKING
    DECLARE_IMEDIAPOSITION

protected:
    // The upstream peer's interface, add-referenced, or E_NOTIMPL (null out).
    HRESULT GetPeer(IMediaPosition** ppMP);
    HRESULT GetPeerSeeking(IMediaSeeking** ppMS);

private:
    IPin* const m_pPin;
};

// The pass-through of a renderer: it also knows the media time of the sample
// being presented, so the current position follows what is on screen (or
// heard) rather than what the source has read ahead.
class CRendererPosPassThru : public CPosPassThru {
public:
    CRendererPosPassThru(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr, IPin* pPin);

    // Streaming thread, as each sample is presented: remembers its media
    // times. A sample without media times changes nothing and gives
    // VFW_E_MEDIA_TIME_NOT_SET (E_POINTER for null).
    HRESULT RegisterMediaTime(IMediaSample* pMediaSample);
    HRESULT RegisterMediaTime(LONGLONG StartTime, LONGLONG EndTime);
    // What was registered last; E_FAIL when nothing is (after construction or
    // ResetMediaTime).
    HRESULT GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime) override;
    // Forgets the registered time (on stop, flush, new segment).
    HRESULT ResetMediaTime();
    // End of stream: the position becomes the upstream stop position. E_FAIL
    // when nothing was registered since the last reset.
    HRESULT EOS();

private:
    std::mutex m_positionLock;
    // guarded by m_positionLock
    LONGLONG m_StartMedia = 0;
    LONGLONG m_EndMedia = 0;
    bool m_bReset = true;
};

// Creates the pass-through for pPin aggregated in pAgg (renderer flavour when
// bRenderer) and returns its non-delegating unknown, add-referenced, in
// *ppPassThru. E_POINTER for a null pPin or ppPassThru; E_OUTOFMEMORY.
STDAPI CreatePosPassThru(LPUNKNOWN pAgg, BOOL bRenderer, IPin* pPin, IUnknown** ppPassThru);
