// CTestSink: an input pin over the base classes that records what arrives.
#include "CTestSink.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

// {5F8C39A2-7D1E-4B0C-9A44-2E61D0C7B802}
static const GUID CLSID_TvTestSink = {
    0x5f8c39a2, 0x7d1e, 0x4b0c, {0x9a, 0x44, 0x2e, 0x61, 0xd0, 0xc7, 0xb8, 0x02}};

class CTestSink::CInput : public CBaseInputPin {
public:
    CInput(CTestSink* filter, CCritSec* lock, const GUID& major, HRESULT* phr)
        : CBaseInputPin(NAME("Test sink input"), filter, lock, phr, L"Input"), m_major(major)
    {
    }
    ~CInput() override { ReleaseHeld(); }

    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        if (m_accept)
            return m_accept(pmt);
        if (m_major == GUID_NULL || *pmt->Type() == m_major)
            return S_OK;
        return S_FALSE;
    }

    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override
    {
        if (iPosition < 0)
            return E_INVALIDARG;
        if (iPosition > 0 || m_major == GUID_NULL)
            return VFW_S_NO_MORE_ITEMS;
        pMediaType->InitMediaType();
        pMediaType->SetType(&m_major);
        return S_OK;
    }

    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override
    {
        if (!m_hasRequirements)
            return CBaseInputPin::GetAllocatorRequirements(pProps);
        CheckPointer(pProps, E_POINTER);
        *pProps = m_requirements;
        return S_OK;
    }

    // Streaming thread.
    STDMETHODIMP Receive(IMediaSample* pSample) override
    {
        HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr != S_OK)
            return hr;
        if (m_hook)
            m_hook(pSample);
        TvStreamEvent event;
        event.kind = TvStreamEvent::Kind::Sample;
        event.timeResult = pSample->GetTime(&event.start, &event.stop);
        event.syncPoint = pSample->IsSyncPoint() == S_OK;
        event.discontinuity = pSample->IsDiscontinuity() == S_OK;
        event.preroll = pSample->IsPreroll() == S_OK;
        event.length = pSample->GetActualDataLength();
        event.typeChanged = (SampleProps()->dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0;
        BYTE* data = nullptr;
        if (SUCCEEDED(pSample->GetPointer(&data)) && data && event.length > 0)
            event.bytes.assign(data, data + std::min<size_t>((size_t)event.length, m_keepBytes));

        std::unique_lock<std::mutex> lock(m_lock);
        // The filter state still reads "paused" while Stop deactivates the
        // pin: refuse what arrives once the pin is going inactive.
        if (!m_active)
            return VFW_E_WRONG_STATE;
        m_byteCount += event.bytes.size();
        m_events.push_back(std::move(event));
        if (m_hold) {
            pSample->AddRef();
            m_held.push_back(pSample);
        }
        m_changed.notify_all();
        if (m_block) {
            const unsigned generation = m_releaseGeneration;
            m_blocked = true;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_releaseGeneration != generation || !m_active; });
            m_blocked = false;
            // Woken by a flush or a stop: the sample is refused now.
            return S_FALSE;
        }
        return S_OK;
    }

    STDMETHODIMP EndOfStream() override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            TvStreamEvent event;
            event.kind = TvStreamEvent::Kind::EndOfStream;
            m_events.push_back(event);
        }
        m_changed.notify_all();
        if (m_notifyComplete && !m_bFlushing)
            m_pFilter->NotifyEvent(EC_COMPLETE, S_OK, 0);
        return S_OK;
    }

    STDMETHODIMP BeginFlush() override
    {
        const HRESULT hr = CBaseInputPin::BeginFlush();
        Record(TvStreamEvent::Kind::BeginFlush);
        WakeBlocked();
        return hr;
    }

    STDMETHODIMP EndFlush() override
    {
        const HRESULT hr = CBaseInputPin::EndFlush();
        Record(TvStreamEvent::Kind::EndFlush);
        return hr;
    }

    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override
    {
        CBaseInputPin::NewSegment(tStart, tStop, dRate);
        TvStreamEvent event;
        event.kind = TvStreamEvent::Kind::NewSegment;
        event.segmentStart = tStart;
        event.segmentStop = tStop;
        event.rate = dRate;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_events.push_back(event);
        }
        m_changed.notify_all();
        return S_OK;
    }

    HRESULT Active() override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_active = true;
        }
        return CBaseInputPin::Active();
    }

    HRESULT Inactive() override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_active = false;
        }
        WakeBlocked();
        // Decommit before handing the held samples back, so that an upstream
        // thread waiting for a buffer wakes to VFW_E_NOT_COMMITTED instead of
        // getting one of them.
        const HRESULT hr = CBaseInputPin::Inactive();
        ReleaseHeld();
        return hr;
    }

    void Record(TvStreamEvent::Kind kind)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            TvStreamEvent event;
            event.kind = kind;
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }

    void WakeBlocked()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_releaseGeneration;
        }
        m_changed.notify_all();
    }

    void ReleaseHeld()
    {
        std::vector<IMediaSample*> held;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            held.swap(m_held);
        }
        for (IMediaSample* sample : held)
            sample->Release();
    }

    HRESULT SendQuality(const Quality& q)
    {
        IPin* upstream = GetConnected();
        if (!upstream)
            return VFW_E_NOT_CONNECTED;
        IQualityControl* qc = nullptr;
        HRESULT hr = upstream->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&qc));
        if (FAILED(hr))
            return hr;
        hr = qc->Notify(m_pFilter, q);
        qc->Release();
        return hr;
    }

    // Settings, changed while stopped.
    const GUID m_major;
    std::function<HRESULT(const CMediaType*)> m_accept;
    std::function<void(IMediaSample*)> m_hook;
    size_t m_keepBytes = 16;
    bool m_hasRequirements = false;
    ALLOCATOR_PROPERTIES m_requirements{};
    std::atomic<bool> m_notifyComplete{false};

    std::mutex m_lock;
    std::condition_variable m_changed;
    // Guarded by m_lock.
    std::vector<TvStreamEvent> m_events;
    std::vector<IMediaSample*> m_held;
    bool m_hold = false;
    bool m_block = false;
    bool m_blocked = false;
    bool m_active = false; // between Active and Inactive
    unsigned m_releaseGeneration = 0;
    size_t m_byteCount = 0; // kept bytes of every sample event
    size_t m_pulled = 0;    // events before this index have been looked at by PullSample
};

CTestSink* CTestSink::Create(const GUID& acceptedMajor, HRESULT* phr)
{
    HRESULT hr = S_OK;
    CTestSink* sink = new CTestSink(acceptedMajor, &hr);
    if (phr)
        *phr = hr;
    sink->AddRef();
    return sink;
}

CTestSink::CTestSink(const GUID& acceptedMajor, HRESULT* phr)
    : CBaseFilter(NAME("Test sink"), nullptr, &m_filterLock, CLSID_TvTestSink)
{
    m_pInput = new CInput(this, &m_filterLock, acceptedMajor, phr);
}

CTestSink::~CTestSink()
{
    delete m_pInput;
}

CBasePin* CTestSink::GetPin(int n)
{
    return n == 0 ? m_pInput : nullptr;
}

CBaseInputPin* CTestSink::InputPin()
{
    return m_pInput;
}

IPin* CTestSink::Input()
{
    return m_pInput;
}

void CTestSink::SetAcceptFunction(std::function<HRESULT(const CMediaType*)> accept)
{
    CAutoLock lock(&m_filterLock);
    m_pInput->m_accept = std::move(accept);
}

void CTestSink::SetAllocatorRequirements(const ALLOCATOR_PROPERTIES& props)
{
    CAutoLock lock(&m_filterLock);
    m_pInput->m_requirements = props;
    m_pInput->m_hasRequirements = true;
}

void CTestSink::SetHoldSamples(bool hold)
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    m_pInput->m_hold = hold;
}

void CTestSink::ReleaseHeldSamples()
{
    m_pInput->ReleaseHeld();
}

void CTestSink::SetBlockInReceive(bool block)
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    m_pInput->m_block = block;
}

bool CTestSink::BlockedInReceive()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_blocked;
}

void CTestSink::SetNotifyComplete(bool notify)
{
    m_pInput->m_notifyComplete = notify;
}

std::vector<TvStreamEvent> CTestSink::Events()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_events;
}

std::vector<TvStreamEvent> CTestSink::Samples()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    std::vector<TvStreamEvent> samples;
    for (const TvStreamEvent& event : m_pInput->m_events) {
        if (event.kind == TvStreamEvent::Kind::Sample)
            samples.push_back(event);
    }
    return samples;
}

size_t CTestSink::SampleCount()
{
    return EventCount(TvStreamEvent::Kind::Sample);
}

size_t CTestSink::EventCount(TvStreamEvent::Kind kind)
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    return (size_t)std::count_if(m_pInput->m_events.begin(), m_pInput->m_events.end(),
                                 [&](const TvStreamEvent& event) { return event.kind == kind; });
}

bool CTestSink::WaitForSamples(size_t n, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return (size_t)std::count_if(m_pInput->m_events.begin(), m_pInput->m_events.end(),
                                     [](const TvStreamEvent& event) {
                                         return event.kind == TvStreamEvent::Kind::Sample;
                                     }) >= n;
    });
}

bool CTestSink::WaitForEndOfStream(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::any_of(m_pInput->m_events.begin(), m_pInput->m_events.end(),
                           [](const TvStreamEvent& event) {
                               return event.kind == TvStreamEvent::Kind::EndOfStream;
                           });
    });
}

bool CTestSink::WaitUntilBlocked(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [&] { return m_pInput->m_blocked; });
}

void CTestSink::ClearEvents()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    m_pInput->m_events.clear();
    m_pInput->m_byteCount = 0;
    m_pInput->m_pulled = 0;
}

void CTestSink::SetKeepBytes(size_t bytesPerSample)
{
    CAutoLock lock(&m_filterLock);
    m_pInput->m_keepBytes = bytesPerSample;
}

void CTestSink::SetReceiveHook(std::function<void(IMediaSample*)> hook)
{
    CAutoLock lock(&m_filterLock);
    m_pInput->m_hook = std::move(hook);
}

std::string CTestSink::Bytes()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    std::string bytes;
    bytes.reserve(m_pInput->m_byteCount);
    for (const TvStreamEvent& event : m_pInput->m_events) {
        if (event.kind == TvStreamEvent::Kind::Sample)
            bytes.append(event.bytes.begin(), event.bytes.end());
    }
    return bytes;
}

size_t CTestSink::ByteCount()
{
    std::lock_guard<std::mutex> lock(m_pInput->m_lock);
    return m_pInput->m_byteCount;
}

std::optional<TvStreamEvent> CTestSink::PullSample(DWORD timeoutMs)
{
    CInput& pin = *m_pInput;
    std::unique_lock<std::mutex> lock(pin.m_lock);
    const auto nextSample = [&] {
        while (pin.m_pulled < pin.m_events.size() &&
               pin.m_events[pin.m_pulled].kind != TvStreamEvent::Kind::Sample)
            ++pin.m_pulled;
        return pin.m_pulled < pin.m_events.size();
    };
    if (!pin.m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), nextSample))
        return std::nullopt;
    return pin.m_events[pin.m_pulled++];
}

HRESULT CTestSink::SendQuality(const Quality& q)
{
    return m_pInput->SendQuality(q);
}
