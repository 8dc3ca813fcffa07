// The control part of the graph manager: IMediaControl, IMediaFilter (the graph
// as one filter), the choice of the reference clock and stream time.
//
// State changes reach every filter downstream first: renderers before the
// filters that feed them, sources last, for every transition. Run from Stopped
// pauses the graph first; Stop from Running pauses it first, then stops it.
//
// Clock. Unless the application set a clock with IMediaFilter::SetSyncSource,
// the graph picks one each time it leaves Stopped: a connected renderer that
// offers IReferenceClock (one playing audio before any other), else any filter
// that offers one (downstream first), else the system clock; every filter gets
// it through SetSyncSource.
//
// Stream time. Run gives the filters the clock time at which stream time 0
// falls: now + a small start-up margin, less the stream time already played,
// so pausing and running again continues the stream time where it stopped.
//
// Application threads; the methods take the graph lock, except GetState and
// StopWhenReady, which wait for the filters without it.
#pragma once

#include <atomic>

#include "GraphPart.h"
#include "GraphTopology.h"
#include "InterfacePtr.h"

class CGraphControl : public CGraphInterface<IMediaControl>, public IMediaFilter {
public:
    // The margin between Run and stream time 0, so that every filter is
    // running before the first sample is due (10 ms).
    static constexpr REFERENCE_TIME kStartMargin = 100000;

    explicit CGraphControl(CFilterGraph& graph) : m_graph(graph) {}

    DECLARE_GRAPH_PART_IUNKNOWN

    // IMediaControl
    // S_FALSE when a filter has not finished its change yet (GetState tells
    // when it has). A filter that fails Pause or Run stops the whole graph and
    // its failure is returned.
    STDMETHODIMP Run() override;
    STDMETHODIMP Pause() override;
    // Every filter is stopped even when one fails; the first failure is
    // returned.
    STDMETHODIMP Stop() override;
    // The state the graph is in or going to. VFW_S_STATE_INTERMEDIATE when a
    // filter has not reached it within msTimeout (negative: no limit),
    // VFW_S_CANT_CUE when a filter paused without data; a filter's failure is
    // returned as it is.
    STDMETHODIMP GetState(LONG msTimeout, OAFilterState* pfs) override;
    STDMETHODIMP RenderFile(BSTR strFilename) override;
    // Needs the automation filter-info objects, which are not offered.
    STDMETHODIMP AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) override;
    STDMETHODIMP get_FilterCollection(IDispatch** ppUnk) override;
    STDMETHODIMP get_RegFilterCollection(IDispatch** ppUnk) override;
    // Pauses, waits until every filter has finished pausing (or the graph was
    // stopped meanwhile), then stops.
    STDMETHODIMP StopWhenReady() override;

    // IMediaFilter
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    // Runs with stream time 0 at tStart on the graph's clock.
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;
    // The clock every filter gets (null: none, filters then play at once).
    // From then on the graph no longer picks a clock of its own, until
    // IFilterGraph::SetDefaultSyncSource. VFW_E_NOT_STOPPED unless stopped.
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock) override;

    // ---- for the other parts ----

    // Any thread.
    FILTER_STATE State() const { return m_state.load(); }
    // The rest under the graph lock.
    // Picks the default clock now and hands it to every filter.
    HRESULT SetDefaultClock();
    // A filter joined: it gets the graph's clock.
    void FilterAdded(IBaseFilter* filter);
    // A filter is leaving: stopped when the graph is not, its clock taken away;
    // when it was the graph's clock the other filters lose it too
    // (EC_CLOCK_UNSET) until the next start picks another.
    void FilterRemoving(IBaseFilter* filter);
    // The graph is going away: stop, and no filter keeps a clock.
    void Shutdown();
    // Stream time now; VFW_E_NO_CLOCK without a clock. 0 while stopped.
    HRESULT StreamTime(REFERENCE_TIME* time);
    // Stream time starts again from 0 (after a seek): now while running, at
    // the next Run while paused.
    void RestartStreamTime();

private:
    HRESULT PauseLocked();
    HRESULT RunLocked(const REFERENCE_TIME* givenStart);
    HRESULT StopLocked();
    HRESULT WaitForState(DWORD msTimeout, FILTER_STATE* state);
    // The filters in the order state changes reach them.
    FilterRefs OrderedFilters();
    CInterfacePtr<IReferenceClock> PickClock(const FilterRefs& ordered);
    void UseClock(CInterfacePtr<IReferenceClock> clock, const FilterRefs& filters);
    REFERENCE_TIME ClockNow();

    CFilterGraph& m_graph;

    std::atomic<FILTER_STATE> m_state{State_Stopped};
    // guarded by the graph lock
    CInterfacePtr<IReferenceClock> m_clock;
    CInterfacePtr<IReferenceClock> m_systemClock; // made on first need, kept
    bool m_clockSetByApp = false;
    REFERENCE_TIME m_start = 0;    // clock time of stream time 0 while running
    REFERENCE_TIME m_pausedAt = 0; // stream time reached when last paused
};
