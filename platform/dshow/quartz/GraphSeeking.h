// The positioning part of the graph manager: IMediaSeeking and IMediaPosition,
// sent to the renderers of the graph (whose pass-through objects carry them
// upstream to the filter that positions the stream).
//
// Readings come from the renderers: capabilities are those all of them share,
// the duration is the longest, the current position that of the first renderer
// that knows it (else the graph's own estimate: the last position set plus the
// stream time played since, times the rate). A seek (SetPositions with a new
// current position) goes to every renderer with the graph paused, restarts
// stream time at 0 and the EC_COMPLETE count, and lets a running graph run on.
//
// IMediaPosition is the same in seconds (media time only). When no renderer's
// stream answers IMediaSeeking, its calls go to the renderers' IMediaPosition
// instead, which their pass-through objects carry upstream: the filters of
// this system position their streams through IMediaPosition on a pin.
//
// Application threads; the calls take the graph lock.
#pragma once

#include <vector>

#include "GraphPart.h"
#include "InterfacePtr.h"

class CGraphSeeking : public IMediaSeeking, public IMediaPosition {
public:
    explicit CGraphSeeking(CFilterGraph& graph) : m_graph(graph) {}

    DECLARE_GRAPH_PART_IUNKNOWN
    DECLARE_NO_DISPATCH

    // IMediaSeeking. Without any renderer that seeks: E_NOTIMPL.
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override;
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override;
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override;
    // VFW_E_WRONG_STATE unless stopped.
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                   const GUID* pSourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                              DWORD dwStopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    // E_INVALIDARG for a rate of 0.
    STDMETHODIMP SetRate(double dRate) override;
    STDMETHODIMP GetRate(double* pdRate) override;
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override;

    // IMediaPosition
    STDMETHODIMP get_Duration(REFTIME* plength) override;
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override;
    STDMETHODIMP get_CurrentPosition(REFTIME* pllTime) override;
    STDMETHODIMP get_StopTime(REFTIME* pllTime) override;
    STDMETHODIMP put_StopTime(REFTIME llTime) override;
    STDMETHODIMP get_PrerollTime(REFTIME* pllTime) override;
    STDMETHODIMP put_PrerollTime(REFTIME llTime) override;
    STDMETHODIMP put_Rate(double dRate) override;
    STDMETHODIMP get_Rate(double* pdRate) override;
    // OATRUE or OAFALSE.
    STDMETHODIMP CanSeekForward(LONG* pCanSeekForward) override;
    STDMETHODIMP CanSeekBackward(LONG* pCanSeekBackward) override;

private:
    using Seekers = std::vector<CInterfacePtr<IMediaSeeking>>;
    using Positions = std::vector<CInterfacePtr<IMediaPosition>>;
    // The renderers' IMediaSeeking / IMediaPosition, downstream first. Under
    // the graph lock.
    Seekers RendererSeekers();
    // The largest value any renderer reports through the getter (duration,
    // stop position); E_NOTIMPL when none answers. Takes the graph lock.
    HRESULT LargestFromRenderers(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*getter)(LONGLONG*),
                                 LONGLONG* pValue);
    Positions RendererPositions();
    // The first renderer's answer that succeeds (else the first failure).
    template <class F> HRESULT AskRendererPositions(F call);
    // Every renderer, with the graph paused meanwhile when it runs.
    template <class F> HRESULT SetRendererPositions(F call, bool restartsStream);
    bool UsingMediaTime();

    CFilterGraph& m_graph;
    // guarded by the graph lock
    GUID m_timeFormat = TIME_FORMAT_MEDIA_TIME;
    double m_rate = 1.0;
    LONGLONG m_startPosition = 0; // where the stream was last set to start
};
