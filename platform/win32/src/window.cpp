// Virtual windows, posted messages and window timers, served by one dispatcher
// thread. See win32/window.h for the contract.
#include "win32/window.h"

#include "window_x11.h"

#include <pthread.h>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uintptr_t kVirtualBase = uintptr_t(1) << 30;
// A window's queue holds at most this many messages (the Windows quota).
constexpr size_t kQueueLimit = 10000;
// How long process exit waits for a callback that is still running.
constexpr auto kExitWait = std::chrono::seconds(2);

thread_local bool t_onDispatcher = false;

uintptr_t idOf(HWND hwnd)
{
    return reinterpret_cast<uintptr_t>(hwnd);
}
HWND hwndOf(uintptr_t id)
{
    return reinterpret_cast<HWND>(id);
}
bool isVirtualId(uintptr_t id)
{
    return id >= kVirtualBase;
}

DWORD tickOf(Clock::time_point t)
{
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

struct Message {
    uint64_t seq; // global posting order
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

struct WindowState {
    bool isVirtual = false;
    int width = 0;
    int height = 0;
    TvMessageHandler handler = nullptr;
    void* user = nullptr;
    std::deque<Message> queue;
    uint64_t dropped = 0;
};

using TimerKey = std::pair<uintptr_t, UINT_PTR>; // (window id or 0, timer id)

struct Timer {
    UINT period = 0;
    TIMERPROC proc = nullptr;
    Clock::time_point due;
    uint64_t serial = 0; // tells a replaced timer from the one that was fired
};

// The callback the dispatcher is running, so that revoking calls can wait for it.
struct InFlight {
    bool active = false;
    uintptr_t hwnd = 0;
    bool isTimer = false;
    UINT_PTR timerId = 0;
    TvMessageHandler handler = nullptr; // set when the window's handler is called
    void* user = nullptr;
};

class Dispatcher {
public:
    HWND createVirtual(int width, int height);
    BOOL resizeVirtual(uintptr_t id, int width, int height);
    bool isLiveVirtual(uintptr_t id);
    bool virtualSize(uintptr_t id, int* width, int* height);
    BOOL destroy(uintptr_t id);
    BOOL post(uintptr_t id, const Message& message);
    BOOL setHandler(uintptr_t id, TvMessageHandler handler, void* user);
    UINT_PTR setTimer(uintptr_t id, UINT_PTR timerId, UINT elapseMs, TIMERPROC proc);
    BOOL killTimer(uintptr_t id, UINT_PTR timerId);
    void stop();

private:
    enum class Known { Yes, No };
    Known knownLocked(uintptr_t id, std::unique_lock<std::mutex>& lock);
    WindowState& stateLocked(uintptr_t id);
    void startLocked();
    void run();
    bool deliverMessageLocked(std::unique_lock<std::mutex>& lock);
    bool fireTimerLocked(std::unique_lock<std::mutex>& lock, Clock::time_point now);
    void callLocked(std::unique_lock<std::mutex>& lock, const InFlight& call, void (*invoke)(void*),
                    void* arg);
    template <class Pred> void waitWhileLocked(std::unique_lock<std::mutex>& lock, Pred busy);
    void unreadyLocked(uintptr_t id, WindowState& window);
    void readyLocked(uintptr_t id, WindowState& window);

    std::mutex m_lock;
    std::condition_variable m_wake; // the dispatcher waits here for work
    std::condition_variable m_idle; // revoking callers wait here for a callback to end

    // guarded by m_lock
    std::map<uintptr_t, WindowState> m_windows; // every virtual window, X11 windows with state
    std::map<TimerKey, Timer> m_timers;
    // Front message of each window that has a handler and queued messages, keyed by
    // its sequence number: the smallest is the next to deliver.
    std::map<uint64_t, uintptr_t> m_ready;
    uint64_t m_nextSeq = 1;
    uint64_t m_nextSerial = 1;
    uintptr_t m_nextVirtual = kVirtualBase;
    UINT_PTR m_nextFreeTimerId = 1;
    InFlight m_current;
    bool m_started = false;
    bool m_stopping = false;
    bool m_exited = false;
    std::thread m_thread;
};

// Never destroyed: a callback still running at exit, or a static destructor of the
// application calling KillTimer late, finds it intact.
Dispatcher& dispatcher()
{
    static Dispatcher* instance = new Dispatcher;
    return *instance;
}

// Stops the dispatcher at process exit. Created when the thread starts, so it runs
// before the destructors of statics that existed by then, which callbacks may use.
struct ExitGuard {
    ~ExitGuard() { dispatcher().stop(); }
};

HWND Dispatcher::createVirtual(int width, int height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    uintptr_t id = m_nextVirtual++;
    WindowState& window = m_windows[id];
    window.isVirtual = true;
    window.width = width;
    window.height = height;
    return hwndOf(id);
}

BOOL Dispatcher::resizeVirtual(uintptr_t id, int width, int height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(id);
    if (it == m_windows.end() || !it->second.isVirtual) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    it->second.width = width;
    it->second.height = height;
    return TRUE;
}

bool Dispatcher::isLiveVirtual(uintptr_t id)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(id);
    return it != m_windows.end() && it->second.isVirtual;
}

bool Dispatcher::virtualSize(uintptr_t id, int* width, int* height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(id);
    if (it == m_windows.end() || !it->second.isVirtual)
        return false;
    *width = it->second.width;
    *height = it->second.height;
    return true;
}

// A window is known when it has state here or is a live X11 window. The X11 probe
// is a server round trip, made without holding m_lock.
Dispatcher::Known Dispatcher::knownLocked(uintptr_t id, std::unique_lock<std::mutex>& lock)
{
    if (id == 0)
        return Known::No;
    if (m_windows.count(id))
        return Known::Yes;
    if (isVirtualId(id))
        return Known::No;
    lock.unlock();
    bool live = tvwin::X11WindowSize(id, nullptr, nullptr);
    lock.lock();
    return live ? Known::Yes : Known::No;
}

WindowState& Dispatcher::stateLocked(uintptr_t id)
{
    return m_windows[id]; // X11 windows get their state on first need
}

void Dispatcher::unreadyLocked(uintptr_t, WindowState& window)
{
    if (window.handler && !window.queue.empty())
        m_ready.erase(window.queue.front().seq);
}

void Dispatcher::readyLocked(uintptr_t id, WindowState& window)
{
    if (window.handler && !window.queue.empty()) {
        m_ready.emplace(window.queue.front().seq, id);
        m_wake.notify_one();
    }
}

void Dispatcher::startLocked()
{
    if (m_started || m_stopping)
        return;
    m_started = true;
    static ExitGuard exitGuard;
    m_thread = std::thread([this] { run(); });
}

template <class Pred>
void Dispatcher::waitWhileLocked(std::unique_lock<std::mutex>& lock, Pred busy)
{
    // The dispatcher cannot wait for itself; its own callback is what is running.
    if (t_onDispatcher)
        return;
    m_idle.wait(lock, [&] { return !m_current.active || !busy(m_current); });
}

BOOL Dispatcher::destroy(uintptr_t id)
{
    std::unique_lock<std::mutex> lock(m_lock);
    bool hasTimers = false;
    for (const auto& entry : m_timers)
        hasTimers = hasTimers || (entry.first.first == id && id != 0);
    auto it = m_windows.find(id);
    if (it == m_windows.end() && !hasTimers) {
        if (knownLocked(id, lock) == Known::No) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        it = m_windows.find(id); // state may have appeared while we probed
    }
    if (it != m_windows.end()) {
        unreadyLocked(id, it->second);
        m_windows.erase(it);
    }
    for (auto timer = m_timers.begin(); timer != m_timers.end();) {
        if (timer->first.first == id)
            timer = m_timers.erase(timer);
        else
            ++timer;
    }
    waitWhileLocked(lock, [id](const InFlight& call) { return call.hwnd == id; });
    return TRUE;
}

BOOL Dispatcher::post(uintptr_t id, const Message& message)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (knownLocked(id, lock) == Known::No) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    startLocked();
    WindowState& window = stateLocked(id);
    if (window.queue.size() >= kQueueLimit) {
        if (window.handler) {
            // The handler is draining; a sender outrunning it is told, not silently lost.
            SetLastError(ERROR_NOT_ENOUGH_QUOTA);
            return FALSE;
        }
        window.queue.pop_front();
        ++window.dropped;
        if (window.dropped == 1 || window.dropped % 1000 == 0)
            std::fprintf(
                stderr,
                "tvplatform: window %#lx has no message handler; dropped its oldest queued "
                "message (%llu so far)\n",
                static_cast<unsigned long>(id), static_cast<unsigned long long>(window.dropped));
    }
    Message queued = message;
    queued.seq = m_nextSeq++;
    bool wasEmpty = window.queue.empty();
    window.queue.push_back(queued);
    if (wasEmpty)
        readyLocked(id, window);
    return TRUE;
}

BOOL Dispatcher::setHandler(uintptr_t id, TvMessageHandler handler, void* user)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (knownLocked(id, lock) == Known::No) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto it = m_windows.find(id);
    if (!handler && it == m_windows.end())
        return TRUE; // an X11 window we hold nothing for
    startLocked();
    WindowState& window = stateLocked(id);
    TvMessageHandler oldHandler = window.handler;
    void* oldUser = window.user;
    unreadyLocked(id, window);
    window.handler = handler;
    window.user = user;
    readyLocked(id, window);
    if (oldHandler && (oldHandler != handler || oldUser != user)) {
        waitWhileLocked(lock, [&](const InFlight& call) {
            return call.hwnd == id && call.handler == oldHandler && call.user == oldUser;
        });
    }
    return TRUE;
}

UINT_PTR Dispatcher::setTimer(uintptr_t id, UINT_PTR timerId, UINT elapseMs, TIMERPROC proc)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (id != 0 && knownLocked(id, lock) == Known::No) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    startLocked();
    if (id == 0 && (timerId == 0 || !m_timers.count({0, timerId}))) {
        do {
            timerId = m_nextFreeTimerId++;
        } while (timerId == 0 || m_timers.count({0, timerId}));
    }
    UINT period = std::clamp<UINT>(elapseMs, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    Timer& timer = m_timers[{id, timerId}];
    timer.period = period;
    timer.proc = proc;
    timer.due = Clock::now() + std::chrono::milliseconds(period);
    timer.serial = m_nextSerial++;
    m_wake.notify_one();
    if (id != 0 && timerId == 0)
        return 1; // success must read as non-zero
    return timerId;
}

BOOL Dispatcher::killTimer(uintptr_t id, UINT_PTR timerId)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_timers.erase({id, timerId})) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    waitWhileLocked(lock, [&](const InFlight& call) {
        return call.isTimer && call.hwnd == id && call.timerId == timerId;
    });
    return TRUE;
}

void Dispatcher::stop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_started || m_stopping)
        return;
    m_stopping = true;
    m_wake.notify_all();
    if (t_onDispatcher) {
        // exit() called from a callback: the thread ends once that callback returns.
        m_thread.detach();
        return;
    }
    if (m_idle.wait_for(lock, kExitWait, [this] { return m_exited; })) {
        lock.unlock();
        m_thread.join();
    } else {
        // A callback that does not return must not hang the exit; the state it may
        // touch is never freed.
        std::fprintf(stderr, "tvplatform: a window callback is still running at exit\n");
        m_thread.detach();
    }
}

void Dispatcher::callLocked(std::unique_lock<std::mutex>& lock, const InFlight& call,
                            void (*invoke)(void*), void* arg)
{
    m_current = call;
    m_current.active = true;
    lock.unlock();
    invoke(arg);
    lock.lock();
    m_current = InFlight();
    m_idle.notify_all();
}

bool Dispatcher::deliverMessageLocked(std::unique_lock<std::mutex>& lock)
{
    if (m_ready.empty())
        return false;
    uintptr_t id = m_ready.begin()->second;
    m_ready.erase(m_ready.begin());
    WindowState& window = m_windows.at(id);
    Message message = window.queue.front();
    window.queue.pop_front();
    readyLocked(id, window);

    struct Call {
        TvMessageHandler handler;
        HWND hwnd;
        Message message;
        void* user;
    } call{window.handler, hwndOf(id), message, window.user};
    InFlight flight;
    flight.hwnd = id;
    flight.handler = window.handler;
    flight.user = window.user;
    callLocked(
        lock, flight,
        [](void* arg) {
            auto* c = static_cast<Call*>(arg);
            c->handler(c->hwnd, c->message.msg, c->message.wParam, c->message.lParam, c->user);
        },
        &call);
    return true;
}

bool Dispatcher::fireTimerLocked(std::unique_lock<std::mutex>& lock, Clock::time_point now)
{
    auto due = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->second.due <= now && (due == m_timers.end() || it->second.due < due->second.due))
            due = it;
    }
    if (due == m_timers.end())
        return false;

    TimerKey key = due->first;
    Timer& timer = due->second;
    uint64_t serial = timer.serial;
    timer.due += std::chrono::milliseconds(timer.period);

    InFlight flight;
    flight.hwnd = key.first;
    flight.isTimer = true;
    flight.timerId = key.second;
    struct Call {
        TIMERPROC proc;
        TvMessageHandler handler;
        void* user;
        HWND hwnd;
        UINT_PTR id;
        DWORD tick;
    } call{timer.proc, nullptr, nullptr, hwndOf(key.first), key.second, tickOf(now)};
    if (!call.proc) {
        auto window = m_windows.find(key.first);
        if (window == m_windows.end() || !window->second.handler)
            return true; // WM_TIMER for a window without a handler goes nowhere
        call.handler = flight.handler = window->second.handler;
        call.user = flight.user = window->second.user;
    }
    callLocked(
        lock, flight,
        [](void* arg) {
            auto* c = static_cast<Call*>(arg);
            if (c->proc)
                c->proc(c->hwnd, WM_TIMER, c->id, c->tick);
            else
                c->handler(c->hwnd, WM_TIMER, c->id, 0, c->user);
        },
        &call);

    // A callback that overran its period is followed by one call at once, not by a
    // burst for every period it missed.
    auto after = m_timers.find(key);
    if (after != m_timers.end() && after->second.serial == serial) {
        Clock::time_point current = Clock::now();
        if (after->second.due < current)
            after->second.due = current;
    }
    return true;
}

// Timers wake the dispatcher on a grid of USER_TIMER_MINIMUM, as Windows fires
// them on its timer tick: those due within one slot fire in one turn, so a wall
// of players each polling every 50 ms wakes the thread a few times a period
// rather than once for every player.
Clock::time_point TimerWakeTime(Clock::time_point due)
{
    constexpr Clock::duration kGrid = std::chrono::milliseconds(USER_TIMER_MINIMUM);
    const Clock::duration since = due.time_since_epoch();
    return Clock::time_point(((since + kGrid - Clock::duration(1)) / kGrid) * kGrid);
}

void Dispatcher::run()
{
    pthread_setname_np(pthread_self(), "tv-dispatch"); // found by name in per-thread CPU figures
    t_onDispatcher = true;
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stopping) {
        // Messages and timers take turns so that neither starves the other.
        bool worked = deliverMessageLocked(lock);
        if (m_stopping)
            break;
        worked = fireTimerLocked(lock, Clock::now()) || worked;
        if (worked || m_stopping)
            continue;
        if (!m_ready.empty())
            continue;
        auto next = m_timers.end();
        for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
            if (next == m_timers.end() || it->second.due < next->second.due)
                next = it;
        }
        if (next == m_timers.end()) {
            m_wake.wait(lock);
        } else {
            // A copy: the timer may be killed while we wait.
            Clock::time_point due = TimerWakeTime(next->second.due);
            m_wake.wait_until(lock, due);
        }
    }
    m_exited = true;
    m_idle.notify_all();
}

} // namespace

HWND TvCreateVirtualWindow(int width, int height)
{
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return dispatcher().createVirtual(width, height);
}

BOOL TvResizeVirtualWindow(HWND hwnd, int width, int height)
{
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return dispatcher().resizeVirtual(idOf(hwnd), width, height);
}

BOOL TvIsVirtualWindow(HWND hwnd)
{
    return isVirtualId(idOf(hwnd)) && dispatcher().isLiveVirtual(idOf(hwnd));
}

extern "C" BOOL DestroyWindow(HWND hwnd)
{
    return dispatcher().destroy(idOf(hwnd));
}

extern "C" BOOL IsWindow(HWND hwnd)
{
    uintptr_t id = idOf(hwnd);
    if (isVirtualId(id))
        return dispatcher().isLiveVirtual(id);
    return tvwin::X11WindowSize(id, nullptr, nullptr);
}

extern "C" BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    uintptr_t id = idOf(hwnd);
    int width = 0;
    int height = 0;
    bool ok = isVirtualId(id) ? dispatcher().virtualSize(id, &width, &height)
                              : tvwin::X11WindowSize(id, &width, &height);
    if (!ok) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

extern "C" BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return dispatcher().post(idOf(hwnd), Message{0, msg, wParam, lParam});
}

BOOL TvSetWindowMessageHandler(HWND hwnd, TvMessageHandler handler, void* user)
{
    return dispatcher().setHandler(idOf(hwnd), handler, user);
}

extern "C" UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    if (!hwnd && !proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return dispatcher().setTimer(idOf(hwnd), id, elapseMs, proc);
}

extern "C" BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    return dispatcher().killTimer(idOf(hwnd), id);
}

BOOL TvIsDispatcherThread(void)
{
    return t_onDispatcher ? TRUE : FALSE;
}
