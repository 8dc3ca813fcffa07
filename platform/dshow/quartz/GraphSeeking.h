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

class CGraphSeeking : public IMediaSeeking, public CGraphInterface<IMediaPosition> {
public:
    explicit CGraphSeeking(CFilterGraph& graph) : m_graph(graph) {}

    DECLARE_GRAPH_PART_IUNKNOWN

    // IMediaSeeking: E_NOTIMPL without any renderer that seeks;
    // SetTimeFormat gives VFW_E_WRONG_STATE unless stopped, SetRate
    // E_INVALIDARG for a rate of 0. IMediaPosition: CanSeekForward and
    // CanSeekBackward answer OATRUE or OAFALSE.
    DECLARE_IMEDIASEEKING
    DECLARE_IMEDIAPOSITION

private:
    using Seekers = std::vector<CInterfacePtr<IMediaSeeking>>;
    using Positions = std::vector<CInterfacePtr<IMediaPosition>>;
    // The renderers' IMediaSeeking / IMediaPosition, downstream first. Under
    // the graph lock.
    template <class I> std::vector<CInterfacePtr<I>> RendererInterfaces(REFIID iid);
    Seekers RendererSeekers();
    // The largest value any renderer reports through the getter (duration,
    // stop position); E_NOTIMPL when none answers. Takes the graph lock.
    HRESULT LargestFromRenderers(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*getter)(LONGLONG*),
                                 LONGLONG* pValue);
    // Graph lock held. True once a renderer's IMediaSeeking answers call
    // with a success (the first that does; the rest are not asked).
    template <class F> bool AnySeekerAnswers(F call);
    // call on every seeker; on a failure, undo on every one and the failure.
    template <class F, class U> HRESULT SetOnEverySeeker(const Seekers& seekers, F call, U undo);
    Positions RendererPositions();
    // The first renderer's answer that succeeds (else the first failure).
    template <class F> HRESULT AskRendererPositions(F call);
    // Every renderer, with the graph paused meanwhile when it runs.
    template <class F> HRESULT SetRendererPositions(F call, bool restartsStream);
    bool UsingMediaTime();
    // IMediaPosition's readings: the IMediaSeeking getter's value in seconds
    // (mediaTimeOnly: VFW_E_NO_TIME_FORMAT in another time format), else the
    // renderers' answer through fallback.
    using Getter = HRESULT (STDMETHODCALLTYPE CGraphSeeking::*)(LONGLONG*);
    template <class F>
    HRESULT SecondsOf(Getter getter, bool mediaTimeOnly, REFTIME* pTime, F fallback);
    // put_CurrentPosition (current) and put_StopTime: through SetPositions,
    // else the renderers' IMediaPosition through fallback.
    template <class F> HRESULT PutSeconds(REFTIME time, bool current, F fallback);
    // CanSeekForward/Backward: from the renderers' shared capabilities, else
    // their IMediaPosition through fallback.
    template <class F> HRESULT CanSeek(DWORD capability, LONG* pCanSeek, F fallback);

    CFilterGraph& m_graph;
    // guarded by the graph lock
    GUID m_timeFormat = TIME_FORMAT_MEDIA_TIME;
    double m_rate = 1.0;
    LONGLONG m_startPosition = 0; // where the stream was last set to start
};
