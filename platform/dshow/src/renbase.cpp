// CBaseRenderer and CRendererInputPin: scheduling, cueing, end of stream,
// flushing and frame stepping. The contract is in renbase.h.
#include "renbase.h"

#include <algorithm>
#include <new>

#include "dshowtrace.h"

// ---- CRendererInputPin ----

CRendererInputPin::CRendererInputPin(CBaseRenderer* pRenderer, HRESULT* phr, LPCWSTR pPinName)
    : CBaseInputPin("Renderer input pin", pRenderer, &pRenderer->m_InterfaceLock, phr, pPinName),
      m_pRenderer(pRenderer)
{
}

STDMETHODIMP CRendererInputPin::Receive(IMediaSample* pSample)
{
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK)
        return hr;
    return m_pRenderer->Receive(pSample);
}

STDMETHODIMP CRendererInputPin::EndOfStream()
{
    // A pin that refused a type change ends its stream with a run-time error
    // set: that end of stream still counts.
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (IsFlushing())
        return S_OK;
    return m_pRenderer->EndOfStream();
}

STDMETHODIMP CRendererInputPin::BeginFlush()
{
    HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr))
        return hr;
    return m_pRenderer->BeginFlush();
}

STDMETHODIMP CRendererInputPin::EndFlush()
{
    HRESULT hr = m_pRenderer->EndFlush();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CRendererInputPin::SetSink(IQualityControl* piqc)
{
    HRESULT hr = CBaseInputPin::SetSink(piqc);
    std::lock_guard<std::mutex> guard(m_pRenderer->m_qualityLock);
    m_pRenderer->m_pQualitySink = piqc;
    return hr;
}

HRESULT CRendererInputPin::CheckMediaType(const CMediaType* pmt)
{
    return m_pRenderer->CheckMediaType(pmt);
}

HRESULT CRendererInputPin::SetMediaType(const CMediaType* pmt)
{
    HRESULT hr = CBaseInputPin::SetMediaType(pmt);
    if (FAILED(hr))
        return hr;
    return m_pRenderer->SetMediaType(pmt);
}

HRESULT CRendererInputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = CBaseInputPin::CheckConnect(pPin);
    if (FAILED(hr))
        return hr;
    return m_pRenderer->CheckConnect(pPin);
}

HRESULT CRendererInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr))
        return hr;
    IQualityControl* upstream = nullptr;
    if (FAILED(
            pReceivePin->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&upstream))))
        upstream = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_pRenderer->m_qualityLock);
        if (m_pRenderer->m_pUpstreamQuality)
            m_pRenderer->m_pUpstreamQuality->Release();
        m_pRenderer->m_pUpstreamQuality = upstream;
    }
    return m_pRenderer->CompleteConnect(pReceivePin);
}

HRESULT CRendererInputPin::BreakConnect()
{
    HRESULT hr = m_pRenderer->BreakConnect();
    IQualityControl* upstream = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_pRenderer->m_qualityLock);
        upstream = m_pRenderer->m_pUpstreamQuality;
        m_pRenderer->m_pUpstreamQuality = nullptr;
    }
    if (upstream)
        upstream->Release();
    HRESULT hrBase = CBaseInputPin::BreakConnect();
    return FAILED(hr) ? hr : hrBase;
}

HRESULT CRendererInputPin::Active()
{
    return CBaseInputPin::Active();
}

HRESULT CRendererInputPin::Inactive()
{
    // Upstream may never have given an allocator (a source that only sends
    // end-of-stream): stopping is still fine.
    HRESULT hr = CBaseInputPin::Inactive();
    return hr == VFW_E_NO_ALLOCATOR ? S_OK : hr;
}

// ---- CBaseRenderer ----

CBaseRenderer::CBaseRenderer(REFCLSID RenderClass, LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter(pName, pUnk, &m_InterfaceLock, RenderClass, phr)
{
    Ready();
    // No Receive in progress yet: a flush before the first sample must not wait.
    m_evReceiveIdle.Set();
}

CBaseRenderer::~CBaseRenderer()
{
    ResetEndOfStreamTimer();
    {
        CAutoLock lock(&m_RendererLock);
        CancelNotification();
        if (m_pMediaSample) {
            m_pMediaSample->Release();
            m_pMediaSample = nullptr;
        }
        if (m_pRenderClock) {
            m_pRenderClock->Release();
            m_pRenderClock = nullptr;
        }
    }
    if (m_pPosition) {
        m_pPosition->Release();
        m_pPosition = nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(m_qualityLock);
        if (m_pUpstreamQuality)
            m_pUpstreamQuality->Release();
        m_pUpstreamQuality = nullptr;
    }
    delete m_pInputPin;
}

STDMETHODIMP CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
        CAutoLock lock(&m_InterfaceLock);
        if (!m_pPosition) {
            CRendererInputPin* pin = InputPin();
            if (!pin) {
                *ppv = nullptr;
                return E_OUTOFMEMORY;
            }
            HRESULT hr = S_OK;
            auto* position =
                new (std::nothrow) CRendererPosPassThru("Renderer position", GetOwner(), &hr, pin);
            if (!position) {
                *ppv = nullptr;
                return E_OUTOFMEMORY;
            }
            if (FAILED(hr)) {
                delete position;
                *ppv = nullptr;
                return hr;
            }
            m_pPosition = position->GetNonDelegatingUnknown();
            m_pPosition->AddRef();
            m_pRendererPosition = position;
        }
        return m_pPosition->QueryInterface(riid, ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBaseRenderer::GetMiscFlags()
{
    return AM_FILTER_MISC_FLAGS_IS_RENDERER;
}

CRendererInputPin* CBaseRenderer::CreateInputPin(HRESULT* phr)
{
    return new (std::nothrow) CRendererInputPin(this, phr, InputPinName());
}

CRendererInputPin* CBaseRenderer::InputPin()
{
    CAutoLock lock(&m_InterfaceLock);
    if (!m_pInputPin) {
        HRESULT hr = S_OK;
        CRendererInputPin* pin = CreateInputPin(&hr);
        if (pin && FAILED(hr)) {
            delete pin;
            pin = nullptr;
        }
        m_pInputPin = pin;
    }
    return m_pInputPin;
}

int CBaseRenderer::GetPinCount()
{
    return InputPin() ? 1 : 0;
}

CBasePin* CBaseRenderer::GetPin(int n)
{
    return n == 0 ? InputPin() : nullptr;
}

HRESULT CBaseRenderer::SetMediaType(const CMediaType*)
{
    return S_OK;
}

HRESULT CBaseRenderer::CheckConnect(IPin*)
{
    return S_OK;
}

HRESULT CBaseRenderer::CompleteConnect(IPin*)
{
    return S_OK;
}

HRESULT CBaseRenderer::BreakConnect()
{
    return S_OK;
}

STDMETHODIMP CBaseRenderer::SetSyncSource(IReferenceClock* pClock)
{
    CAutoLock lock(&m_InterfaceLock);
    HRESULT hr = CBaseFilter::SetSyncSource(pClock);
    if (FAILED(hr))
        return hr;
    CAutoLock samples(&m_RendererLock);
    CancelNotification();
    if (pClock)
        pClock->AddRef();
    if (m_pRenderClock)
        m_pRenderClock->Release();
    m_pRenderClock = pClock;
    m_ThreadSignal.Set(); // a waiting sample is scheduled again on the new clock
    return S_OK;
}

HRESULT CBaseRenderer::GetStreamTime(REFERENCE_TIME* pStreamTime)
{
    CheckPointer(pStreamTime, E_POINTER);
    IReferenceClock* clock = nullptr;
    REFERENCE_TIME start = 0;
    {
        CAutoLock lock(&m_RendererLock);
        clock = m_pRenderClock;
        if (clock)
            clock->AddRef();
        start = m_tRunStart;
    }
    if (!clock)
        return VFW_E_NO_CLOCK;
    REFERENCE_TIME now = 0;
    HRESULT hr = clock->GetTime(&now);
    clock->Release();
    if (FAILED(hr))
        return hr;
    *pStreamTime = now - start;
    return S_OK;
}

// ---- State changes ----

STDMETHODIMP CBaseRenderer::Stop()
{
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Stopped)
        return S_OK;
    bool wasRunning = m_State == State_Running;
    {
        CAutoLock samples(&m_RendererLock);
        m_admission = Admission::Stopped;
        CancelNotification();
        m_streamEnd = StreamEnd::Open;
        m_step = FrameStep::Off;
        m_lStepFrames = 0;
        m_signalTime.reset();
        Ready();
        m_ThreadSignal.Set();
    }
    ResetEndOfStreamTimer();
    if (wasRunning)
        OnStopStreaming();
    HRESULT hr = CBaseFilter::Stop();
    if (m_pRendererPosition)
        m_pRendererPosition->ResetMediaTime();
    DSHOW_TRACE("renderer %p: Stop -> 0x%08x", (void*)this, (unsigned)hr);
    return hr;
}

STDMETHODIMP CBaseRenderer::Pause()
{
    CAutoLock lock(&m_InterfaceLock);
    FILTER_STATE old = m_State;
    if (old == State_Paused)
        return m_evComplete.Check() ? S_OK : S_FALSE;
    if (old == State_Stopped) {
        CAutoLock samples(&m_RendererLock);
        m_admission = Admission::Open;
        m_streamEnd = StreamEnd::Open;
        m_signalTime.reset();
    }
    if (old == State_Running) {
        OnStopStreaming();
        {
            CAutoLock samples(&m_RendererLock);
            CancelNotification();
        }
        ResetEndOfStreamTimer();
    }
    HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) {
        DSHOW_TRACE("renderer %p: Pause failed 0x%08x", (void*)this, (unsigned)hr);
        return hr;
    }
    if (old == State_Stopped)
        OnStreamingSessionStart();
    CAutoLock samples(&m_RendererLock);
    bool connected = m_pInputPin && m_pInputPin->IsConnected();
    bool ready = !connected || m_streamEnd != StreamEnd::Open || m_sample != HeldSample::None;
    if (ready)
        Ready();
    else
        NotReady();
    m_ThreadSignal.Set();
    DSHOW_TRACE("renderer %p: Pause%s", (void*)this, ready ? "" : " (waiting for data)");
    return ready ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseRenderer::Run(REFERENCE_TIME StartTime)
{
    CAutoLock lock(&m_InterfaceLock);
    if (m_State == State_Running)
        return S_OK;
    if (m_State == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    {
        CAutoLock samples(&m_RendererLock);
        m_tRunStart = StartTime;
        if (m_step == FrameStep::Blocked)
            m_step = FrameStep::Off;
    }
    HRESULT hr = CBaseFilter::Run(StartTime);
    if (FAILED(hr))
        return hr;
    Ready();
    OnStartStreaming();
    {
        CAutoLock samples(&m_RendererLock);
        m_ThreadSignal.Set(); // the held sample gets scheduled
    }
    DSHOW_TRACE("renderer %p: Run(%lld)", (void*)this, (long long)StartTime);
    if (!m_pInputPin || !m_pInputPin->IsConnected()) {
        // Nothing will ever come: this renderer is done at once.
        NotifyEvent(EC_COMPLETE, S_OK, 0);
        return hr;
    }
    SendEndOfStream();
    return hr;
}

STDMETHODIMP CBaseRenderer::GetState(DWORD dwMSecs, FILTER_STATE* State)
{
    CheckPointer(State, E_POINTER);
    if (m_State == State_Paused && !m_evComplete.Wait(dwMSecs)) {
        *State = m_State;
        return m_State == State_Paused ? VFW_S_STATE_INTERMEDIATE : S_OK;
    }
    *State = m_State;
    return S_OK;
}

// ---- Flushing ----

HRESULT CBaseRenderer::BeginFlush()
{
    {
        CAutoLock samples(&m_RendererLock);
        m_admission = Admission::Flushing;
        CancelNotification();
        m_streamEnd = StreamEnd::Open;
        m_signalTime.reset();
        if (m_State == State_Paused)
            NotReady();
        m_ThreadSignal.Set();
    }
    ResetEndOfStreamTimer();
    // Flushing is synchronous: when it returns no sample is being rendered.
    m_evReceiveIdle.Wait(INFINITE);
    if (m_pRendererPosition)
        m_pRendererPosition->ResetMediaTime();
    return S_OK;
}

HRESULT CBaseRenderer::EndFlush()
{
    CAutoLock samples(&m_RendererLock);
    m_admission = m_State == State_Stopped ? Admission::Stopped : Admission::Open;
    m_streamEnd = StreamEnd::Open;
    return S_OK;
}

// ---- Streaming ----

HRESULT CBaseRenderer::AdmissionResult() const
{
    return m_admission == Admission::Flushing ? S_FALSE : VFW_E_WRONG_STATE;
}

HRESULT CBaseRenderer::Receive(IMediaSample* pMediaSample)
{
    PauseCue cue = PauseCue::None;
    {
        CAutoLock samples(&m_RendererLock);
        if (m_streamEnd != StreamEnd::Open)
            return VFW_E_SAMPLE_REJECTED_EOS;
        if (m_sample != HeldSample::None)
            return VFW_E_WRONG_STATE; // one delivering thread at a time
        if (m_admission != Admission::Open)
            return AdmissionResult();
        pMediaSample->AddRef();
        m_pMediaSample = pMediaSample;
        m_sample = HeldSample::Waiting;
        m_evReceiveIdle.Reset();
        // A picture that comes while paused is shown at once, unless a step
        // has just completed: then it is the next step's, held unseen.
        if (m_State == State_Paused && m_step != FrameStep::Blocked)
            cue = PauseCue::Due;
    }
    HRESULT hr = WaitForRenderTime(&cue);
    if (hr == S_OK) {
        hr = Render(pMediaSample, cue);
    } else if (hr == S_FALSE) {
        OnSampleDropped(pMediaSample);
        hr = S_OK;
    } else {
        // Cut short: by Stop (VFW_E_WRONG_STATE) or by flushing (S_FALSE).
        CAutoLock samples(&m_RendererLock);
        hr = AdmissionResult();
    }
    ClearPendingSample();
    return hr;
}

void CBaseRenderer::ClearPendingSample()
{
    IMediaSample* sample = nullptr;
    {
        CAutoLock samples(&m_RendererLock);
        sample = m_pMediaSample;
        m_pMediaSample = nullptr;
        m_sample = HeldSample::None;
        m_evReceiveIdle.Set();
    }
    if (sample)
        sample->Release();
}

HRESULT CBaseRenderer::WaitForRenderTime(PauseCue* cue)
{
    for (;;) {
        bool showFirst = false;
        bool waitRender = false;
        {
            CAutoLock samples(&m_RendererLock);
            if (m_admission != Admission::Open || m_State == State_Stopped)
                return VFW_E_STATE_CHANGED;
            if (m_State == State_Running && m_step != FrameStep::Blocked) {
                if (m_sample == HeldSample::Waiting) {
                    HRESULT hr = ScheduleSample(m_pMediaSample);
                    if (FAILED(hr))
                        return S_FALSE; // dropped
                    m_sample = HeldSample::Scheduled;
                }
                waitRender = true;
            } else if (m_State == State_Paused && *cue == PauseCue::Due) {
                showFirst = true;
            } else {
                // Held: paused (pause complete now) or blocked after a step.
                Ready();
            }
        }
        if (showFirst) {
            OnReceiveFirstSample(m_pMediaSample);
            *cue = PauseCue::Shown;
            continue;
        }
        HANDLE handles[2] = {m_ThreadSignal, m_RenderEvent};
        OnWaitStart();
        DWORD result = WaitForMultipleObjects(waitRender ? 2 : 1, handles, FALSE, INFINITE);
        OnWaitEnd();
        if (result == WAIT_OBJECT_0 + 1) {
            CAutoLock samples(&m_RendererLock);
            if (m_admission == Admission::Open && m_State == State_Running &&
                m_step != FrameStep::Blocked && m_sample == HeldSample::Scheduled) {
                m_dwAdvise = 0; // a one-shot advise is spent once it fired
                return S_OK;
            }
        }
    }
}

HRESULT CBaseRenderer::GetSampleTimes(IMediaSample* pMediaSample, REFERENCE_TIME* pStart,
                                      REFERENCE_TIME* pEnd)
{
    HRESULT hr = pMediaSample->GetTime(pStart, pEnd);
    if (FAILED(hr))
        return S_OK; // no time stamps: at once
    if (hr == VFW_S_NO_STOP_TIME || *pEnd < *pStart)
        *pEnd = *pStart + 1;
    if (!m_pRenderClock)
        return S_OK;
    return ShouldDrawSampleNow(pMediaSample, pStart, pEnd);
}

HRESULT CBaseRenderer::ShouldDrawSampleNow(IMediaSample*, REFERENCE_TIME*, REFERENCE_TIME*)
{
    return S_FALSE;
}

HRESULT CBaseRenderer::ScheduleSample(IMediaSample* pMediaSample)
{
    REFERENCE_TIME start = 0, end = 0;
    m_RenderEvent.Reset();
    // The end of the stream is signalled once the last sample's own end time
    // has passed.
    HRESULT hr = pMediaSample->GetTime(&start, &end);
    if (SUCCEEDED(hr))
        m_signalTime = (hr == VFW_S_NO_STOP_TIME || end < start) ? start + 1 : end;
    hr = GetSampleTimes(pMediaSample, &start, &end);
    if (FAILED(hr))
        return hr;
    if (hr == S_OK) {
        m_RenderEvent.Set();
        return S_OK;
    }
    hr = m_pRenderClock->AdviseTime(
        m_tRunStart, start, static_cast<HEVENT>(reinterpret_cast<DWORD_PTR>(HANDLE(m_RenderEvent))),
        &m_dwAdvise);
    if (FAILED(hr)) {
        // A time the clock cannot wait for (before its zero): no point waiting.
        m_dwAdvise = 0;
        m_RenderEvent.Set();
        return S_OK;
    }
    return S_FALSE;
}

void CBaseRenderer::CancelNotification()
{
    if (m_dwAdvise && m_pRenderClock)
        m_pRenderClock->Unadvise(m_dwAdvise);
    m_dwAdvise = 0;
    if (m_sample == HeldSample::Scheduled)
        m_sample = HeldSample::Waiting;
    m_RenderEvent.Reset();
}

HRESULT CBaseRenderer::Render(IMediaSample* pMediaSample, PauseCue cue)
{
    OnRenderStart(pMediaSample);
    HRESULT hr = DoRenderSample(pMediaSample);
    OnRenderEnd(pMediaSample);
    if (m_pRendererPosition)
        m_pRendererPosition->RegisterMediaTime(pMediaSample);

    bool stepDone = false;
    {
        CAutoLock samples(&m_RendererLock);
        if (m_step == FrameStep::Stepping && cue != PauseCue::Shown && --m_lStepFrames == 0) {
            m_step = FrameStep::Blocked;
            stepDone = true;
        }
    }
    if (stepDone) {
        DSHOW_TRACE("renderer %p: step complete", (void*)this);
        NotifyEvent(EC_STEP_COMPLETE, FALSE, 0);
    }
    // A failure to draw one sample does not stop the stream.
    (void)hr;
    return S_OK;
}

HRESULT CBaseRenderer::EndOfStream()
{
    {
        CAutoLock samples(&m_RendererLock);
        if (m_State == State_Stopped)
            return VFW_E_WRONG_STATE;
        if (m_admission != Admission::Open)
            return S_OK;
        if (m_streamEnd == StreamEnd::Open)
            m_streamEnd = StreamEnd::Ended;
        if (m_State == State_Paused)
            Ready();
    }
    if (m_pRendererPosition)
        m_pRendererPosition->EOS();
    return SendEndOfStream();
}

HRESULT CBaseRenderer::SendEndOfStream()
{
    return SendEndOfStreamNow(false);
}

HRESULT CBaseRenderer::SendEndOfStreamNow(bool fromTimer)
{
    {
        CAutoLock samples(&m_RendererLock);
        if (m_streamEnd != StreamEnd::Ended || m_State != State_Running ||
            m_sample != HeldSample::None)
            return S_OK;
        if (m_EndOfStreamTimer && !fromTimer)
            return S_OK; // already waiting for the last sample's end
        if (!fromTimer && m_signalTime && m_pRenderClock) {
            REFERENCE_TIME now = 0;
            if (SUCCEEDED(m_pRenderClock->GetTime(&now))) {
                REFERENCE_TIME left = *m_signalTime - (now - m_tRunStart);
                if (left > 10000) {
                    UINT ms = UINT(std::min<REFERENCE_TIME>(left / 10000 + 1, 0x7fffffff));
                    m_EndOfStreamTimer =
                        timeSetEvent(ms, 1, EndOfStreamTimerProc, reinterpret_cast<DWORD_PTR>(this),
                                     TIME_ONESHOT);
                    if (m_EndOfStreamTimer)
                        return S_OK;
                }
            }
        }
        m_streamEnd = StreamEnd::Completed;
    }
    DSHOW_TRACE("renderer %p: EC_COMPLETE", (void*)this);
    return NotifyEvent(EC_COMPLETE, S_OK, 0);
}

void CBaseRenderer::EndOfStreamTimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<CBaseRenderer*>(user);
    {
        CAutoLock samples(&self->m_RendererLock);
        if (self->m_EndOfStreamTimer != id)
            return; // reset meanwhile
        self->m_signalTime.reset();
    }
    // The id stays set while the event goes out, so that a Stop meanwhile
    // (ResetEndOfStreamTimer) waits for this callback to end.
    self->SendEndOfStreamNow(true);
    CAutoLock samples(&self->m_RendererLock);
    if (self->m_EndOfStreamTimer == id)
        self->m_EndOfStreamTimer = 0;
}

void CBaseRenderer::ResetEndOfStreamTimer()
{
    UINT id = 0;
    {
        CAutoLock samples(&m_RendererLock);
        id = m_EndOfStreamTimer;
        m_EndOfStreamTimer = 0;
    }
    if (id)
        timeKillEvent(id);
}

// ---- Stepping and helpers ----

HRESULT CBaseRenderer::BeginFrameStep(DWORD dwFrames)
{
    if (dwFrames == 0 || dwFrames > 0x7fffffff)
        return E_INVALIDARG;
    CAutoLock samples(&m_RendererLock);
    m_step = FrameStep::Stepping;
    m_lStepFrames = LONG(dwFrames);
    m_ThreadSignal.Set(); // a sample held after the last step may go now
    return S_OK;
}

HRESULT CBaseRenderer::CancelFrameStep()
{
    CAutoLock samples(&m_RendererLock);
    bool was = m_step != FrameStep::Off;
    m_step = FrameStep::Off;
    m_lStepFrames = 0;
    m_ThreadSignal.Set();
    return was ? S_OK : S_FALSE;
}

BOOL CBaseRenderer::IsFrameStepping()
{
    CAutoLock samples(&m_RendererLock);
    return m_step == FrameStep::Stepping;
}

BOOL CBaseRenderer::HaveCurrentSample()
{
    CAutoLock samples(&m_RendererLock);
    return m_pMediaSample != nullptr;
}

IMediaSample* CBaseRenderer::GetCurrentSample()
{
    CAutoLock samples(&m_RendererLock);
    if (m_pMediaSample)
        m_pMediaSample->AddRef();
    return m_pMediaSample;
}

HRESULT CBaseRenderer::PassNotify(const Quality& q)
{
    IQualityControl* target = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_qualityLock);
        target = m_pQualitySink ? m_pQualitySink : m_pUpstreamQuality;
        if (target)
            target->AddRef();
    }
    if (!target)
        return VFW_E_NOT_FOUND;
    HRESULT hr = target->Notify(static_cast<IBaseFilter*>(this), q);
    target->Release();
    return hr;
}
