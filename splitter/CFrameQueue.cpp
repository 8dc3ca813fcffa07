#include "CFrameQueue.h"

#include "win32/file.h"
#include "win32/sync.h"
#include "win32/timefn.h"
#include "win32/trace.h"

#include <pthread.h>
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <limits>

// The module's debug channel ("splitter"), off unless TARVO_TRACE names it.
#define QUEUE_TRACE(...)                                                                           \
    do {                                                                                           \
        if (TvTraceEnabled("splitter"))                                                            \
            TvTrace("splitter", __VA_ARGS__);                                                      \
    } while (0)

namespace {

constexpr const char* kTimeLogPath = "C:\\tvxvr416\\time.log";
constexpr int64_t kJumpMicros = 500000;     // a larger step (scaled by the rate) re-anchors
constexpr int64_t kJumpLeadMicros = 500000; // wall anchor lead after a jump
constexpr DWORD kJumpSleepMs = 500;         // sleep after a forward jump
constexpr DWORD kBackSleepMs = 40;          // sleep after a backward jump
constexpr int64_t kMaxPaceMs = 1000;        // longest pacing sleep
constexpr DWORD kRequestPollMs = 10;        // the request thread's turn
constexpr uint64_t kTimestampMask = (uint64_t{1} << 52) - 1; // upper word kept to 20 bits

class SystemClock final : public IFrameQueueClock {
public:
    int64_t UtcMicros() override
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    DWORD TickCount() override { return GetTickCount(); }
    void PacingWait(DWORD ms, const HANDLE* wake, DWORD count) override
    {
        WaitForMultipleObjects(count, wake, FALSE, ms);
    }
};

SystemClock g_systemClock;

// The element's stream time from the header's capture seconds and microseconds.
int64_t ElementTimestamp(const DeviceFrameHeader& header)
{
    const uint64_t t = uint64_t{header.captureSeconds} * 1000000u + header.captureMicros;
    return static_cast<int64_t>(t & kTimestampMask);
}

// Differences printed with %d wrap like the 32-bit values they stand for.
int AsInt(int64_t v)
{
    return static_cast<int>(static_cast<uint32_t>(v));
}

} // namespace

VodPaceStep VodPace(VodPacing& pacing, int64_t t, int64_t now, double rate)
{
    VodPaceStep step;
    const bool unset = pacing.streamAnchor == -1 || pacing.wallAnchor == -1;
    // At rate 0 no step counts as a jump.
    const double threshold = rate == 0.0 ? std::numeric_limits<double>::infinity()
                                         : static_cast<double>(kJumpMicros) / rate;
    if (unset || static_cast<double>(t - pacing.lastStreamTime) > threshold) {
        step.jump = true;
        step.sleepMs = t >= pacing.lastStreamTime ? kJumpSleepMs : kBackSleepMs;
        pacing.streamAnchor = t;
        pacing.wallAnchor = now + kJumpLeadMicros;
    } else {
        const int64_t w = ((pacing.wallAnchor + t - pacing.streamAnchor) - now) / 1000;
        if (w < 0) {
            pacing.streamAnchor = t;
            pacing.wallAnchor = now;
        }
        step.sleepMs = static_cast<DWORD>(std::clamp<int64_t>(w, 0, kMaxPaceMs));
    }
    pacing.lastStreamTime = t;
    return step;
}

int VodReasonForRate(double rate)
{
    if (rate > 2)
        return VOD_REASON_FAST_FORWARD;
    if (rate > 0)
        return VOD_REASON_FORWARD;
    if (rate >= -2)
        return VOD_REASON_BACKWARD;
    return VOD_REASON_FAST_BACKWARD;
}

bool VodRateChangeClears(double oldRate, double newRate)
{
    const bool flips = (oldRate > 0 && newRate < 0) || (oldRate < 0 && newRate > 0);
    const bool oldNormal = oldRate > 0 && oldRate <= 2;
    const bool newNormal = newRate > 0 && newRate <= 2;
    return flips || (oldNormal && newRate > 2) || (oldRate > 2 && newNormal);
}

CFrameQueue::CFrameQueue(IFrameQueueClock* clock)
    : m_clock(clock ? clock : &g_systemClock), m_wake(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    m_log = TvFopen(kTimeLogPath, "w");
}

CFrameQueue::~CFrameQueue()
{
    Shutdown();
    std::lock_guard<std::mutex> log(m_logLock);
    if (m_log) {
        fclose(m_log);
        m_log = nullptr;
    }
    if (m_wake)
        CloseHandle(m_wake);
}

void CFrameQueue::AddFrame(const BYTE* data, LONG length)
{
    if (!data || length <= 0)
        return;
    std::lock_guard<std::mutex> assembly(m_assemblyLock);
    m_assembler.Push({data, static_cast<size_t>(length)},
                     [this](std::span<const uint8_t> frame, const DeviceFrameHeader& header) {
                         QueueFrame(frame, header);
                     });
}

void CFrameQueue::QueueFrame(std::span<const uint8_t> frame, const DeviceFrameHeader& header)
{
    const int64_t timestamp = ElementTimestamp(header);
    int result = 0;
    size_t count;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        // Full: the newest frame is dropped before anything is allocated for it.
        if (m_list.size() > kMaxQueued) {
            result = -1;
        } else {
            FrameElement& element = m_list.emplace_back();
            element.audio = header.voice ? 1 : 0;
            element.frameType = header.voice ? 0 : header.frameType;
            element.length = static_cast<int32_t>(frame.size());
            element.timestamp = timestamp;
            element.buffer.assign(frame.begin(), frame.end());
        }
        count = m_list.size();
    }

    const DWORD now = m_clock->TickCount();
    {
        std::lock_guard<std::mutex> log(m_logLock);
        if (m_log)
            fprintf(m_log,
                    "\nAddFrame: ID:%" PRId64 ", Count:%d, Now:%d, sub:%d, StreamTime:%" PRId64
                    ", sub:%d, Ret:%d, ",
                    timestamp, static_cast<int>(count), static_cast<int>(now),
                    static_cast<int>(now - m_lastAddTick), timestamp,
                    AsInt((timestamp - m_lastAddTime) / 1000), result);
    }
    m_lastAddTick = now;
    m_lastAddTime = timestamp;
}

bool CFrameQueue::GetNextFrame(FrameElement& element)
{
    std::lock_guard<std::mutex> pacing(m_pacingLock);
    FrameElement next;
    uint64_t generation;
    size_t count;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        if (m_list.empty())
            return false;
        next = std::move(m_list.front());
        m_list.pop_front();
        count = m_list.size();
        // Taken with the pop: a clear after this point changes the generation
        // and sets the wake event after this reset.
        generation = m_generation;
        ResetEvent(m_wake);
    }

    const int64_t t = next.timestamp;
    const DWORD start = m_clock->TickCount();
    // The record is written at once, after the sleep, so that lines of other
    // threads never split it.
    char head[192];
    snprintf(head, sizeof(head),
             "\nGetNextFrame--ID:%" PRId64 ", Count:%d, Start:%d, sub:%d, TimeStamp:%" PRId64
             ", sub:%d ",
             t, static_cast<int>(count), static_cast<int>(start),
             static_cast<int>(start - m_lastGetTick), t, AsInt((t - m_lastGetTime) / 1000));
    m_lastGetTick = start;
    m_lastGetTime = t;

    char sleep[32] = "";
    if (m_hasCallback.load()) {
        const VodPaceStep step = VodPace(m_pacing, t, m_clock->UtcMicros(), m_rate.load());
        snprintf(sleep, sizeof(sleep), step.jump ? "Sleep1:%d, " : "Sleep2:%d, ",
                 static_cast<int>(step.sleepMs));
        if (step.sleepMs > 0) {
            const HANDLE wake[2] = {m_wake, m_interrupt.load()};
            m_clock->PacingWait(step.sleepMs, wake, wake[1] ? 2 : 1);
        }
    } else {
        m_pacing.lastStreamTime = t;
    }

    const DWORD end = m_clock->TickCount();
    {
        std::lock_guard<std::mutex> log(m_logLock);
        if (m_log)
            fprintf(m_log, "%s%sEnd:%d, sub:%d", head, sleep, static_cast<int>(end),
                    static_cast<int>(end - start));
    }
    {
        std::lock_guard<std::mutex> list(m_listLock);
        if (m_generation != generation)
            return false;
    }
    element = std::move(next);
    return true;
}

void CFrameQueue::SetInterruptEvent(HANDLE event)
{
    m_interrupt.store(event);
}

void CFrameQueue::ClearList()
{
    std::deque<FrameElement> freed; // freed after the locks are left
    std::lock_guard<std::mutex> assembly(m_assemblyLock);
    m_assembler.Reset();
    std::lock_guard<std::mutex> list(m_listLock);
    freed.swap(m_list);
    ++m_generation;
    SetEvent(m_wake);
}

void CFrameQueue::Clear()
{
    QUEUE_TRACE("CFrameQueue::Clear queued=%zu", Count());
    ClearList();
}

void CFrameQueue::SetActive(bool active)
{
    QUEUE_TRACE("CFrameQueue::SetActive %d", active ? 1 : 0);
    m_active.store(active);
}

size_t CFrameQueue::Count()
{
    std::lock_guard<std::mutex> list(m_listLock);
    return m_list.size();
}

void CFrameQueue::SetRate(double rate)
{
    std::lock_guard<std::recursive_mutex> queue(m_queueLock);
    const double old = m_rate.load();
    const bool clears = VodRateChangeClears(old, rate);
    if (clears)
        ClearList();
    m_rate.store(rate);
    QUEUE_TRACE("CFrameQueue::SetRate %g (was %g, cleared %d)", rate, old, clears ? 1 : 0);
}

double CFrameQueue::GetRate()
{
    return m_rate.load();
}

void CFrameQueue::GetVodRange(int* start, int* end)
{
    std::lock_guard<std::mutex> lock(m_rangeLock);
    if (start)
        *start = m_rangeStart;
    if (end)
        *end = m_rangeEnd;
}

bool CFrameQueue::Stopping()
{
    std::lock_guard<std::mutex> signal(m_signalLock);
    return m_stopping;
}

bool CFrameQueue::RequestsAllowed()
{
    std::lock_guard<std::mutex> signal(m_signalLock);
    return m_requestsAllowed;
}

HRESULT CFrameQueue::SetVodRange(int start, int end)
{
    {
        // A request still being served holds the range; Shutdown ends the wait.
        std::unique_lock<std::mutex> signal(m_signalLock);
        m_signal.wait(signal, [&] { return m_requestsAllowed || m_stopping; });
        if (m_stopping) {
            QUEUE_TRACE("CFrameQueue::SetVodRange %d %d -> E_FAIL (shut down)", start, end);
            return E_FAIL;
        }
    }
    VodRequestCallback callback;
    int context;
    {
        std::lock_guard<std::recursive_mutex> queue(m_queueLock);
        callback = m_callback;
        context = m_context;
    }
    if (callback) {
        int oldStart, oldEnd;
        GetVodRange(&oldStart, &oldEnd);
        if (callback(context, oldStart, oldEnd, kRequestHundred, VOD_REASON_NEW_RANGE) == 0) {
            std::lock_guard<std::mutex> signal(m_signalLock);
            m_requestsAllowed = false;
        }
    }
    std::lock_guard<std::recursive_mutex> queue(m_queueLock);
    ClearList();
    {
        std::lock_guard<std::mutex> lock(m_rangeLock);
        m_rangeStart = start;
        m_rangeEnd = end;
    }
    QUEUE_TRACE("CFrameQueue::SetVodRange %d %d -> S_OK", start, end);
    return S_OK;
}

HRESULT CFrameQueue::SetVodCallback(VodRequestCallback callback, int context)
{
    if (!callback) {
        QUEUE_TRACE("CFrameQueue::SetVodCallback null -> -1");
        return -1;
    }
    std::lock_guard<std::mutex> thread(m_threadLock);
    if (Stopping()) {
        QUEUE_TRACE("CFrameQueue::SetVodCallback -> E_FAIL (shut down)");
        return E_FAIL;
    }
    {
        std::lock_guard<std::recursive_mutex> queue(m_queueLock);
        m_callback = callback;
        m_context = context;
        m_hasCallback.store(true);
    }
    if (!m_requestThread.joinable())
        m_requestThread = std::thread([this] { RequestThread(); });
    QUEUE_TRACE("CFrameQueue::SetVodCallback context=%d -> S_OK", context);
    return S_OK;
}

void CFrameQueue::ResumeVodRequests()
{
    {
        std::lock_guard<std::mutex> signal(m_signalLock);
        m_requestsAllowed = true;
    }
    m_signal.notify_all();
    QUEUE_TRACE("CFrameQueue::ResumeVodRequests");
}

void CFrameQueue::CallbackLocked(int reason)
{
    int start, end;
    GetVodRange(&start, &end);
    const int result = m_callback(m_context, start, end, kRequestHundred, reason);
    if (result == 0 && reason != VOD_REASON_THREAD_END) {
        std::lock_guard<std::mutex> signal(m_signalLock);
        m_requestsAllowed = false;
    }
}

void CFrameQueue::RequestThread()
{
    pthread_setname_np(pthread_self(), "tv-framequeue"); // found by name in per-thread CPU figures
    for (;;) {
        {
            std::unique_lock<std::mutex> signal(m_signalLock);
            if (m_signal.wait_for(signal, std::chrono::milliseconds(kRequestPollMs),
                                  [&] { return m_stopping; }))
                break;
            m_signal.wait(signal, [&] { return m_requestsAllowed || m_stopping; });
            if (m_stopping)
                break;
        }
        std::lock_guard<std::recursive_mutex> queue(m_queueLock);
        if (Count() >= kRequestBelow || !m_callback || !m_active.load())
            continue;
        const DWORD now = m_clock->TickCount();
        {
            std::lock_guard<std::mutex> log(m_logLock);
            if (m_log)
                fprintf(m_log, "\nVODRequest:%d, sub:%d", static_cast<int>(now),
                        static_cast<int>(now - m_lastRequestTick));
        }
        m_lastRequestTick = now;
        CallbackLocked(VodReasonForRate(m_rate.load()));
    }
    std::lock_guard<std::recursive_mutex> queue(m_queueLock);
    CallbackLocked(VOD_REASON_THREAD_END);
}

void CFrameQueue::Shutdown()
{
    {
        std::lock_guard<std::mutex> signal(m_signalLock);
        m_stopping = true;
        m_requestsAllowed = true;
    }
    m_signal.notify_all();
    ClearList(); // ends a pacing sleep now
    // Joined outside m_threadLock: the callback in progress may still call
    // SetVodCallback.
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_threadLock);
        if (m_requestThread.joinable() && m_requestThread.get_id() != std::this_thread::get_id())
            thread = std::move(m_requestThread);
    }
    if (thread.joinable())
        thread.join();
    ClearList(); // what the last callbacks pushed
}
