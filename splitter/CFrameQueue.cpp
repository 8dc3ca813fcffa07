#include "CFrameQueue.h"

#include "win32/file.h"
#include "win32/timefn.h"
#include "win32/trace.h"

#include <chrono>
#include <cinttypes>
#include <cstring>
#include <limits>
#include <algorithm>

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
    void PacingWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, DWORD ms,
                    const std::function<bool()>& woken) override
    {
        cv.wait_for(lock, std::chrono::milliseconds(ms), woken);
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

CFrameQueue::CFrameQueue(IFrameQueueClock* clock) : m_clock(clock ? clock : &g_systemClock)
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
}

int CFrameQueue::AddFrame(const BYTE* bytes, LONG length)
{
    if (!bytes || length <= 0)
        return 0;
    int queued = 0;
    std::lock_guard<std::mutex> assembly(m_assemblyLock);
    m_assembler.Push({bytes, static_cast<size_t>(length)}, [&](AssembledFrame&& frame) {
        FrameElement element;
        element.audio = frame.header.voice ? 1 : 0;
        element.frameType = frame.header.voice ? 0 : frame.header.frameType;
        element.length = static_cast<int32_t>(frame.length);
        element.timestamp = ElementTimestamp(frame.header);
        element.capacity = static_cast<int32_t>(DeviceFrameAssembler::kCapacity);
        element.buffer = std::move(frame.buffer);
        const int64_t timestamp = element.timestamp;

        int count;
        int result = 0;
        {
            std::lock_guard<std::mutex> list(m_listLock);
            // Full: the newest frame is dropped (its buffer goes with element).
            if (static_cast<int>(m_list.size()) >= kMaxElements)
                result = -1;
            else
                m_list.push_back(std::move(element));
            count = static_cast<int>(m_list.size());
        }
        if (result == 0)
            ++queued;

        const DWORD now = m_clock->TickCount();
        {
            std::lock_guard<std::mutex> log(m_logLock);
            if (m_log)
                fprintf(m_log,
                        "\nAddFrame: ID:%" PRId64 ", Count:%d, Now:%d, sub:%d, StreamTime:%" PRId64
                        ", sub:%d, Ret:%d, ",
                        timestamp, count, static_cast<int>(now),
                        static_cast<int>(now - m_lastAddTick), timestamp,
                        AsInt((timestamp - m_lastAddTime) / 1000), result);
        }
        m_lastAddTick = now;
        m_lastAddTime = timestamp;
    });
    return queued;
}

int CFrameQueue::GetNextFrame(FrameElement& out)
{
    out = FrameElement{};
    std::lock_guard<std::mutex> pacing(m_pacingLock);
    FrameElement element;
    uint64_t generation;
    int count;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        if (m_list.empty())
            return -1;
        element = std::move(m_list.front());
        m_list.pop_front();
        count = static_cast<int>(m_list.size());
        // Taken with the pop, so a Clear after it is seen after the sleep.
        std::lock_guard<std::mutex> signal(m_signalLock);
        generation = m_generation;
    }

    const int64_t t = element.timestamp;
    const DWORD start = m_clock->TickCount();
    // The record is written at once, after the sleep, so that lines of other
    // threads never split it.
    char head[192];
    snprintf(head, sizeof(head),
             "\nGetNextFrame--ID:%" PRId64 ", Count:%d, Start:%d, sub:%d, TimeStamp:%" PRId64
             ", sub:%d ",
             t, count, static_cast<int>(start), static_cast<int>(start - m_lastGetTick), t,
             AsInt((t - m_lastGetTime) / 1000));
    m_lastGetTick = start;
    m_lastGetTime = t;

    char sleep[32] = "";
    bool dropped = false;
    if (m_hasCallback.load()) {
        const VodPaceStep step = VodPace(m_pacing, t, m_clock->UtcMicros(), m_rate.load());
        snprintf(sleep, sizeof(sleep), step.jump ? "Sleep1:%d, " : "Sleep2:%d, ",
                 static_cast<int>(step.sleepMs));
        std::unique_lock<std::mutex> signal(m_signalLock);
        auto woken = [&] { return m_stopping || m_generation != generation; };
        if (step.sleepMs > 0 && !woken())
            m_clock->PacingWait(signal, m_signal, step.sleepMs, woken);
        dropped = woken();
    } else {
        m_pacing.lastStreamTime = t;
        std::lock_guard<std::mutex> signal(m_signalLock);
        dropped = m_stopping || m_generation != generation;
    }

    const DWORD end = m_clock->TickCount();
    {
        std::lock_guard<std::mutex> log(m_logLock);
        if (m_log)
            fprintf(m_log, "%s%sEnd:%d, sub:%d", head, sleep, static_cast<int>(end),
                    static_cast<int>(end - start));
    }
    if (dropped)
        return -1;
    out = std::move(element);
    return 0;
}

void CFrameQueue::ClearList()
{
    std::lock_guard<std::mutex> assembly(m_assemblyLock);
    m_assembler.Reset();
    std::deque<FrameElement> freed;
    {
        std::lock_guard<std::mutex> list(m_listLock);
        freed.swap(m_list);
        std::lock_guard<std::mutex> signal(m_signalLock);
        ++m_generation;
    }
    m_signal.notify_all();
}

void CFrameQueue::Clear()
{
    QUEUE_TRACE("CFrameQueue::Clear queued=%d", Count());
    ClearList();
}

void CFrameQueue::SetActive(bool active)
{
    QUEUE_TRACE("CFrameQueue::SetActive %d", active ? 1 : 0);
    m_active.store(active);
}

int CFrameQueue::Count()
{
    std::lock_guard<std::mutex> list(m_listLock);
    return static_cast<int>(m_list.size());
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

HRESULT CFrameQueue::GetVodRange(int* range)
{
    if (!range)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_rangeLock);
    range[0] = m_rangeStart;
    range[1] = m_rangeEnd;
    return S_OK;
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
        // Wait while a request is still being served; Shutdown releases the wait.
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
        int range[2];
        GetVodRange(range);
        if (callback(context, range[0], range[1], kRequestCount, VOD_REASON_NEW_RANGE) == 0) {
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

HRESULT CFrameQueue::ResumeVodRequests()
{
    {
        std::lock_guard<std::mutex> signal(m_signalLock);
        m_requestsAllowed = true;
    }
    m_signal.notify_all();
    QUEUE_TRACE("CFrameQueue::ResumeVodRequests");
    return S_OK;
}

void CFrameQueue::CallbackLocked(int reason)
{
    int range[2];
    GetVodRange(range);
    if (m_callback(m_context, range[0], range[1], kRequestCount, reason) == 0 &&
        reason != VOD_REASON_THREAD_END) {
        std::lock_guard<std::mutex> signal(m_signalLock);
        m_requestsAllowed = false;
    }
}

void CFrameQueue::RequestThread()
{
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
    // Joined outside m_threadLock: the callback may still call SetVodCallback.
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_threadLock);
        if (m_requestThread.joinable() && m_requestThread.get_id() != std::this_thread::get_id())
            thread = std::move(m_requestThread);
    }
    if (thread.joinable())
        thread.join();
    ClearList();
}
