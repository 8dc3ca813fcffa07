// CTestPushSource: an output pin over the base classes, a streaming thread of
// its own (CAMThread) for scripted samples, and delivery from the caller.
#include "CTestPushSource.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

// {5F8C39A2-7D1E-4B0C-9A44-2E61D0C7B801}
static const GUID CLSID_TvTestPushSource = {
    0x5f8c39a2, 0x7d1e, 0x4b0c, {0x9a, 0x44, 0x2e, 0x61, 0xd0, 0xc7, 0xb8, 0x01}};

// ---- Filling a sample ----

namespace {

void FillSample(IMediaSample* sample, const TvTestSample& wanted, size_t index)
{
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = 0;
    if (!wanted.bytes.empty()) {
        length = std::min<LONG>((LONG)wanted.bytes.size(), sample->GetSize());
        std::copy_n(wanted.bytes.data(), length, data);
    } else {
        length = std::min(wanted.length, sample->GetSize());
        if (length > 0)
            memset(data, (int)(index & 0xFF), (size_t)length);
    }
    sample->SetActualDataLength(length);
    if (wanted.hasTime) {
        REFERENCE_TIME start = wanted.start;
        REFERENCE_TIME stop = wanted.stop;
        sample->SetTime(&start, wanted.hasStop ? &stop : nullptr);
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    sample->SetSyncPoint(wanted.syncPoint);
    sample->SetDiscontinuity(wanted.discontinuity);
    if (wanted.type)
        sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(wanted.type));
}

} // namespace

// ---- Output pin ----

class CTestPushSource::COutput : public CBaseOutputPin {
public:
    COutput(CTestPushSource* filter, CCritSec* lock, const std::vector<CMediaType>& types,
            HRESULT* phr)
        : CBaseOutputPin(NAME("Test source output"), filter, lock, phr, L"Output"),
          m_source(filter), m_types(types)
    {
    }

    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        for (const CMediaType& type : m_types) {
            if (type == *pmt)
                return S_OK;
        }
        return S_FALSE;
    }

    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override
    {
        if (iPosition < 0)
            return E_INVALIDARG;
        if ((size_t)iPosition >= m_types.size())
            return VFW_S_NO_MORE_ITEMS;
        return pMediaType->Set(m_types[(size_t)iPosition]);
    }

    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* /*request*/) override
    {
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = pAlloc->SetProperties(&m_request, &actual);
        if (FAILED(hr))
            return hr;
        std::lock_guard<std::mutex> lock(m_grantedLock);
        m_granted = actual;
        return S_OK;
    }

    // Any thread (a renderer sends from its streaming thread).
    STDMETHODIMP Notify(IBaseFilter*, Quality q) override
    {
        std::lock_guard<std::mutex> lock(m_qualityLock);
        m_quality.push_back(q);
        return m_qualityAnswer;
    }

    // The streaming thread runs from pause to stop.
    HRESULT Active() override;
    HRESULT Inactive() override;

    ALLOCATOR_PROPERTIES m_request{2, 1024, 1, 0}; // set while stopped
    bool m_ownThread = true;                       // set while stopped
    std::mutex m_grantedLock;
    ALLOCATOR_PROPERTIES m_granted{}; // guarded by m_grantedLock
    std::mutex m_qualityLock;
    // Guarded by m_qualityLock.
    HRESULT m_qualityAnswer = E_NOTIMPL;
    std::vector<Quality> m_quality;

private:
    CTestPushSource* const m_source;
    const std::vector<CMediaType> m_types;
};

// ---- Streaming thread ----

class CTestPushSource::CStreamThread : public CAMThread {
public:
    enum Command : DWORD { CMD_STREAM = 1, CMD_EXIT = 2 };

    explicit CStreamThread(COutput* pin) : m_pin(pin) {}
    ~CStreamThread() override { Stop(); }

    void Start()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_finished = false;
            m_lastBufferResult = S_OK;
            m_results.clear();
        }
        if (Create())
            CallWorker(CMD_STREAM);
    }

    // Application thread, after the allocator was decommitted (which wakes
    // a thread blocked for a buffer).
    void Stop()
    {
        if (!ThreadExists())
            return;
        CallWorker(CMD_EXIT);
        Close();
    }

    DWORD ThreadProc() override
    {
        for (;;) {
            const DWORD command = GetRequest();
            Reply(S_OK);
            if (command == CMD_EXIT)
                return 0;
            if (command == CMD_STREAM && !Stream())
                return 0;
        }
    }

    // Set while stopped.
    std::vector<TvTestSample> m_samples;
    bool m_endOfStream = true;
    bool m_newSegment = false;
    REFERENCE_TIME m_segmentStop = 0x7FFFFFFFFFFFFFFFLL;

    std::mutex m_lock;
    std::condition_variable m_changed;
    // Guarded by m_lock.
    std::vector<HRESULT> m_results;
    HRESULT m_lastBufferResult = S_OK;
    bool m_waitingForBuffer = false;
    bool m_finished = false;

private:
    // Delivers everything; false when an exit request arrived meanwhile.
    bool Stream()
    {
        bool keepRunning = true;
        if (m_newSegment)
            m_pin->DeliverNewSegment(0, m_segmentStop, 1.0);
        bool completed = true;
        for (size_t i = 0; i < m_samples.size(); ++i) {
            DWORD command = 0;
            if (CheckRequest(&command)) {
                Reply(S_OK);
                if (command == CMD_EXIT) {
                    keepRunning = false;
                    completed = false;
                    break;
                }
            }
            SetWaiting(true);
            IMediaSample* sample = nullptr;
            const HRESULT hrBuffer = m_pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            SetWaiting(false);
            if (FAILED(hrBuffer)) {
                std::lock_guard<std::mutex> lock(m_lock);
                m_lastBufferResult = hrBuffer;
                completed = false;
                break;
            }
            FillSample(sample, m_samples[i], i);
            const HRESULT hr = m_pin->Deliver(sample);
            sample->Release();
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_results.push_back(hr);
            }
            m_changed.notify_all();
            // A source stops delivering when the downstream pin refuses.
            if (hr != S_OK) {
                completed = false;
                break;
            }
        }
        if (completed && m_endOfStream)
            m_pin->DeliverEndOfStream();
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_finished = true;
        }
        m_changed.notify_all();
        return keepRunning;
    }

    void SetWaiting(bool waiting)
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_waitingForBuffer = waiting;
        }
        m_changed.notify_all();
    }

    COutput* const m_pin;
};

HRESULT CTestPushSource::COutput::Active()
{
    const HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (m_ownThread)
        m_source->m_pThread->Start();
    return S_OK;
}

HRESULT CTestPushSource::COutput::Inactive()
{
    // Decommit first: a thread blocked in GetDeliveryBuffer wakes up.
    const HRESULT hr = CBaseOutputPin::Inactive();
    m_source->m_pThread->Stop();
    return hr;
}

// ---- Filter ----

CTestPushSource* CTestPushSource::Create(const std::vector<CMediaType>& types, HRESULT* phr)
{
    HRESULT hr = S_OK;
    CTestPushSource* source = new CTestPushSource(types, &hr);
    if (phr)
        *phr = hr;
    source->AddRef();
    return source;
}

CTestPushSource::CTestPushSource(const std::vector<CMediaType>& types, HRESULT* phr)
    : CBaseFilter(NAME("Test push source"), nullptr, &m_filterLock, CLSID_TvTestPushSource)
{
    m_pOutput = new COutput(this, &m_filterLock, types, phr);
    m_pThread = new CStreamThread(m_pOutput);
}

CTestPushSource::~CTestPushSource()
{
    m_pThread->Stop();
    delete m_pThread;
    delete m_pOutput;
}

CBasePin* CTestPushSource::GetPin(int n)
{
    return n == 0 ? m_pOutput : nullptr;
}

CBaseOutputPin* CTestPushSource::OutputPin()
{
    return m_pOutput;
}

IPin* CTestPushSource::Output()
{
    return m_pOutput;
}

void CTestPushSource::SetSamples(const std::vector<TvTestSample>& samples, bool endOfStream)
{
    CAutoLock lock(&m_filterLock);
    m_pThread->m_samples = samples;
    m_pThread->m_endOfStream = endOfStream;
}

void CTestPushSource::SetNewSegment(bool send, REFERENCE_TIME stop)
{
    CAutoLock lock(&m_filterLock);
    m_pThread->m_newSegment = send;
    m_pThread->m_segmentStop = stop;
}

void CTestPushSource::SetAllocatorRequest(LONG buffers, LONG bufferSize, LONG align, LONG prefix)
{
    CAutoLock lock(&m_filterLock);
    m_pOutput->m_request = ALLOCATOR_PROPERTIES{buffers, bufferSize, align, prefix};
}

ALLOCATOR_PROPERTIES CTestPushSource::GrantedProperties()
{
    std::lock_guard<std::mutex> lock(m_pOutput->m_grantedLock);
    return m_pOutput->m_granted;
}

std::vector<HRESULT> CTestPushSource::DeliverResults()
{
    std::lock_guard<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_results;
}

HRESULT CTestPushSource::LastBufferResult()
{
    std::lock_guard<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_lastBufferResult;
}

bool CTestPushSource::WaitingForBuffer()
{
    std::lock_guard<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_waitingForBuffer;
}

bool CTestPushSource::WaitForDeliveries(size_t n, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_pThread->m_results.size() >= n || m_pThread->m_waitingForBuffer ||
               m_pThread->m_finished;
    });
}

bool CTestPushSource::WaitUntilWaitingForBuffer(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return m_pThread->m_waitingForBuffer; });
}

bool CTestPushSource::WaitUntilFinished(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_pThread->m_lock);
    return m_pThread->m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return m_pThread->m_finished; });
}

TvTestSample TvTimedSample(REFERENCE_TIME start, REFERENCE_TIME stop, std::vector<BYTE> bytes)
{
    TvTestSample sample;
    sample.hasTime = true;
    sample.start = start;
    sample.stop = stop;
    sample.bytes = std::move(bytes);
    return sample;
}

void CTestPushSource::UseOwnThread(bool own)
{
    CAutoLock lock(&m_filterLock);
    m_pOutput->m_ownThread = own;
}

HRESULT CTestPushSource::Deliver(const TvTestSample& wanted)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = m_pOutput->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    FillSample(sample, wanted, 0);
    hr = m_pOutput->Deliver(sample);
    sample->Release();
    return hr;
}

namespace {

TvTestSample BytesSample(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start,
                         const REFERENCE_TIME* stop, const AM_MEDIA_TYPE* newType)
{
    TvTestSample sample;
    sample.bytes = bytes;
    sample.length = 0;
    sample.hasTime = start != nullptr;
    sample.start = start ? *start : 0;
    sample.hasStop = stop != nullptr;
    sample.stop = stop ? *stop : 0;
    sample.syncPoint = false;
    sample.type = newType;
    return sample;
}

} // namespace

HRESULT CTestPushSource::Deliver(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start,
                                 const REFERENCE_TIME* stop, const AM_MEDIA_TYPE* newType)
{
    return Deliver(BytesSample(bytes, start, stop, newType));
}

std::future<HRESULT> CTestPushSource::DeliverAsync(TvTestSample sample)
{
    return std::async(std::launch::async,
                      [this, sample = std::move(sample)] { return Deliver(sample); });
}

std::future<HRESULT> CTestPushSource::DeliverAsync(std::vector<uint8_t> bytes,
                                                   std::optional<REFERENCE_TIME> start,
                                                   std::optional<REFERENCE_TIME> stop)
{
    return DeliverAsync(
        BytesSample(bytes, start ? &*start : nullptr, stop ? &*stop : nullptr, nullptr));
}

HRESULT CTestPushSource::DeliverEndOfStream()
{
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTestPushSource::DeliverBeginFlush()
{
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTestPushSource::DeliverEndFlush()
{
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTestPushSource::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_pOutput->DeliverNewSegment(start, stop, rate);
}

void CTestPushSource::SetQualityAnswer(HRESULT answer)
{
    std::lock_guard<std::mutex> lock(m_pOutput->m_qualityLock);
    m_pOutput->m_qualityAnswer = answer;
}

std::vector<Quality> CTestPushSource::QualityMessages()
{
    std::lock_guard<std::mutex> lock(m_pOutput->m_qualityLock);
    return m_pOutput->m_quality;
}
