#include "CTarvoSplitterAudioOutputPin.h"

#include <pthread.h>

#include "CTarvoSplitterF.h"
#include "SplitterMediaTypes.h"
#include "win32/trace.h"

namespace {

const wchar_t kAudioRendererName[] = L"DirectSound Device";

// The filter's first input pin that is not connected yet (referenced), or null.
IPin* FirstFreeInputPin(IBaseFilter* filter)
{
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins)) || !pins)
        return nullptr;
    IPin* found = nullptr;
    IPin* pin = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction = PINDIR_OUTPUT;
        IPin* peer = nullptr;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT &&
            pin->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED) {
            found = pin;
            continue;
        }
        if (peer)
            peer->Release();
        pin->Release();
    }
    pins->Release();
    return found;
}

} // namespace

CTarvoSplitterAudioOutputPin::CTarvoSplitterAudioOutputPin(CTarvoSplitterF* pFilter,
                                                           CCritSec* pLock, HRESULT* phr)
    : CTarvoSplitterOutputPin("Tarvo splitter audio", pFilter, pLock, phr, L"Audio Out",
                              {&MEDIATYPE_Audio, kBufferSize, kSplitterEventFirstAudio, 2}),
      m_buffer()
{
    m_inactiveEvent.Set();
    m_hThread = CreateThread(nullptr, 0, AudioThreadProc, this, 0, nullptr);
    if (!m_hThread && phr)
        *phr = E_OUTOFMEMORY;
}

CTarvoSplitterAudioOutputPin::~CTarvoSplitterAudioOutputPin()
{
    m_threadStop.Set();
    m_inactiveEvent.Set();
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
}

HRESULT CTarvoSplitterAudioOutputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    return BuildAudioMediaType(m_pSplitter->GetStreamState().codecKind, pmt);
}

HRESULT CTarvoSplitterAudioOutputPin::Active()
{
    HRESULT hr = CTarvoSplitterOutputPin::Active();
    if (FAILED(hr))
        return hr;
    // A pause before this one (the pin unconnected, or stopped since) asks
    // for nothing now: OnPaused follows.
    m_feedRenderer.store(false);
    m_inactiveEvent.Reset();
    m_activeEvent.Set();
    return S_OK;
}

HRESULT CTarvoSplitterAudioOutputPin::Inactive()
{
    m_activeEvent.Reset();
    m_inactiveEvent.Set();
    HRESULT hr = CTarvoSplitterOutputPin::Inactive();
    // The decommit woke a turn waiting for a buffer; let it finish.
    CAutoLock stream(&m_streamLock);
    CAutoLock lock(&m_audioLock);
    m_buffer.Clear();
    return hr;
}

HRESULT CTarvoSplitterAudioOutputPin::Deliver(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    const LONG length = pSample->GetActualDataLength();
    HRESULT hr = CTarvoSplitterOutputPin::Deliver(pSample);
    CountDelivered(length);
    return hr;
}

void CTarvoSplitterAudioOutputPin::AddAudio(const BYTE* data, size_t length, AudioKind kind)
{
    {
        CAutoLock lock(&m_audioLock);
        m_buffer.Add(std::span<const uint8_t>(data, data ? length : 0), kind);
    }
    m_audioArrived.Set();
}

void CTarvoSplitterAudioOutputPin::OnPaused()
{
    m_feedRenderer.store(true);
    m_audioArrived.Set();
}

size_t CTarvoSplitterAudioOutputPin::BufferedBytes()
{
    CAutoLock lock(&m_audioLock);
    return m_buffer.Buffered();
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::Render(IPin* ppinOut, IGraphBuilder* pGraph)
{
    CTvTraceCall trace("splitter", "Audio Out Render(%p, %p)", static_cast<void*>(ppinOut),
                       static_cast<void*>(pGraph));
    if (!ppinOut || !pGraph)
        return trace(E_POINTER);
    IBaseFilter* renderer = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IBaseFilter, reinterpret_cast<void**>(&renderer));
    if (FAILED(hr) || !renderer)
        return trace(FAILED(hr) ? hr : E_FAIL);
    hr = pGraph->AddFilter(renderer, kAudioRendererName);
    if (SUCCEEDED(hr)) {
        IPin* input = FirstFreeInputPin(renderer);
        hr = input ? pGraph->ConnectDirect(this, input, nullptr) : VFW_E_NOT_FOUND;
        if (input)
            input->Release();
    }
    renderer->Release();
    return trace(hr);
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::Backout(IPin*, IGraphBuilder*)
{
    return S_OK;
}

bool CTarvoSplitterAudioOutputPin::WaitFor(DWORD ms)
{
    HANDLE handles[2] = {m_threadStop, m_inactiveEvent};
    return WaitForMultipleObjects(2, handles, FALSE, ms) == WAIT_TIMEOUT;
}

DWORD CTarvoSplitterAudioOutputPin::AudioThreadProc(LPVOID param)
{
    pthread_setname_np(pthread_self(), "tv-splitaudio"); // found by name in per-thread CPU figures
    static_cast<CTarvoSplitterAudioOutputPin*>(param)->AudioLoop();
    return 0;
}

void CTarvoSplitterAudioOutputPin::AudioLoop()
{
    HANDLE idle[2] = {m_threadStop, m_activeEvent};
    // A stream without sound (most cameras) must cost nothing here: with
    // nothing buffered the thread sleeps until AddAudio, a pause, Stop or the
    // end, instead of waking every 10 ms to send an empty sample that a
    // running renderer throws away. A pausing renderer needs one, to complete
    // its pause: OnPaused asks for it.
    HANDLE empty[3] = {m_threadStop, m_inactiveEvent, m_audioArrived};
    while (!m_threadStop.Check()) {
        if (WaitForMultipleObjects(2, idle, FALSE, INFINITE) == WAIT_OBJECT_0)
            break;
        bool wasEmpty = false;
        {
            CAutoLock stream(&m_streamLock);
            if (!m_activeEvent.Check())
                continue;
            {
                CAutoLock lock(&m_audioLock);
                wasEmpty = m_buffer.Buffered() == 0;
            }
            // Any sample serves a pausing renderer, an empty one as well.
            const bool feed = m_feedRenderer.exchange(false);
            if (!wasEmpty || feed) {
                IMediaSample* sample = nullptr;
                if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
                    if (feed)
                        m_feedRenderer.store(true); // the next turn asks again
                    WaitFor(1);
                    continue;
                }
                sample->SetTime(nullptr, nullptr);
                sample->SetActualDataLength(0);
                BYTE* out = nullptr;
                sample->GetPointer(&out);
                LONG length = 0;
                {
                    CAutoLock lock(&m_audioLock);
                    if (out && !wasEmpty)
                        length = static_cast<LONG>(m_buffer.Take(
                            std::span<uint8_t>(out, static_cast<size_t>(sample->GetSize()))));
                    // All taken (a voice frame's PCM fits one sample): sleep
                    // until the next block, not for a turn.
                    wasEmpty = m_buffer.Buffered() == 0;
                }
                sample->SetActualDataLength(length);
                // A paused renderer holds the sample: Deliver returns on Run,
                // Stop or a flush.
                if (length > 0 || feed)
                    Deliver(sample);
                sample->Release();
            }
        }
        // The buffer was seen empty under the lock, and AddAudio signals after
        // it adds: audio that came since is not missed (the event is set).
        if (wasEmpty)
            WaitForMultipleObjects(3, empty, FALSE, INFINITE);
        else
            WaitFor(1);
    }
}

// ---- IMediaPosition ----

template <typename Call> HRESULT CTarvoSplitterAudioOutputPin::ForwardToVideo(Call call)
{
    CBasePin* pin = m_pSplitter->GetPin(1);
    IMediaPosition* video = nullptr;
    if (!pin || FAILED(pin->NonDelegatingQueryInterface(IID_IMediaPosition,
                                                        reinterpret_cast<void**>(&video))))
        return E_UNEXPECTED;
    HRESULT hr = call(video);
    video->Release();
    return hr;
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::get_Duration(REFTIME* plength)
{
    return ForwardToVideo([&](IMediaPosition* video) { return video->get_Duration(plength); });
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::put_CurrentPosition(REFTIME)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::get_CurrentPosition(REFTIME* pllTime)
{
    return ForwardToVideo(
        [&](IMediaPosition* video) { return video->get_CurrentPosition(pllTime); });
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::get_StopTime(REFTIME* pllTime)
{
    return ForwardToVideo([&](IMediaPosition* video) { return video->get_StopTime(pllTime); });
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::put_StopTime(REFTIME)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::get_PrerollTime(REFTIME* pllTime)
{
    return ForwardToVideo([&](IMediaPosition* video) { return video->get_PrerollTime(pllTime); });
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::put_PrerollTime(REFTIME)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::put_Rate(double)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterAudioOutputPin::get_Rate(double* pdRate)
{
    return ForwardToVideo([&](IMediaPosition* video) { return video->get_Rate(pdRate); });
}
