// Renderer base classes: CBaseRenderer and CBaseVideoRenderer with their input
// pin CRendererInputPin.
//
// CBaseRenderer has one input pin and presents each sample at its stream time:
// a sample with time stamps waits for the clock (IReferenceClock::AdviseTime on
// the graph's clock, against the start time of the last Run); a sample without
// them, or any sample when there is no clock, is rendered at once. The thread
// that delivers a sample waits inside Receive until the sample has been rendered
// (or dropped, or the wait is cut short by Stop or flushing), so a renderer
// paces its upstream filter.
//
// Pausing (cueing). A renderer completes the transition to Paused only when it
// holds a sample or has received end-of-stream (or its pin is not connected):
// until then Pause answers S_FALSE and GetState VFW_S_STATE_INTERMEDIATE. The
// sample that arrives while paused is handed to OnReceiveFirstSample (a video
// renderer shows it) and held, with the delivering thread blocked, until Run
// schedules it or Stop or flushing releases it.
//
// End of stream. EndOfStream marks the stream ended; once the filter runs and
// the last sample has been rendered and its end time has passed, the renderer
// sends EC_COMPLETE to the graph (once per run of the stream). A renderer whose
// pin is not connected sends EC_COMPLETE as soon as it runs.
//
// Flushing. BeginFlush releases a held or waiting sample, forgets end-of-stream
// and returns once no Receive is in progress; until EndFlush, samples are
// refused with S_FALSE. A paused renderer that flushes is again not ready
// until new data comes.
//
// Frame stepping (BeginFrameStep): the next n samples are rendered as usual,
// then the renderer sends EC_STEP_COMPLETE (FALSE, 0) and holds every further
// sample, as if paused, until the filter is paused and run again, a new step
// is asked for, the step is cancelled, or the filter stops. A sample already
// shown when it arrived during a pause does not count towards the step, and a
// sample that arrives during the pause that follows a completed step is held
// unseen (it is the next step's). The graph pauses itself when it sees
// EC_STEP_COMPLETE.
//
// Threads and locks:
//   m_InterfaceLock  the filter lock (state changes, connections; application
//                    threads). Never taken on the streaming thread.
//   m_RendererLock   the sample and scheduling state below; taken briefly by
//                    every thread, never held while a sample is drawn, while
//                    waiting, or while calling the graph or upstream.
// Streaming thread: Receive, EndOfStream and the On* hooks around rendering.
// Application threads: Stop, Pause, Run, GetState, BeginFlush, EndFlush and the
// connection hooks (filter lock held for the latter).
#pragma once

#include <atomic>
#include <mutex>
#include <optional>

#include "amfilter.h"
#include "evcode.h"
#include "posthru.h"
#include "win32/timefn.h"

class CBaseRenderer;

// The renderer's input pin: passes the stream calls and the connection steps
// on to the renderer.
class CRendererInputPin : public CBaseInputPin {
public:
    CRendererInputPin(CBaseRenderer* pRenderer, HRESULT* phr, LPCWSTR pPinName);

    // Streaming thread.
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP EndOfStream() override;
    // Application thread.
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    // Quality messages of the renderer go to this sink instead of upstream.
    STDMETHODIMP SetSink(IQualityControl* piqc) override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // The allocator agreed with upstream (not add-referenced; may be null).
    IMemAllocator* Allocator() const { return m_pAllocator; }

protected:
    CBaseRenderer* const m_pRenderer;
};

class CBaseRenderer : public CBaseFilter, public IAMFilterMiscFlags {
public:
    CBaseRenderer(REFCLSID RenderClass, LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CBaseRenderer() override;

    DECLARE_IUNKNOWN
    // IAMFilterMiscFlags, and IMediaPosition/IMediaSeeking through a renderer
    // pass-through (made on first use) over the input pin.
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IAMFilterMiscFlags: AM_FILTER_MISC_FLAGS_IS_RENDERER.
    STDMETHODIMP_(ULONG) GetMiscFlags() override;

    // IMediaFilter (see the header comment for the pause contract).
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME StartTime) override;
    // Waits up to dwMSecs for a pause to complete; VFW_S_STATE_INTERMEDIATE
    // (with State_Paused) when it has not.
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;

    // One pin, made on first use (CreateInputPin).
    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // ---- What a derived renderer supplies ----

    // Connection (filter lock held). CheckMediaType: S_OK to accept.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT CompleteConnect(IPin* pReceivePin);
    virtual HRESULT BreakConnect();
    // Streaming thread: draws or plays the sample. No lock held.
    virtual HRESULT DoRenderSample(IMediaSample* pMediaSample) = 0;

    // Hooks (no lock held unless stated).
    // Streaming thread: a sample arrived while paused (shown by a video renderer).
    virtual void OnReceiveFirstSample(IMediaSample* pMediaSample) { (void)pMediaSample; }
    // Streaming thread, around DoRenderSample.
    virtual void OnRenderStart(IMediaSample* pMediaSample) { (void)pMediaSample; }
    virtual void OnRenderEnd(IMediaSample* pMediaSample) { (void)pMediaSample; }
    // Streaming thread: ShouldDrawSampleNow decided to drop the sample.
    virtual void OnSampleDropped(IMediaSample* pMediaSample) { (void)pMediaSample; }
    // Application thread (filter lock held): entering and leaving Run.
    virtual HRESULT OnStartStreaming() { return S_OK; }
    virtual HRESULT OnStopStreaming() { return S_OK; }
    // Application thread (filter lock held): leaving Stopped for Paused.
    virtual void OnStreamingSessionStart() {}
    // Streaming thread, around the wait for a sample's time.
    virtual void OnWaitStart() {}
    virtual void OnWaitEnd() {}
    // Streaming thread, m_RendererLock held: decides what happens to a sample
    // with times while a clock runs. S_OK: render it at once; S_FALSE: wait for
    // its start time (the default); a failure: drop it. May move *ptrStart.
    virtual HRESULT ShouldDrawSampleNow(IMediaSample* pMediaSample, REFERENCE_TIME* ptrStart,
                                        REFERENCE_TIME* ptrEnd);
    // The name of the input pin ("In").
    virtual LPCWSTR InputPinName() const { return L"In"; }
    // Makes the input pin (a derived renderer may use its own class).
    virtual CRendererInputPin* CreateInputPin(HRESULT* phr);

    // ---- Stream calls (from the pin) ----

    // Streaming thread: waits for the sample's time and renders it (see the
    // header comment). S_OK when rendered or dropped; S_FALSE when flushing cut
    // it short; VFW_E_WRONG_STATE when Stop did; VFW_E_SAMPLE_REJECTED_EOS after
    // end-of-stream.
    virtual HRESULT Receive(IMediaSample* pMediaSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();

    // ---- Helpers ----

    // The stream time now, for the streaming thread (takes no filter lock).
    // VFW_E_NO_CLOCK without a clock.
    HRESULT GetStreamTime(REFERENCE_TIME* pStreamTime);
    // Frame stepping (any application thread). BeginFrameStep: E_INVALIDARG for
    // 0 frames. CancelFrameStep: S_FALSE when no step was on.
    HRESULT BeginFrameStep(DWORD dwFrames);
    HRESULT CancelFrameStep();
    BOOL IsFrameStepping();
    // TRUE while a sample is held or waiting for its time.
    BOOL HaveCurrentSample();
    // The held sample, add-referenced (null when none); for repainting while
    // paused. Any thread.
    IMediaSample* GetCurrentSample();
    // Sends a quality message to the sink set on the pin, else to the upstream
    // pin's IQualityControl. Streaming thread (takes no filter lock).
    HRESULT PassNotify(const Quality& q);
    // The renderer's pin (made on demand).
    CRendererInputPin* InputPin();

protected:
    void Ready() { m_evComplete.Set(); }
    void NotReady() { m_evComplete.Reset(); }
    // Sends EC_COMPLETE when the stream ended, the filter runs and nothing is
    // left to render (or arms the end-of-stream timer for the last sample's end
    // time). Any thread.
    HRESULT SendEndOfStream();

    // The filter lock.
    CCritSec m_InterfaceLock;

    // ---- The scheduling state ----
    //
    // Four small machines, all guarded by m_RendererLock; each transition is
    // listed with the call that makes it.
    //
    // The sample in m_pMediaSample (one delivering thread at a time):
    //   None      -> Waiting     Receive takes a sample
    //   Waiting   -> Scheduled   the streaming thread, while running and not
    //                            held by a completed step: the clock is advised
    //                            of the sample's start time, or it is due at once
    //   Scheduled -> Waiting     CancelNotification: Stop, Pause from Running,
    //                            BeginFlush, a new clock
    //   any       -> None        Receive returns (rendered, dropped, cut short)
    enum class HeldSample { None, Waiting, Scheduled };
    //
    // Whether Receive takes samples and waits for their time (Stopped at
    // first, as the filter is):
    //   any      -> Stopped      Stop
    //   any      -> Flushing     BeginFlush
    //   any      -> Open         Pause from Stopped
    //   Flushing -> Open         EndFlush while paused or running
    //   Flushing -> Stopped      EndFlush while stopped
    // A Receive refused or cut short answers S_FALSE while Flushing and
    // VFW_E_WRONG_STATE otherwise.
    enum class Admission { Open, Stopped, Flushing };
    //
    // The end of the stream:
    //   Open      -> Ended       EndOfStream (not stopped, not flushing)
    //   Ended     -> Completed   EC_COMPLETE sent: running, no sample held, and
    //                            the last sample's end time (m_signalTime) passed
    //   any       -> Open        Stop, Pause from Stopped, BeginFlush, EndFlush
    // Samples are refused (VFW_E_SAMPLE_REJECTED_EOS) unless Open.
    enum class StreamEnd { Open, Ended, Completed };
    //
    // Frame stepping (m_lStepFrames frames left while Stepping, else 0):
    //   any      -> Stepping     BeginFrameStep(n)
    //   Stepping -> Blocked      the n-th sample rendered: EC_STEP_COMPLETE, and
    //                            further samples are held unseen
    //   Blocked  -> Off          Run
    //   any      -> Off          CancelFrameStep, Stop
    enum class FrameStep { Off, Stepping, Blocked };

    // Guards the members below it.
    CCritSec m_RendererLock;
    CRendererInputPin* m_pInputPin = nullptr;  // made under m_InterfaceLock
    IMediaSample* m_pMediaSample = nullptr;    // the held sample (add-referenced)
    IReferenceClock* m_pRenderClock = nullptr; // the clock for streaming (add-referenced)
    REFERENCE_TIME m_tRunStart = 0;            // start time of the last Run
    DWORD_PTR m_dwAdvise = 0;                  // pending clock advise
    // End time of the last sample scheduled, until the stream's end is sent
    // or the stream starts again.
    std::optional<REFERENCE_TIME> m_signalTime;
    HeldSample m_sample = HeldSample::None;
    Admission m_admission = Admission::Stopped;
    StreamEnd m_streamEnd = StreamEnd::Open;
    FrameStep m_step = FrameStep::Off;
    LONG m_lStepFrames = 0;
    UINT m_EndOfStreamTimer = 0;
    IUnknown* m_pPosition = nullptr; // the pass-through (made under m_InterfaceLock)
    CRendererPosPassThru* m_pRendererPosition = nullptr;

    CAMEvent m_evComplete{TRUE};    // manual: state transition complete
    CAMEvent m_RenderEvent{FALSE};  // the clock says: time to render
    CAMEvent m_ThreadSignal{FALSE}; // the state changed: re-evaluate the wait
    CAMEvent m_evReceiveIdle{TRUE}; // manual: no Receive in progress

    // The upstream pin's IQualityControl (taken at connection) and the sink set
    // on the pin; read by the streaming thread.
    std::mutex m_qualityLock;
    IQualityControl* m_pUpstreamQuality = nullptr; // guarded by m_qualityLock
    IQualityControl* m_pQualitySink = nullptr;     // guarded by m_qualityLock, not add-referenced

    friend class CRendererInputPin;

private:
    // What a pause does with the sample a Receive holds (the streaming
    // thread's own, for that Receive): None, it is not shown by a pause (it
    // came while running, or a completed step holds it unseen); Due, it is
    // shown once paused (OnReceiveFirstSample); Shown, it was, and so does not
    // count towards a frame step when it is rendered.
    enum class PauseCue { None, Due, Shown };

    // m_RendererLock held: what a refused or cut-short Receive answers.
    HRESULT AdmissionResult() const;
    // Streaming thread: S_OK render, S_FALSE drop, VFW_E_STATE_CHANGED aborted.
    HRESULT WaitForRenderTime(PauseCue* cue);
    // m_RendererLock held. S_OK due now, S_FALSE advised, failure: drop.
    HRESULT ScheduleSample(IMediaSample* pMediaSample);
    HRESULT GetSampleTimes(IMediaSample* pMediaSample, REFERENCE_TIME* pStart,
                           REFERENCE_TIME* pEnd);
    // m_RendererLock held.
    void CancelNotification();
    // Takes no lock: waits for a running timer callback.
    void ResetEndOfStreamTimer();
    static void EndOfStreamTimerProc(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    HRESULT Render(IMediaSample* pMediaSample, PauseCue cue);
    // fromTimer: the end-of-stream timer fired (no new timer is armed).
    HRESULT SendEndOfStreamNow(bool fromTimer);
    void ClearPendingSample();
};

// A video renderer: CBaseRenderer plus the statistics of IQualProp, late
// frames dropped, and quality messages upstream.
//
// Statistics (reset when the filter leaves Stopped): frames drawn, frames
// dropped, the average frame rate (frames per second x 100, over the time
// between the first and the last frame drawn), the jitter (standard deviation
// of the time between frames drawn, ms), and the sync offset (how late timed
// frames were drawn against their start time: mean and standard deviation, ms;
// negative is early).
//
// Quality: when a timed frame is drawn (or dropped) more than
// kLateThreshold after its start time, the renderer sends
// IQualityControl::Notify upstream with Late (100 ns units) and TimeStamp (the
// frame's start); Type is Flood when drawing takes longer than the frames'
// spacing (this renderer cannot keep up; Proportion says by how much, in
// thousandths) and Famine otherwise (frames arrive late; Proportion 1000). When
// frames are on time again after that, one more message with the (small or
// negative) Late says so.
//
// Dropping: a timed frame more than kDropThreshold late is not drawn, unless
// kMaxConsecutiveDrops frames were dropped in a row or nothing was drawn for
// kMaxDropSpan: a picture keeps moving however late the stream is.
class CBaseVideoRenderer : public CBaseRenderer, public IQualProp {
public:
    static constexpr REFERENCE_TIME kLateThreshold = 30 * 10000;  // 30 ms
    static constexpr REFERENCE_TIME kDropThreshold = 100 * 10000; // 100 ms
    static constexpr int kMaxConsecutiveDrops = 4;
    static constexpr REFERENCE_TIME kMaxDropSpan = 500 * 10000; // 500 ms

    CBaseVideoRenderer(REFCLSID RenderClass, LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr);
    ~CBaseVideoRenderer() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IQualProp (any thread). E_POINTER for null.
    STDMETHODIMP get_FramesDroppedInRenderer(int* pcFrames) override;
    STDMETHODIMP get_FramesDrawn(int* pcFramesDrawn) override;
    STDMETHODIMP get_AvgFrameRate(int* piAvgFrameRate) override;
    STDMETHODIMP get_Jitter(int* piJitter) override;
    STDMETHODIMP get_AvgSyncOffset(int* piAvg) override;
    STDMETHODIMP get_DevSyncOffset(int* piDev) override;

protected:
    HRESULT ShouldDrawSampleNow(IMediaSample* pMediaSample, REFERENCE_TIME* ptrStart,
                                REFERENCE_TIME* ptrEnd) override;
    void OnRenderStart(IMediaSample* pMediaSample) override;
    void OnRenderEnd(IMediaSample* pMediaSample) override;
    void OnSampleDropped(IMediaSample* pMediaSample) override;
    void OnStreamingSessionStart() override;
    // Builds and sends the quality message for a frame late by `late`.
    virtual HRESULT SendQuality(REFERENCE_TIME late, REFERENCE_TIME timeStamp);
    void ResetStatistics();

private:
    // Real time in 100 ns units (monotonic).
    static REFERENCE_TIME Now();
    void NoteLateness(REFERENCE_TIME late, REFERENCE_TIME timeStamp);
    // An IQualProp value: compute() under m_statsLock (E_POINTER for null).
    template <class F> HRESULT ReadStatistic(int* pValue, F compute);

    std::mutex m_statsLock;
    // guarded by m_statsLock
    int m_cFramesDrawn = 0;
    int m_cFramesDropped = 0;
    int m_cConsecutiveDrops = 0;
    REFERENCE_TIME m_tFirstDrawn = 0;
    REFERENCE_TIME m_tLastDrawn = 0;
    double m_intervalSum = 0, m_intervalSquares = 0; // ms
    int m_cIntervals = 0;
    double m_syncSum = 0, m_syncSquares = 0; // ms
    int m_cSync = 0;
    double m_avgDrawTime = 0;     // 100 ns units, moving average
    double m_avgFrameSpacing = 0; // 100 ns units between timed frames, moving average
    REFERENCE_TIME m_tLastStart = 0;
    bool m_bHaveLastStart = false;
    bool m_bLateReported = false;
    // Streaming thread only: measured around DoRenderSample.
    REFERENCE_TIME m_tRenderStart = 0;
    REFERENCE_TIME m_currentLate = 0;
    REFERENCE_TIME m_currentStart = 0;
    bool m_bCurrentTimed = false;
};
