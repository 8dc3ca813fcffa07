#include "SystemClock.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "win32/sync.h"

namespace {

constexpr REFERENCE_TIME kMaxTime = 0x7FFFFFFFFFFFFFFFLL;
constexpr REFERENCE_TIME kLongestWait = 36000000000LL; // one hour

} // namespace

// The advises of every clock of the process, and the thread that signals them.
class CAdviseScheduler {
public:
    ~CAdviseScheduler()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_quit = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // The scheduler the clocks of the process share (made when none exists).
    static std::shared_ptr<CAdviseScheduler> Shared()
    {
        static std::mutex lock;
        static std::weak_ptr<CAdviseScheduler> shared;
        std::lock_guard<std::mutex> guard(lock);
        std::shared_ptr<CAdviseScheduler> scheduler = shared.lock();
        if (!scheduler) {
            scheduler = std::make_shared<CAdviseScheduler>();
            shared = scheduler;
        }
        return scheduler;
    }

    void Add(const void* owner, REFERENCE_TIME due, REFERENCE_TIME period, HANDLE handle,
             DWORD_PTR* cookie)
    {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            *cookie = m_nextCookie++;
            // A renderer asks for each picture's time, often one already
            // reached: that one is signalled here, not by a round trip
            // through the thread.
            if (period == 0 && due <= CSystemClock::Now()) {
                SetEvent(handle);
                return;
            }
            if (!m_thread.joinable()) {
                m_thread = std::thread([this] { Run(); });
                // Named here, so that it has its name from the start: found
                // by name in per-thread CPU figures.
                pthread_setname_np(m_thread.native_handle(), "tv-clock");
            }
            m_advises.push_back(Advise{owner, *cookie, due, period, handle});
            // The thread sleeps until m_sleepUntil and then looks at every
            // advise: only an earlier one needs it awake now.
            wake = due < m_sleepUntil;
        }
        if (wake)
            m_wake.notify_all();
    }

    // True when the owner's cookie was pending.
    bool Remove(const void* owner, DWORD_PTR cookie)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = std::find_if(m_advises.begin(), m_advises.end(), [&](const Advise& a) {
            return a.cookie == cookie && a.owner == owner;
        });
        if (it == m_advises.end())
            return false;
        m_advises.erase(it);
        return true;
    }

    void RemoveAll(const void* owner)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::erase_if(m_advises, [&](const Advise& a) { return a.owner == owner; });
    }

private:
    struct Advise {
        const void* owner; // the clock
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        REFERENCE_TIME period; // 0 for a one-shot advise
        HANDLE handle;         // event (one-shot) or semaphore (periodic)
    };

    void Run();

    std::mutex m_lock;
    std::condition_variable m_wake;
    // guarded by m_lock
    std::vector<Advise> m_advises;
    DWORD_PTR m_nextCookie = 1;
    // When the thread wakes by itself next (kMaxTime: not before an advise
    // comes); written by the thread just before it sleeps.
    REFERENCE_TIME m_sleepUntil = 0;
    bool m_quit = false;
    std::thread m_thread;
};

void CAdviseScheduler::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        if (m_advises.empty()) {
            m_sleepUntil = kMaxTime;
            m_wake.wait(lock);
            continue;
        }
        auto next =
            std::min_element(m_advises.begin(), m_advises.end(),
                             [](const Advise& a, const Advise& b) { return a.due < b.due; });
        const REFERENCE_TIME now = CSystemClock::Now();
        if (next->due > now) {
            // Woken early by a new advise or the end: look again. Far-off
            // times are waited for an hour at a time.
            const REFERENCE_TIME wait = std::min<REFERENCE_TIME>(next->due - now, kLongestWait);
            m_sleepUntil = now + wait;
            m_wake.wait_for(lock, std::chrono::nanoseconds(wait * 100));
            continue;
        }
        // Signalling is a platform call that does not block, so it is made under
        // the lock: an Unadvise that has returned can no longer be signalled.
        if (next->period == 0) {
            SetEvent(next->handle);
            m_advises.erase(next);
        } else {
            ReleaseSemaphore(next->handle, 1, nullptr);
            const REFERENCE_TIME missed = (now - next->due) / next->period;
            REFERENCE_TIME step = 0;
            // A period so long that the next release lies beyond the clock's
            // range never comes.
            if (__builtin_mul_overflow(missed + 1, next->period, &step) ||
                __builtin_add_overflow(next->due, step, &next->due))
                m_advises.erase(next);
        }
    }
}

CSystemClock::CSystemClock(LPUNKNOWN outer, HRESULT* phr) : CUnknown("System clock", outer, phr) {}

CSystemClock::~CSystemClock()
{
    std::shared_ptr<CAdviseScheduler> scheduler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        scheduler = std::move(m_scheduler);
    }
    if (scheduler)
        scheduler->RemoveAll(this);
    // The last reference, when it is this one, joins the advise thread.
}

REFERENCE_TIME CSystemClock::Now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<REFERENCE_TIME>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

STDMETHODIMP CSystemClock::NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IReferenceClock)
        return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSystemClock::GetTime(REFERENCE_TIME* pTime)
{
    if (!pTime)
        return E_POINTER;
    const REFERENCE_TIME now = Now();
    std::lock_guard<std::mutex> lock(m_lock);
    const HRESULT hr = now > m_lastTime ? S_OK : S_FALSE;
    m_lastTime = std::max(now, m_lastTime);
    *pTime = m_lastTime;
    return hr;
}

STDMETHODIMP CSystemClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                      HEVENT hEvent, DWORD_PTR* pdwAdviseCookie)
{
    if (!pdwAdviseCookie)
        return E_POINTER;
    *pdwAdviseCookie = 0;
    REFERENCE_TIME due = 0;
    if (!hEvent || __builtin_add_overflow(baseTime, streamTime, &due) || due <= 0 ||
        due == kMaxTime)
        return E_INVALIDARG;
    return AddAdvise(due, 0, reinterpret_cast<HANDLE>(hEvent), pdwAdviseCookie);
}

STDMETHODIMP CSystemClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                          HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie)
{
    if (!pdwAdviseCookie)
        return E_POINTER;
    *pdwAdviseCookie = 0;
    if (!hSemaphore || startTime <= 0 || periodTime <= 0 || startTime == kMaxTime)
        return E_INVALIDARG;
    return AddAdvise(startTime, periodTime, reinterpret_cast<HANDLE>(hSemaphore), pdwAdviseCookie);
}

HRESULT CSystemClock::AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, HANDLE handle,
                                DWORD_PTR* cookie)
{
    std::shared_ptr<CAdviseScheduler> scheduler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_scheduler)
            m_scheduler = CAdviseScheduler::Shared();
        scheduler = m_scheduler;
    }
    scheduler->Add(this, due, period, handle, cookie);
    return S_OK;
}

STDMETHODIMP CSystemClock::Unadvise(DWORD_PTR dwAdviseCookie)
{
    std::shared_ptr<CAdviseScheduler> scheduler;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        scheduler = m_scheduler;
    }
    return scheduler && scheduler->Remove(this, dwAdviseCookie) ? S_OK : S_FALSE;
}
