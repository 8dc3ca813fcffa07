#include "CProcesserDelivery.h"

#include <pthread.h>

#include "win32/timefn.h"

CProcesserDelivery::CProcesserDelivery(IProcesserDeliveryTarget* target,
                                       const TimeControlSettings& settings, FILE* sendLog)
    : m_target(target), m_settings(settings), m_sendLog(sendLog)
{
}

CProcesserDelivery::~CProcesserDelivery()
{
    Shutdown();
    CAutoLock lock(&m_logLock);
    if (m_sendLog) {
        std::fclose(m_sendLog);
        m_sendLog = nullptr;
    }
}

bool CProcesserDelivery::Start()
{
    if (m_thread)
        return true;
    m_stop = false;
    m_thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return m_thread != nullptr;
}

void CProcesserDelivery::Shutdown()
{
    if (m_thread) {
        m_stop = true;
        m_work.Set();
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    DropAll();
}

DWORD CProcesserDelivery::ThreadProc(LPVOID parameter)
{
    pthread_setname_np(pthread_self(), "tv-processor"); // found by name in per-thread CPU figures
    static_cast<CProcesserDelivery*>(parameter)->Run();
    return 0;
}

bool CProcesserDelivery::Append(IMediaSample* sample, LONG* queued)
{
    {
        CAutoLock lock(&m_lock);
        // Checked under the queue lock: a flush that has begun has emptied
        // the queue, and nothing from before it may slip in afterwards.
        if (m_flushing)
            return false;
        sample->AddRef();
        m_queue.push_back(sample);
        if (queued)
            *queued = LONG(m_queue.size());
    }
    m_work.Set();
    return true;
}

void CProcesserDelivery::DropAll()
{
    std::deque<IMediaSample*> dropped;
    {
        CAutoLock lock(&m_lock);
        dropped.swap(m_queue);
    }
    // Released outside the lock: a release may return the buffer to an
    // allocator that wakes the streaming thread waiting for it.
    for (IMediaSample* sample : dropped)
        sample->Release();
    m_drained.Set();
}

void CProcesserDelivery::BeginFlush()
{
    {
        CAutoLock lock(&m_lock);
        m_flushing = true;
    }
    DropAll();
}

void CProcesserDelivery::EndFlush()
{
    CAutoLock lock(&m_lock);
    m_flushing = false;
}

void CProcesserDelivery::WaitWhileDelivering()
{
    for (;;) {
        {
            CAutoLock lock(&m_lock);
            if (!m_inFlight)
                return;
        }
        m_idle.Wait();
    }
}

void CProcesserDelivery::WaitUntilDelivered()
{
    for (;;) {
        {
            CAutoLock lock(&m_lock);
            if ((m_queue.empty() && !m_inFlight) || m_flushing || m_stop)
                return;
        }
        m_drained.Wait();
    }
}

void CProcesserDelivery::ResetClock()
{
    CAutoLock lock(&m_lock);
    m_nextStart = 0;
}

LONG CProcesserDelivery::Queued()
{
    CAutoLock lock(&m_lock);
    return LONG(m_queue.size());
}

REFERENCE_TIME CProcesserDelivery::NextStart()
{
    CAutoLock lock(&m_lock);
    return m_nextStart;
}

void CProcesserDelivery::OnQuality(const Quality& q, REFERENCE_TIME streamTime)
{
    if (q.Late <= 0)
        return;
    {
        CAutoLock lock(&m_lock);
        m_nextStart = streamTime + REFERENCE_TIME(m_interval.load()) * 10000;
    }
    CAutoLock log(&m_logLock);
    if (m_sendLog) {
        std::fprintf(m_sendLog, "Reset StartTime:%lld, TimeStamp:%lld, Late:%lld\n",
                     static_cast<long long>(streamTime / 10000),
                     static_cast<long long>(q.TimeStamp / 10000),
                     static_cast<long long>(q.Late / 10000));
        std::fflush(m_sendLog);
    }
}

void CProcesserDelivery::LogDelivery(REFERENCE_TIME streamTime, REFERENCE_TIME start,
                                     REFERENCE_TIME stop, DWORD t0, LONG queued)
{
    CAutoLock log(&m_logLock);
    if (!m_sendLog)
        return;
    const DWORD now = timeGetTime();
    const LONG gap = LONG(now - m_lastDelivery);
    m_lastDelivery = now;
    const LONG interval = m_interval.load();
    std::fprintf(m_sendLog,
                 "StreamTime:%lld, tStart:%lld, tEnd:%lld; Now:%d,Deliver:%d,Count:%d,subTime:%03d",
                 static_cast<long long>(streamTime / 10000), static_cast<long long>(start / 10000),
                 static_cast<long long>(stop / 10000), int(now), int(now - t0), int(queued),
                 int(gap));
    std::fputs(gap > interval + 10 ? "###\n" : gap < interval - 10 ? "#*#\n" : "\n", m_sendLog);
    std::fflush(m_sendLog);
}

void CProcesserDelivery::Run()
{
    {
        CAutoLock log(&m_logLock);
        m_lastDelivery = timeGetTime();
        if (m_sendLog) {
            std::fprintf(m_sendLog,
                         "EnableTimeControl:%d, FrameBufferCount:%d, MaxBufferCount:%d, "
                         "MinBufferCount:%d\n\n",
                         m_settings.enabled ? 1 : 0, int(m_settings.frameBufferCount),
                         int(m_settings.maxBufferCount), int(m_settings.minBufferCount));
            std::fflush(m_sendLog);
        }
    }
    while (!m_stop) {
        IMediaSample* sample = nullptr;
        LONG queued = 0;
        {
            CAutoLock lock(&m_lock);
            if (!m_queue.empty()) {
                queued = LONG(m_queue.size());
                sample = m_queue.front();
                m_queue.pop_front();
                m_inFlight = true;
            }
        }
        if (!sample) {
            m_work.Wait();
            continue;
        }

        REFERENCE_TIME start = 0, stop = 0;
        if (m_settings.enabled) {
            const LONG d = TimeControlDuration(m_settings, m_interval.load(), queued);
            {
                CAutoLock lock(&m_lock);
                start = m_nextStart;
                stop = start + REFERENCE_TIME(d) * 10000;
                m_nextStart = stop;
            }
            sample->SetTime(&start, &stop);
        } else {
            sample->SetTime(nullptr, nullptr);
        }
        const REFERENCE_TIME streamTime = m_target->QueueStreamTime();
        const DWORD t0 = timeGetTime();
        m_target->DeliverQueued(sample);
        LogDelivery(streamTime, start, stop, t0, queued);
        sample->Release();
        {
            CAutoLock lock(&m_lock);
            m_inFlight = false;
        }
        m_idle.Set();
        m_drained.Set();
    }
}
