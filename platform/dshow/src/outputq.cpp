// COutputQueue: direct or threaded delivery to a downstream input pin.
#include "outputq.h"

#include <pthread.h>
#include <algorithm>

#include "dshowtrace.h"

COutputQueue::COutputQueue(IPin* pInputPin, HRESULT* phr, BOOL bAuto, BOOL bQueue, LONG lBatchSize,
                           BOOL bBatchExact, LONG lListSize, DWORD dwPriority, bool bFlushingOpt)
    : m_pPin(pInputPin), m_pInputPin(nullptr), m_bBatchExact(bBatchExact),
      m_lBatchSize(std::max<LONG>(lBatchSize, 1)), m_bFlushingOpt(bFlushingOpt)
{
    auto fail = [phr](HRESULT hr) {
        if (phr)
            *phr = hr;
    };
    if (!m_pPin) {
        fail(E_POINTER);
        return;
    }
    m_pPin->AddRef();
    HRESULT hr = m_pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
    if (FAILED(hr) || !m_pInputPin) {
        m_pInputPin = nullptr;
        fail(E_NOINTERFACE);
        return;
    }

    if (bAuto) {
        // A pin that may block in Receive (a renderer waiting for its
        // presentation time, a full queue further down) gets a thread, so that
        // the owner's streaming thread is never held up by it.
        hr = m_pInputPin->ReceiveCanBlock();
        if (SUCCEEDED(hr))
            bQueue = hr == S_OK;
    }

    m_batch.reserve(static_cast<size_t>(m_lBatchSize));
    m_sending.reserve(static_cast<size_t>(m_lBatchSize));
    DSHOW_TRACE("output queue %p: to pin %p, %s, batch %d%s", (void*)this, (void*)m_pPin,
                bQueue ? "own thread" : "direct", (int)m_lBatchSize, bBatchExact ? " exact" : "");
    if (!bQueue)
        return;

    m_ring.resize(static_cast<size_t>(std::max<LONG>(lListSize, 1)));
    DWORD threadId = 0;
    m_hThread = CreateThread(nullptr, 0, InitialThreadProc, this, 0, &threadId);
    if (!m_hThread) {
        fail(E_FAIL);
        return;
    }
    if (dwPriority != THREAD_PRIORITY_NORMAL)
        SetThreadPriority(m_hThread, static_cast<int>(dwPriority));
}

COutputQueue::~COutputQueue()
{
    if (m_hThread) {
        {
            std::lock_guard lk(m_lock);
            m_bTerminate = TRUE;
        }
        m_workReady.notify_all();
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }

    // Whatever is still queued or batched never went out: give it back.
    std::vector<IMediaSample*> drop;
    while (m_count > 0) {
        Item item = PopItem();
        if (item.kind == ItemKind::Sample)
            drop.push_back(item.sample);
    }
    drop.insert(drop.end(), m_batch.begin(), m_batch.end());
    m_batch.clear();
    drop.insert(drop.end(), m_sending.begin(), m_sending.end());
    m_sending.clear();
    ReleaseSamples(drop);

    if (m_pInputPin)
        m_pInputPin->Release();
    if (m_pPin)
        m_pPin->Release();
}

DWORD COutputQueue::InitialThreadProc(LPVOID pv)
{
    pthread_setname_np(pthread_self(), "tv-outputq"); // found by name in per-thread CPU figures
    return static_cast<COutputQueue*>(pv)->ThreadProc();
}

void COutputQueue::PushItem(const Item& item)
{
    if (m_count == m_ring.size()) {
        // Grow, keeping the order: unroll the ring into a larger one.
        std::vector<Item> larger(m_ring.size() * 2);
        for (size_t i = 0; i < m_count; ++i)
            larger[i] = m_ring[(m_head + i) % m_ring.size()];
        m_ring.swap(larger);
        m_head = 0;
    }
    m_ring[(m_head + m_count) % m_ring.size()] = item;
    ++m_count;
}

COutputQueue::Item COutputQueue::PopItem()
{
    Item item = m_ring[m_head];
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    return item;
}

void COutputQueue::TakeFlushedItems(std::vector<IMediaSample*>& drop)
{
    size_t kept = 0;
    const size_t size = m_ring.size();
    for (size_t i = 0; i < m_count; ++i) {
        Item& item = m_ring[(m_head + i) % size];
        if (item.kind == ItemKind::Sample) {
            drop.push_back(item.sample);
            continue;
        }
        if (item.kind == ItemKind::EndOfStream || item.kind == ItemKind::SendAnyway)
            continue;
        m_ring[(m_head + kept) % size] = item;
        ++kept;
    }
    m_count = kept;
}

void COutputQueue::ReleaseSamples(std::vector<IMediaSample*>& samples)
{
    for (IMediaSample* sample : samples)
        sample->Release();
    samples.clear();
}

HRESULT COutputQueue::DeliverSamples(std::vector<IMediaSample*>& samples)
{
    HRESULT hr = S_OK;
    if (samples.size() == 1) {
        hr = m_pInputPin->Receive(samples[0]);
    } else if (!samples.empty()) {
        LONG done = 0;
        hr = m_pInputPin->ReceiveMultiple(samples.data(), static_cast<LONG>(samples.size()), &done);
    }
    ReleaseSamples(samples);
    return hr;
}

// ---- the queue thread ----

DWORD COutputQueue::ThreadProc()
{
    std::unique_lock lk(m_lock);
    for (;;) {
        // Wait for an item, or for a partial batch that may go out now.
        for (;;) {
            if (m_bTerminate)
                return 0;
            if (m_count > 0)
                break;
            if (!m_batch.empty() && (m_bFlushing || !m_bBatchExact))
                break;
            m_workReady.wait(lk);
        }

        enum class After { Nothing, EndOfStream, NewSegment, ResetReached };
        After after = After::Nothing;
        Item item{};
        bool send = false; // m_sending goes downstream (else it is dropped)
        IMediaSample* rejected = nullptr;

        if (m_count == 0) {
            m_sending.swap(m_batch);
            send = !m_bFlushing;
        } else {
            item = PopItem();
            switch (item.kind) {
            case ItemKind::Sample:
                if (m_bFlushing || m_hr != S_OK) {
                    rejected = item.sample;
                    break;
                }
                m_batch.push_back(item.sample);
                if (m_hEventPop)
                    SetEvent(m_hEventPop);
                if (static_cast<LONG>(m_batch.size()) >= m_lBatchSize) {
                    m_sending.swap(m_batch);
                    send = true;
                }
                break;
            case ItemKind::EndOfStream:
                m_sending.swap(m_batch);
                send = !m_bFlushing && m_hr == S_OK;
                if (!m_bFlushing)
                    after = After::EndOfStream;
                break;
            case ItemKind::NewSegment:
                m_sending.swap(m_batch);
                send = !m_bFlushing && m_hr == S_OK;
                after = After::NewSegment;
                break;
            case ItemKind::SendAnyway:
                m_sending.swap(m_batch);
                send = !m_bFlushing && m_hr == S_OK;
                break;
            case ItemKind::Reset:
                m_sending.swap(m_batch);
                send = false;
                after = After::ResetReached;
                break;
            }
        }

        m_bDelivering = TRUE;
        lk.unlock();

        if (rejected)
            rejected->Release();
        HRESULT hr = S_OK;
        const bool delivered = send && !m_sending.empty();
        if (delivered)
            hr = DeliverSamples(m_sending);
        else
            ReleaseSamples(m_sending);
        if (after == After::EndOfStream)
            m_pPin->EndOfStream();
        else if (after == After::NewSegment)
            m_pPin->NewSegment(item.tStart, item.tStop, item.dRate);

        lk.lock();
        m_bDelivering = FALSE;
        if (delivered && m_hr == S_OK)
            m_hr = hr;
        if (after == After::ResetReached) {
            ++m_resetsReached;
            m_resetReached.notify_all();
        }
    }
}

void COutputQueue::WaitForQueuedReset(std::unique_lock<std::mutex>& lk)
{
    Item marker{};
    marker.kind = ItemKind::Reset;
    PushItem(marker);
    const ULONGLONG ticket = ++m_resetsQueued;
    m_workReady.notify_one();
    m_resetReached.wait(lk, [&] { return m_resetsReached >= ticket || m_bTerminate; });
}

// ---- direct mode ----

HRESULT COutputQueue::ReceiveDirect(IMediaSample** ppSamples, LONG nSamples)
{
    std::vector<IMediaSample*> drop;
    HRESULT hr;
    {
        std::lock_guard lk(m_lock);
        if (m_bFlushing || m_hr != S_OK) {
            drop.assign(ppSamples, ppSamples + nSamples);
            hr = m_bFlushing ? S_FALSE : m_hr;
        } else {
            hr = S_OK;
        }
    }
    if (!drop.empty() || hr != S_OK) {
        ReleaseSamples(drop);
        return hr;
    }

    for (LONG i = 0; i < nSamples; ++i) {
        bool full;
        {
            std::lock_guard lk(m_lock);
            if (m_bFlushing || m_hr != S_OK) {
                // A flush or a failure arrived meanwhile: the rest is dropped.
                drop.assign(ppSamples + i, ppSamples + nSamples);
                break;
            }
            m_batch.push_back(ppSamples[i]);
            if (m_hEventPop)
                SetEvent(m_hEventPop);
            full = static_cast<LONG>(m_batch.size()) >= m_lBatchSize;
            const bool last = i == nSamples - 1;
            if (!full && !(last && !m_bBatchExact))
                continue;
            m_sending.swap(m_batch);
            m_bDelivering = TRUE;
        }
        const HRESULT result = DeliverSamples(m_sending);
        std::lock_guard lk(m_lock);
        m_bDelivering = FALSE;
        if (m_hr == S_OK)
            m_hr = result;
    }
    ReleaseSamples(drop);
    std::lock_guard lk(m_lock);
    return m_bFlushing ? S_FALSE : m_hr;
}

void COutputQueue::FlushBatchDirect()
{
    bool send;
    {
        std::lock_guard lk(m_lock);
        m_sending.swap(m_batch);
        send = !m_bFlushing && m_hr == S_OK && !m_sending.empty();
        if (send)
            m_bDelivering = TRUE;
    }
    if (!send) {
        ReleaseSamples(m_sending);
        return;
    }
    const HRESULT result = DeliverSamples(m_sending);
    std::lock_guard lk(m_lock);
    m_bDelivering = FALSE;
    if (m_hr == S_OK)
        m_hr = result;
}

// ---- the owner's calls ----

HRESULT COutputQueue::Receive(IMediaSample* pSample)
{
    if (!pSample)
        return E_POINTER;
    return ReceiveMultiple(&pSample, 1, nullptr);
}

HRESULT COutputQueue::ReceiveMultiple(IMediaSample** ppSamples, LONG nSamples,
                                      LONG* nSamplesProcessed)
{
    if (nSamplesProcessed)
        *nSamplesProcessed = 0;
    if (nSamples < 0 || (nSamples > 0 && !ppSamples))
        return E_POINTER;
    if (!m_pInputPin) {
        for (LONG i = 0; i < nSamples; ++i)
            ppSamples[i]->Release();
        return VFW_E_NOT_CONNECTED;
    }
    if (nSamplesProcessed)
        *nSamplesProcessed = nSamples;
    if (!IsQueued())
        return ReceiveDirect(ppSamples, nSamples);

    std::vector<IMediaSample*> drop;
    HRESULT hr;
    {
        std::lock_guard lk(m_lock);
        if (m_bFlushing && m_bFlushingOpt) {
            drop.assign(ppSamples, ppSamples + nSamples);
            hr = S_FALSE;
        } else if (m_hr != S_OK) {
            drop.assign(ppSamples, ppSamples + nSamples);
            hr = m_hr;
        } else {
            for (LONG i = 0; i < nSamples; ++i) {
                Item item{};
                item.kind = ItemKind::Sample;
                item.sample = ppSamples[i];
                PushItem(item);
            }
            hr = S_OK;
        }
    }
    if (drop.empty())
        m_workReady.notify_one();
    ReleaseSamples(drop);
    return hr;
}

void COutputQueue::EOS()
{
    if (!m_pInputPin)
        return;
    if (IsQueued()) {
        std::lock_guard lk(m_lock);
        Item item{};
        item.kind = ItemKind::EndOfStream;
        PushItem(item);
        m_workReady.notify_one();
        return;
    }
    FlushBatchDirect();
    bool flushing;
    {
        std::lock_guard lk(m_lock);
        flushing = m_bFlushing;
    }
    if (!flushing)
        m_pPin->EndOfStream();
}

void COutputQueue::SendAnyway()
{
    if (!m_pInputPin)
        return;
    if (IsQueued()) {
        std::lock_guard lk(m_lock);
        Item item{};
        item.kind = ItemKind::SendAnyway;
        PushItem(item);
        m_workReady.notify_one();
        return;
    }
    FlushBatchDirect();
}

void COutputQueue::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    if (!m_pInputPin)
        return;
    if (IsQueued()) {
        std::lock_guard lk(m_lock);
        Item item{};
        item.kind = ItemKind::NewSegment;
        item.tStart = tStart;
        item.tStop = tStop;
        item.dRate = dRate;
        PushItem(item);
        m_workReady.notify_one();
        return;
    }
    FlushBatchDirect();
    m_pPin->NewSegment(tStart, tStop, dRate);
}

void COutputQueue::BeginFlush()
{
    if (!m_pInputPin)
        return;
    std::vector<IMediaSample*> drop;
    {
        std::lock_guard lk(m_lock);
        m_bFlushing = TRUE;
        if (IsQueued()) {
            TakeFlushedItems(drop);
            // The thread drops its partial batch when it sees the flush.
            m_workReady.notify_one();
        } else {
            drop.swap(m_batch);
        }
    }
    DSHOW_TRACE("output queue %p: BeginFlush, %d samples dropped", (void*)this, (int)drop.size());
    ReleaseSamples(drop);
    // Downstream first learns of the flush here, so a pin blocked in Receive
    // returns and the queue thread can go on.
    m_pPin->BeginFlush();
}

void COutputQueue::EndFlush()
{
    if (!m_pInputPin)
        return;
    {
        std::unique_lock lk(m_lock);
        if (IsQueued())
            WaitForQueuedReset(lk);
        m_bFlushing = FALSE;
        m_hr = S_OK;
    }
    m_pPin->EndFlush();
}

void COutputQueue::Reset()
{
    std::unique_lock lk(m_lock);
    if (IsQueued())
        WaitForQueuedReset(lk);
    m_hr = S_OK;
}

BOOL COutputQueue::IsIdle()
{
    std::lock_guard lk(m_lock);
    return m_count == 0 && m_batch.empty() && !m_bDelivering;
}

void COutputQueue::SetPopEvent(HANDLE hEvent)
{
    std::lock_guard lk(m_lock);
    m_hEventPop = hEvent;
}
