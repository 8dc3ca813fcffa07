// Multimedia timers: one process-wide timer thread runs every callback, one at a
// time, in due order.
#include "win32/sync.h"
#include "win32/timefn.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    std::chrono::milliseconds period;
    bool periodic;
    UINT callbackKind; // TIME_CALLBACK_FUNCTION / _EVENT_SET / _EVENT_PULSE
    LPTIMECALLBACK callback;
    DWORD_PTR user;
    Clock::time_point due;
};

struct TimerQueue {
    std::mutex lock;
    std::condition_variable changed;      // the timer thread waits here for new timers
    std::condition_variable callbackDone; // timeKillEvent waits here
    // guarded by lock
    std::map<UINT, Timer> timers;
    UINT nextId = 1;
    UINT running = 0; // id of the timer whose callback runs now, 0 if none
    bool threadStarted = false;
    std::thread::id threadId;
};

TimerQueue& Queue()
{
    static TimerQueue* queue = new TimerQueue; // outlives static destruction: the thread never ends
    return *queue;
}

void Fire(UINT id, const Timer& timer)
{
    HANDLE event = reinterpret_cast<HANDLE>(timer.callback);
    switch (timer.callbackKind) {
    case TIME_CALLBACK_EVENT_SET:
        SetEvent(event);
        break;
    case TIME_CALLBACK_EVENT_PULSE:
        PulseEvent(event);
        break;
    default:
        timer.callback(id, 0, timer.user, 0, 0);
        break;
    }
}

void TimerThread()
{
    pthread_setname_np(pthread_self(), "tv-mmtimer");
    TimerQueue& q = Queue();
    std::unique_lock<std::mutex> lock(q.lock);
    for (;;) {
        if (q.timers.empty()) {
            q.changed.wait(lock);
            continue;
        }
        auto next = q.timers.begin();
        for (auto it = q.timers.begin(); it != q.timers.end(); ++it) {
            if (it->second.due < next->second.due)
                next = it;
        }
        // A copy: the timer may be killed (and its entry freed) during the wait.
        const Clock::time_point nextDue = next->second.due;
        if (Clock::now() < nextDue) {
            q.changed.wait_until(lock, nextDue);
            continue;
        }
        const UINT id = next->first;
        const Timer timer = next->second;
        q.running = id;
        lock.unlock();
        Fire(id, timer);
        lock.lock();
        q.running = 0;
        q.callbackDone.notify_all();

        auto it = q.timers.find(id);
        if (it == q.timers.end())
            continue; // killed while its callback ran
        if (!timer.periodic) {
            q.timers.erase(it);
            continue;
        }
        // Keep the fixed schedule; ticks missed while a callback overran are dropped
        // rather than fired in a burst.
        const Clock::time_point now = Clock::now();
        Clock::time_point due = timer.due + timer.period;
        if (due <= now)
            due += (now - due) / timer.period * timer.period + timer.period;
        it->second.due = due;
    }
}

} // namespace

extern "C" MMRESULT timeSetEvent(UINT delay, UINT, LPTIMECALLBACK callback, DWORD_PTR user,
                                 UINT flags)
{
    const UINT kind = flags & (TIME_CALLBACK_EVENT_SET | TIME_CALLBACK_EVENT_PULSE);
    if (delay == 0 || callback == nullptr ||
        kind == (TIME_CALLBACK_EVENT_SET | TIME_CALLBACK_EVENT_PULSE))
        return 0;
    Timer timer;
    timer.period = std::chrono::milliseconds(delay);
    timer.periodic = (flags & TIME_PERIODIC) != 0;
    timer.callbackKind = kind;
    timer.callback = callback;
    timer.user = user;
    timer.due = Clock::now() + timer.period;

    TimerQueue& q = Queue();
    std::lock_guard<std::mutex> lock(q.lock);
    UINT id = q.nextId;
    while (id == 0 || q.timers.count(id) != 0)
        ++id;
    q.nextId = id + 1;
    q.timers.emplace(id, timer);
    if (!q.threadStarted) {
        std::thread thread(TimerThread);
        q.threadId = thread.get_id();
        thread.detach();
        q.threadStarted = true;
    }
    q.changed.notify_one();
    return id;
}

extern "C" MMRESULT timeKillEvent(UINT timerId)
{
    TimerQueue& q = Queue();
    std::unique_lock<std::mutex> lock(q.lock);
    auto it = q.timers.find(timerId);
    if (it == q.timers.end())
        return MMSYSERR_INVALPARAM;
    q.timers.erase(it);
    q.changed.notify_one();
    // On the timer thread the running callback (if any) is the caller itself.
    if (std::this_thread::get_id() != q.threadId) {
        while (q.running == timerId)
            q.callbackDone.wait(lock);
    }
    return MMSYSERR_NOERROR;
}
