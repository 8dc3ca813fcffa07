#include "win32/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Generous upper bound for anything that should happen "soon"; only reached when
// the code under test is broken.
constexpr auto kPatience = 10s;

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool onDispatcher;
};

// Collects what a window handler receives.
class Recorder {
public:
    static LRESULT handler(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, void* user)
    {
        auto* self = static_cast<Recorder*>(user);
        std::lock_guard<std::mutex> guard(self->m_lock);
        self->m_items.push_back({hwnd, msg, wParam, lParam, TvIsDispatcherThread() != FALSE});
        self->m_changed.notify_all();
        return 0;
    }

    bool waitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [&] { return m_items.size() >= count; });
    }

    std::vector<Received> items()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_items;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Received> m_items;
};

// A one-shot signal between a test and a callback.
class Signal {
public:
    void set()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_set = true;
        m_changed.notify_all();
    }
    bool wait()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, kPatience, [&] { return m_set; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_set = false;
};

// Waits until pred() holds, or gives up after kPatience.
template <class Pred> bool eventually(Pred pred)
{
    auto giveUp = Clock::now() + kPatience;
    while (!pred()) {
        if (Clock::now() > giveUp)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A window that is destroyed when the test ends, whatever happens.
struct ScopedWindow {
    HWND hwnd;
    ScopedWindow(int w = 320, int h = 240) : hwnd(TvCreateVirtualWindow(w, h)) {}
    ~ScopedWindow() { DestroyWindow(hwnd); }
};

} // namespace

// ---- Virtual windows ----

TEST(VirtualWindow, CreateResizeDestroy)
{
    HWND hwnd = TvCreateVirtualWindow(320, 240);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(TvIsVirtualWindow(hwnd));
    EXPECT_TRUE(IsWindow(hwnd));
    RECT rect{-1, -1, -1, -1};
    ASSERT_TRUE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 320);
    EXPECT_EQ(rect.bottom, 240);

    ASSERT_TRUE(TvResizeVirtualWindow(hwnd, 704, 576));
    ASSERT_TRUE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(rect.right, 704);
    EXPECT_EQ(rect.bottom, 576);
    ASSERT_TRUE(TvResizeVirtualWindow(hwnd, 0, 0));
    ASSERT_TRUE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(rect.right, 0);
    EXPECT_EQ(rect.bottom, 0);

    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(TvIsVirtualWindow(hwnd));
    SetLastError(0);
    EXPECT_FALSE(GetClientRect(hwnd, &rect));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(DestroyWindow(hwnd));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(TvResizeVirtualWindow(hwnd, 10, 10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST(VirtualWindow, IdsAreDistinctAndOutsideTheX11Range)
{
    ScopedWindow a;
    ScopedWindow b;
    ASSERT_NE(a.hwnd, nullptr);
    ASSERT_NE(b.hwnd, nullptr);
    EXPECT_NE(a.hwnd, b.hwnd);
    EXPECT_GE(reinterpret_cast<uintptr_t>(a.hwnd), uintptr_t(1) << 29);
    EXPECT_GE(reinterpret_cast<uintptr_t>(b.hwnd), uintptr_t(1) << 29);
    // A destroyed id is not handed out again.
    HWND gone = TvCreateVirtualWindow(1, 1);
    ASSERT_TRUE(DestroyWindow(gone));
    ScopedWindow c;
    EXPECT_NE(c.hwnd, gone);
}

TEST(VirtualWindow, RejectsBadArguments)
{
    SetLastError(0);
    EXPECT_EQ(TvCreateVirtualWindow(-1, 10), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    ScopedWindow w;
    SetLastError(0);
    EXPECT_FALSE(TvResizeVirtualWindow(w.hwnd, 10, -5));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    RECT rect;
    ASSERT_TRUE(GetClientRect(w.hwnd, &rect));
    EXPECT_EQ(rect.right, 320); // unchanged by the refused resize
    SetLastError(0);
    EXPECT_FALSE(GetClientRect(w.hwnd, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(BadWindow, EveryCallFailsWithInvalidWindowHandle)
{
    HWND destroyed = TvCreateVirtualWindow(8, 8);
    ASSERT_TRUE(DestroyWindow(destroyed));
    // A null window, a destroyed virtual window, a virtual id never made, and an
    // X11 id no server knows (with or without a display).
    const HWND bad[] = {nullptr, destroyed,
                        reinterpret_cast<HWND>((uintptr_t(1) << 30) + 0x7fffff00),
                        reinterpret_cast<HWND>(uintptr_t(0x1ffffff7))};
    for (HWND hwnd : bad) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(hwnd));
        RECT rect{1, 2, 3, 4};
        SetLastError(0);
        EXPECT_FALSE(GetClientRect(hwnd, &rect));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_FALSE(TvIsVirtualWindow(hwnd));
        SetLastError(0);
        EXPECT_FALSE(PostMessageA(hwnd, WM_APP, 1, 2));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(DestroyWindow(hwnd));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(TvSetWindowMessageHandler(hwnd, Recorder::handler, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        if (hwnd) {
            SetLastError(0);
            EXPECT_EQ(SetTimer(hwnd, 1, 10, nullptr), 0u);
            EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
        }
        SetLastError(0);
        EXPECT_FALSE(KillTimer(hwnd, 1));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

TEST(X11Window, DisplayConnectionIsStable)
{
    void* display = TvGetX11Display();
    if (!display)
        GTEST_SKIP() << "no X display";
    EXPECT_EQ(TvGetX11Display(), display);
}

// ---- Posted messages ----

TEST(PostedMessages, DeliveredInOrderOnTheDispatcherThread)
{
    ScopedWindow w;
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &recorder));
    EXPECT_FALSE(TvIsDispatcherThread());
    constexpr int kCount = 500;
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(PostMessage(w.hwnd, WM_APP + 1, i, -i));
    ASSERT_TRUE(recorder.waitFor(kCount));
    auto items = recorder.items();
    ASSERT_EQ(items.size(), size_t(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(items[i].hwnd, w.hwnd);
        EXPECT_EQ(items[i].msg, UINT(WM_APP + 1));
        EXPECT_EQ(items[i].wParam, WPARAM(i));
        EXPECT_EQ(items[i].lParam, LPARAM(-i));
        EXPECT_TRUE(items[i].onDispatcher);
    }
}

TEST(PostedMessages, EachWindowGetsItsOwnInOrderFromManyThreads)
{
    ScopedWindow a;
    ScopedWindow b;
    Recorder ra;
    Recorder rb;
    ASSERT_TRUE(TvSetWindowMessageHandler(a.hwnd, Recorder::handler, &ra));
    ASSERT_TRUE(TvSetWindowMessageHandler(b.hwnd, Recorder::handler, &rb));
    constexpr int kPerThread = 200;
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t) {
        senders.emplace_back([&, t] {
            HWND target = (t % 2) ? b.hwnd : a.hwnd;
            for (int i = 0; i < kPerThread; ++i)
                PostMessage(target, WM_USER, t, i);
        });
    }
    for (auto& s : senders)
        s.join();
    ASSERT_TRUE(ra.waitFor(2 * kPerThread));
    ASSERT_TRUE(rb.waitFor(2 * kPerThread));
    for (Recorder* r : {&ra, &rb}) {
        // Per sender, the order of posting is kept.
        int next[4] = {0, 0, 0, 0};
        for (const auto& item : r->items()) {
            ASSERT_LT(item.wParam, 4u);
            EXPECT_EQ(item.lParam, next[item.wParam]++);
        }
    }
    for (const auto& item : ra.items())
        EXPECT_EQ(item.hwnd, a.hwnd);
    for (const auto& item : rb.items())
        EXPECT_EQ(item.hwnd, b.hwnd);
}

TEST(PostedMessages, KeptUntilAHandlerIsSet)
{
    ScopedWindow w;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(PostMessage(w.hwnd, WM_USER + 2, i, 0));
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &recorder));
    ASSERT_TRUE(PostMessage(w.hwnd, WM_USER + 2, 5, 0));
    ASSERT_TRUE(recorder.waitFor(6));
    auto items = recorder.items();
    ASSERT_EQ(items.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(items[i].wParam, WPARAM(i));

    // Removed again: kept again, and handed to the next handler.
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, nullptr, nullptr));
    ASSERT_TRUE(PostMessage(w.hwnd, WM_USER + 2, 6, 0));
    Recorder second;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &second));
    ASSERT_TRUE(second.waitFor(1));
    EXPECT_EQ(second.items()[0].wParam, 6u);
    EXPECT_EQ(recorder.items().size(), 6u);
}

TEST(PostedMessages, WithoutAHandlerTheOldestAreDroppedBeyondTheLimit)
{
    ScopedWindow w;
    testing::internal::CaptureStderr();
    for (int i = 0; i < 10003; ++i)
        ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, i, 0));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("dropped"), std::string::npos) << log;
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &recorder));
    ASSERT_TRUE(recorder.waitFor(10000));
    auto items = recorder.items();
    ASSERT_EQ(items.size(), 10000u);
    EXPECT_EQ(items.front().wParam, 3u);
    EXPECT_EQ(items.back().wParam, 10002u);
}

TEST(PostedMessages, BusyHandlerQueueRefusesBeyondTheLimit)
{
    ScopedWindow w;
    struct Gate {
        Signal entered;
        Signal release;
        std::atomic<int> count{0};
    } gate;
    auto handler = [](HWND, UINT, WPARAM, LPARAM, void* user) -> LRESULT {
        auto* g = static_cast<Gate*>(user);
        if (g->count++ == 0) {
            g->entered.set();
            g->release.wait();
        }
        return 0;
    };
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, handler, &gate));
    ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, 0, 0));
    ASSERT_TRUE(gate.entered.wait());
    for (int i = 0; i < 10000; ++i)
        ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, i, 0));
    SetLastError(0);
    EXPECT_FALSE(PostMessage(w.hwnd, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_QUOTA);
    gate.release.set();
    EXPECT_TRUE(eventually([&] { return gate.count.load() == 10001; }));
}

TEST(PostedMessages, HandlerMayPostAndDestroyWithoutDeadlock)
{
    ScopedWindow w;
    struct State {
        std::vector<WPARAM> seen; // only the dispatcher touches it until done is set
        BOOL destroyed = FALSE;
        Signal done;
    } state;
    auto handler = [](HWND hwnd, UINT, WPARAM wParam, LPARAM, void* user) -> LRESULT {
        auto* s = static_cast<State*>(user);
        s->seen.push_back(wParam);
        if (wParam < 3) {
            PostMessage(hwnd, WM_APP, wParam + 1, 0);
        } else {
            PostMessage(hwnd, WM_APP, 99, 0); // dropped by the destruction below
            s->destroyed = DestroyWindow(hwnd);
            s->done.set();
        }
        return 0;
    };
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, handler, &state));
    ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, 0, 0));
    ASSERT_TRUE(state.done.wait());
    EXPECT_TRUE(state.destroyed);
    EXPECT_FALSE(IsWindow(w.hwnd));
    // Wait until the dispatcher has certainly moved on: a later message elsewhere.
    ScopedWindow other;
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(other.hwnd, Recorder::handler, &recorder));
    ASSERT_TRUE(PostMessage(other.hwnd, WM_APP, 0, 0));
    ASSERT_TRUE(recorder.waitFor(1));
    EXPECT_EQ(state.seen, (std::vector<WPARAM>{0, 1, 2, 3}));
}

TEST(PostedMessages, RemovingAHandlerWaitsForItsRunningCall)
{
    ScopedWindow w;
    struct State {
        Signal entered;
        std::atomic<bool> finished{false};
    } state;
    auto handler = [](HWND, UINT, WPARAM, LPARAM, void* user) -> LRESULT {
        auto* s = static_cast<State*>(user);
        s->entered.set();
        std::this_thread::sleep_for(100ms);
        s->finished = true;
        return 0;
    };
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, handler, &state));
    ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, 0, 0));
    ASSERT_TRUE(state.entered.wait());
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, nullptr, nullptr));
    EXPECT_TRUE(state.finished);
}

// ---- Timers ----

namespace {

struct TimerLog {
    std::mutex lock;
    std::vector<Clock::time_point> calls; // guarded by lock
    HWND hwnd = nullptr;
    UINT msg = 0;
    UINT_PTR id = 0;
    bool onDispatcher = true;
    size_t count()
    {
        std::lock_guard<std::mutex> guard(lock);
        return calls.size();
    }
};

TimerLog* g_timerLog = nullptr; // TIMERPROC has no user pointer

void recordTimerCall(HWND hwnd, UINT msg, UINT_PTR id, DWORD)
{
    std::lock_guard<std::mutex> guard(g_timerLog->lock);
    g_timerLog->calls.push_back(Clock::now());
    g_timerLog->hwnd = hwnd;
    g_timerLog->msg = msg;
    g_timerLog->id = id;
    g_timerLog->onDispatcher = g_timerLog->onDispatcher && TvIsDispatcherThread();
}

struct UseTimerLog {
    TimerLog log;
    UseTimerLog() { g_timerLog = &log; }
    ~UseTimerLog() { g_timerLog = nullptr; }
};

} // namespace

TEST(WindowTimer, WindowlessTimerFiresAtItsPeriod)
{
    UseTimerLog use;
    auto start = Clock::now();
    UINT_PTR id = SetTimer(nullptr, 0, 20, recordTimerCall);
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(KillTimer(nullptr, id));
    auto elapsed = Clock::now() - start;
    size_t count = use.log.count();
    // Never faster than the period; at least a few calls even on a busy machine.
    EXPECT_LE(count, size_t(elapsed / 20ms) + 1);
    EXPECT_GE(count, 3u);
    EXPECT_EQ(use.log.hwnd, nullptr);
    EXPECT_EQ(use.log.msg, UINT(WM_TIMER));
    EXPECT_EQ(use.log.id, id);
    EXPECT_TRUE(use.log.onDispatcher);
    // Killed: no more calls, and a second kill finds nothing.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(use.log.count(), count);
    SetLastError(0);
    EXPECT_FALSE(KillTimer(nullptr, id));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Timers whose due times lie close together fire in one turn of the
// dispatcher (Windows fires them on its timer tick), not each on a wake-up of
// its own: 16 timers of 50 ms set a millisecond apart fire in bursts.
TEST(WindowTimer, TimersDueTogetherFireInOneTurn)
{
    UseTimerLog use;
    std::vector<UINT_PTR> ids;
    for (int i = 0; i < 16; ++i) {
        ids.push_back(SetTimer(nullptr, 0, 50, recordTimerCall));
        ASSERT_NE(ids.back(), 0u);
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(400ms);
    for (UINT_PTR id : ids)
        ASSERT_TRUE(KillTimer(nullptr, id));
    std::vector<Clock::time_point> calls;
    {
        std::lock_guard<std::mutex> guard(use.log.lock);
        calls = use.log.calls;
    }
    ASSERT_GE(calls.size(), 16u);
    // A burst: calls less than half a millisecond after the one before.
    size_t bursts = 1;
    for (size_t i = 1; i < calls.size(); ++i)
        bursts += calls[i] - calls[i - 1] >= 500us ? 1 : 0;
    // Each timer on its own wake-up would make every call a burst of its own.
    EXPECT_LE(bursts, calls.size() / 3) << calls.size() << " calls";
}

TEST(WindowTimer, WindowlessIdsAreNewUnlessTheyNameALiveTimer)
{
    UseTimerLog use;
    UINT_PTR a = SetTimer(nullptr, 0, 10000, recordTimerCall);
    UINT_PTR b = SetTimer(nullptr, 12345678, 10000, recordTimerCall);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(SetTimer(nullptr, a, 10000, recordTimerCall), a); // replaced, same id
    EXPECT_TRUE(KillTimer(nullptr, a));
    EXPECT_TRUE(KillTimer(nullptr, b));
    SetLastError(0);
    EXPECT_EQ(SetTimer(nullptr, 0, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WindowTimer, WithoutAProcTheHandlerGetsWmTimer)
{
    ScopedWindow w;
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &recorder));
    ASSERT_EQ(SetTimer(w.hwnd, 7, 10, nullptr), 7u);
    ASSERT_TRUE(recorder.waitFor(2));
    ASSERT_TRUE(KillTimer(w.hwnd, 7));
    for (const auto& item : recorder.items()) {
        EXPECT_EQ(item.hwnd, w.hwnd);
        EXPECT_EQ(item.msg, UINT(WM_TIMER));
        EXPECT_EQ(item.wParam, 7u);
        EXPECT_EQ(item.lParam, 0);
        EXPECT_TRUE(item.onDispatcher);
    }
}

TEST(WindowTimer, WithAProcTheProcIsCalledInsteadOfTheHandler)
{
    UseTimerLog use;
    ScopedWindow w;
    Recorder recorder;
    ASSERT_TRUE(TvSetWindowMessageHandler(w.hwnd, Recorder::handler, &recorder));
    ASSERT_EQ(SetTimer(w.hwnd, 0x5a5a, 10, recordTimerCall), 0x5a5au);
    ASSERT_TRUE(eventually([&] { return use.log.count() >= 2; }));
    ASSERT_TRUE(KillTimer(w.hwnd, 0x5a5a));
    EXPECT_EQ(use.log.hwnd, w.hwnd);
    EXPECT_EQ(use.log.msg, UINT(WM_TIMER));
    EXPECT_EQ(use.log.id, 0x5a5au);
    EXPECT_TRUE(use.log.onDispatcher);
    // A message posted now is handled after any timer call; none was a WM_TIMER.
    ASSERT_TRUE(PostMessage(w.hwnd, WM_APP, 0, 0));
    ASSERT_TRUE(recorder.waitFor(1));
    for (const auto& item : recorder.items())
        EXPECT_NE(item.msg, UINT(WM_TIMER));
}

TEST(WindowTimer, SameIdReplacesTheTimer)
{
    ScopedWindow w;
    static std::atomic<int> s_first{0};
    static std::atomic<int> s_second{0};
    static std::atomic<int> s_firstSeenBySecond{-1};
    s_first = 0;
    s_second = 0;
    s_firstSeenBySecond = -1;
    TIMERPROC first = [](HWND, UINT, UINT_PTR, DWORD) { ++s_first; };
    TIMERPROC second = [](HWND, UINT, UINT_PTR, DWORD) {
        if (s_second++ == 0)
            s_firstSeenBySecond = s_first.load();
    };
    ASSERT_EQ(SetTimer(w.hwnd, 5, 10, first), 5u);
    ASSERT_TRUE(eventually([] { return s_first >= 1; }));
    ASSERT_EQ(SetTimer(w.hwnd, 5, 10, second), 5u);
    ASSERT_TRUE(eventually([] { return s_second >= 3; }));
    ASSERT_TRUE(KillTimer(w.hwnd, 5));
    EXPECT_EQ(s_first.load(), s_firstSeenBySecond.load()); // the first never ran again
    SetLastError(0);
    EXPECT_FALSE(KillTimer(w.hwnd, 5)); // there was only one timer
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WindowTimer, KillTimerWaitsForTheRunningCallback)
{
    ScopedWindow w;
    static Signal* s_entered = nullptr;
    static std::atomic<bool> s_finished{false};
    static std::atomic<int> s_calls{0};
    Signal entered;
    s_entered = &entered;
    s_finished = false;
    s_calls = 0;
    TIMERPROC slow = [](HWND, UINT, UINT_PTR, DWORD) {
        if (s_calls++ == 0) {
            s_entered->set();
            std::this_thread::sleep_for(150ms);
            s_finished = true;
        }
    };
    ASSERT_EQ(SetTimer(w.hwnd, 1, 10, slow), 1u);
    ASSERT_TRUE(entered.wait());
    ASSERT_TRUE(KillTimer(w.hwnd, 1));
    EXPECT_TRUE(s_finished);
    int calls = s_calls;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(s_calls.load(), calls);
}

TEST(WindowTimer, KillTimerInsideItsOwnCallback)
{
    ScopedWindow w;
    static std::atomic<int> s_calls{0};
    static std::atomic<int> s_killResult{-1};
    static Signal* s_done = nullptr;
    Signal done;
    s_done = &done;
    s_calls = 0;
    TIMERPROC selfKilling = [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
        ++s_calls;
        s_killResult = KillTimer(hwnd, id);
        s_done->set();
    };
    ASSERT_EQ(SetTimer(w.hwnd, 3, 10, selfKilling), 3u);
    ASSERT_TRUE(done.wait());
    EXPECT_EQ(s_killResult.load(), TRUE);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(s_calls.load(), 1);
    EXPECT_FALSE(KillTimer(w.hwnd, 3));
}

TEST(WindowTimer, DestroyWindowKillsItsTimers)
{
    UseTimerLog use;
    HWND hwnd = TvCreateVirtualWindow(16, 16);
    ASSERT_EQ(SetTimer(hwnd, 1, 10, recordTimerCall), 1u);
    ASSERT_EQ(SetTimer(hwnd, 2, 10, recordTimerCall), 2u);
    ASSERT_TRUE(eventually([&] { return use.log.count() >= 2; }));
    ASSERT_TRUE(DestroyWindow(hwnd));
    size_t count = use.log.count();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(use.log.count(), count);
    EXPECT_FALSE(KillTimer(hwnd, 1));
    EXPECT_FALSE(KillTimer(hwnd, 2));
}

TEST(WindowTimer, ASlowCallbackIsNotFollowedByABurst)
{
    static std::mutex s_lock;
    static std::vector<Clock::time_point> s_calls; // start of each call, guarded by s_lock
    static Clock::time_point s_slowEnd;            // guarded by s_lock
    {
        std::lock_guard<std::mutex> guard(s_lock);
        s_calls.clear();
    }
    TIMERPROC proc = [](HWND, UINT, UINT_PTR, DWORD) {
        bool first;
        {
            std::lock_guard<std::mutex> guard(s_lock);
            s_calls.push_back(Clock::now());
            first = s_calls.size() == 1;
        }
        if (first) {
            std::this_thread::sleep_for(120ms); // six periods missed
            std::lock_guard<std::mutex> guard(s_lock);
            s_slowEnd = Clock::now();
        }
    };
    UINT_PTR id = SetTimer(nullptr, 0, 20, proc);
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(eventually([] {
        std::lock_guard<std::mutex> guard(s_lock);
        return s_calls.size() >= 4;
    }));
    ASSERT_TRUE(KillTimer(nullptr, id));
    std::lock_guard<std::mutex> guard(s_lock);
    // At most one catch-up call right after the slow one; the next waits a period.
    int soon = 0;
    for (const auto& t : s_calls)
        soon += (t >= s_slowEnd && t < s_slowEnd + 15ms) ? 1 : 0;
    EXPECT_LE(soon, 1);
}

TEST(WindowTimer, TimerCallbacksMayManageOtherTimers)
{
    ScopedWindow w;
    static std::atomic<int> s_child{0};
    static Signal* s_childRan = nullptr;
    Signal childRan;
    s_childRan = &childRan;
    s_child = 0;
    TIMERPROC child = [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
        if (s_child++ == 0) {
            KillTimer(hwnd, id);
            s_childRan->set();
        }
    };
    static TIMERPROC s_childProc = nullptr;
    s_childProc = child;
    TIMERPROC parent = [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
        KillTimer(hwnd, id);
        SetTimer(hwnd, id + 1, 10, s_childProc);
    };
    ASSERT_EQ(SetTimer(w.hwnd, 10, 10, parent), 10u);
    ASSERT_TRUE(childRan.wait());
    EXPECT_FALSE(KillTimer(w.hwnd, 10));
    EXPECT_FALSE(KillTimer(w.hwnd, 11));
    EXPECT_EQ(s_child.load(), 1);
}

// ---- Process exit ----

TEST(DispatcherExit, ExitWithBusyTimersAndMessagesIsClean)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HWND hwnd = TvCreateVirtualWindow(4, 4);
            SetTimer(nullptr, 0, 10,
                     [](HWND, UINT, UINT_PTR, DWORD) { std::this_thread::sleep_for(5ms); });
            TvSetWindowMessageHandler(
                hwnd,
                [](HWND h, UINT m, WPARAM w, LPARAM l, void*) -> LRESULT {
                    PostMessage(h, m, w + 1, l); // keeps the dispatcher busy to the end
                    return 0;
                },
                nullptr);
            PostMessage(hwnd, WM_APP, 0, 0);
            std::this_thread::sleep_for(30ms);
            std::exit(3);
        },
        testing::ExitedWithCode(3), "");
}

TEST(DispatcherExit, ExitFromInsideACallback)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) { std::exit(4); });
            for (;;)
                std::this_thread::sleep_for(10ms);
        },
        testing::ExitedWithCode(4), "");
}
