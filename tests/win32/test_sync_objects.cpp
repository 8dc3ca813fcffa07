// Events, semaphores, mutexes and the two wait functions.
#include "win32/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Waits (bounded) until `counter` reaches `value`; false if it never does.
bool WaitForCount(const std::atomic<int>& counter, int value)
{
    for (int i = 0; i < 2000 && counter.load() < value; ++i)
        Sleep(1);
    return counter.load() >= value;
}

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle()
    {
        if (h != nullptr)
            CloseHandle(h);
    }
    operator HANDLE() const { return h; }
};

// ---- Events ----

TEST(Events, ManualResetReleasesEveryWaiterAndStaysSet)
{
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_NE(event.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
                ++released;
        });
    }
    EXPECT_TRUE(SetEvent(event));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Events, AutoResetIsConsumedByTheWaitThatReturnsIt)
{
    Handle event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_TRUE(SetEvent(event)); // setting a set event does not count twice
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Events, AutoResetSetOnceReleasesExactlyOneOfTwoWaiters)
{
    Handle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> released{0};
    std::thread a([&] {
        if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
            ++released;
    });
    std::thread b([&] {
        if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
            ++released;
    });
    EXPECT_TRUE(SetEvent(event));
    ASSERT_TRUE(WaitForCount(released, 1));
    Sleep(50);
    EXPECT_EQ(released.load(), 1);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT)
        << "the released waiter left the event set";
    EXPECT_TRUE(SetEvent(event));
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
}

TEST(Events, PulseReleasesWaitersAndLeavesTheEventReset)
{
    for (BOOL manual : {TRUE, FALSE}) {
        Handle event(CreateEventA(nullptr, manual, FALSE, nullptr));
        // Nobody waits: the pulse is lost.
        EXPECT_TRUE(PulseEvent(event));
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

        std::atomic<int> released{0};
        std::thread waiter([&] {
            if (WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0)
                ++released;
        });
        // The waiter may not be waiting yet when a pulse comes: pulse until it is.
        for (int i = 0; i < 2000 && released.load() == 0; ++i) {
            EXPECT_TRUE(PulseEvent(event));
            ASSERT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "pulse left the event set";
            Sleep(1);
        }
        waiter.join();
        EXPECT_EQ(released.load(), 1);
    }
}

// ---- Semaphores ----

TEST(Semaphores, CountAndMaximum)
{
    Handle sem(CreateSemaphoreA(nullptr, 2, 3, nullptr));
    ASSERT_NE(sem.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);

    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(sem, 1, &previous));
    EXPECT_EQ(previous, 0);
    EXPECT_TRUE(ReleaseSemaphore(sem, 2, &previous));
    EXPECT_EQ(previous, 1);

    // Over the maximum: refused, count untouched.
    SetLastError(0);
    previous = -1;
    EXPECT_FALSE(ReleaseSemaphore(sem, 1, &previous));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TOO_MANY_POSTS));
    EXPECT_FALSE(ReleaseSemaphore(sem, 0, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_OBJECT_0) << i;
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);

    // A release that would pass the maximum is refused whole, even from zero.
    EXPECT_FALSE(ReleaseSemaphore(sem, 4, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_TOO_MANY_POSTS));
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
}

TEST(Semaphores, InvalidCountsAreRefused)
{
    const LONG bad[][2] = {{4, 3}, {0, 0}, {-1, 3}, {1, -1}};
    for (const auto& counts : bad) {
        SetLastError(0);
        EXPECT_EQ(CreateSemaphoreA(nullptr, counts[0], counts[1], nullptr), nullptr)
            << counts[0] << "/" << counts[1];
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    }
}

TEST(Semaphores, ReleaseWakesOneWaiterPerCount)
{
    Handle sem(CreateSemaphore(nullptr, 0, 10, nullptr));
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(sem, INFINITE) == WAIT_OBJECT_0)
                ++released;
        });
    }
    EXPECT_TRUE(ReleaseSemaphore(sem, 2, nullptr));
    ASSERT_TRUE(WaitForCount(released, 2));
    Sleep(50);
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(ReleaseSemaphore(sem, 1, nullptr));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(released.load(), 3);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
}

// ---- Mutexes ----

// Runs `f` on another thread and returns its result.
template <class F> DWORD OnOtherThread(F f)
{
    DWORD result = 0;
    std::thread t([&] { result = f(); });
    t.join();
    return result;
}

TEST(Mutexes, OwnershipIsRecursiveAndExclusive)
{
    Handle mutex(CreateMutexA(nullptr, FALSE, nullptr));
    ASSERT_NE(mutex.h, nullptr);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 10); }), WAIT_TIMEOUT);
    EXPECT_EQ(OnOtherThread([&] { return DWORD(ReleaseMutex(mutex) ? 0 : GetLastError()); }),
              DWORD(ERROR_NOT_OWNER));

    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT)
        << "still owned once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));

    EXPECT_EQ(OnOtherThread([&] {
                  DWORD r = WaitForSingleObject(mutex, 0);
                  ReleaseMutex(mutex);
                  return r;
              }),
              WAIT_OBJECT_0);
}

TEST(Mutexes, InitialOwnerOwnsIt)
{
    Handle mutex(CreateMutex(nullptr, TRUE, nullptr));
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(OnOtherThread([&] {
                  DWORD r = WaitForSingleObject(mutex, 0);
                  ReleaseMutex(mutex);
                  return r;
              }),
              WAIT_OBJECT_0);
}

TEST(Mutexes, OwnerThreadEndingAbandonsIt)
{
    Handle mutex(CreateMutex(nullptr, FALSE, nullptr));
    // A thread not made by CreateThread: abandoned when it exits.
    EXPECT_EQ(OnOtherThread([&] { return WaitForSingleObject(mutex, 0); }), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0) << "abandonment is reported once";
    EXPECT_TRUE(ReleaseMutex(mutex));

    // A CreateThread thread: abandoned before its handle is signalled.
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID m) -> DWORD { return WaitForSingleObject(static_cast<HANDLE>(m), 0); }, mutex.h,
        0, nullptr);
    ASSERT_NE(thread, nullptr);
    HANDLE both[] = {thread, mutex.h};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 2000), WAIT_ABANDONED_0 + 1);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(thread);
}

// ---- Waits ----

TEST(Waits, TimeOutIsNeverEarly)
{
    Handle event(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    Handle sem(CreateSemaphore(nullptr, 0, 1, nullptr));
    HANDLE both[] = {event.h, sem.h};
    for (DWORD ms : {1u, 15u, 40u}) {
        auto start = Clock::now();
        EXPECT_EQ(WaitForSingleObject(event, ms), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(start), ms);
        start = Clock::now();
        EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, ms), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(start), ms);
        start = Clock::now();
        EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, ms), WAIT_TIMEOUT);
        EXPECT_GE(MillisecondsSince(start), ms);
    }
}

TEST(Waits, WaitAnyTakesTheLowestSignalledIndexOnly)
{
    Handle e0(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    Handle e1(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    Handle sem(CreateSemaphore(nullptr, 0, 5, nullptr));
    HANDLE list[] = {e0.h, e1.h, sem.h};

    SetEvent(e1);
    ReleaseSemaphore(sem, 1, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForSingleObject(e1, 0), WAIT_TIMEOUT) << "the returned event is consumed";
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_TIMEOUT);

    SetEvent(e0);
    SetEvent(e1);
    EXPECT_EQ(WaitForMultipleObjects(3, list, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e1, 0), WAIT_OBJECT_0)
        << "a signalled object not returned is not consumed";
}

TEST(Waits, WaitAllConsumesNothingWhenItTimesOut)
{
    Handle a(CreateEvent(nullptr, FALSE, TRUE, nullptr));
    Handle sem(CreateSemaphore(nullptr, 1, 1, nullptr));
    Handle b(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    HANDLE list[] = {a.h, sem.h, b.h};
    EXPECT_EQ(WaitForMultipleObjects(3, list, TRUE, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForMultipleObjects(3, list, TRUE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0)
        << "auto event consumed by a failed wait-all";
    SetEvent(a);

    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects(3, list, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
}

TEST(Waits, PendingWaitAllHoldsNothingUntilAllAreSignalled)
{
    Handle a(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    Handle b(CreateEvent(nullptr, FALSE, FALSE, nullptr));
    HANDLE list[] = {a.h, b.h};
    DWORD allResult = 0;
    std::thread all([&] { allResult = WaitForMultipleObjects(2, list, TRUE, 5000); });
    Sleep(5);
    // With only `a` set the wait-all must leave it for a plain waiter.
    SetEvent(a);
    EXPECT_EQ(WaitForSingleObject(a, 2000), WAIT_OBJECT_0);
    SetEvent(b);
    Sleep(5);
    SetEvent(a);
    all.join();
    EXPECT_EQ(allResult, WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
}

TEST(Waits, BadArgumentsFail)
{
    Handle event(CreateEvent(nullptr, TRUE, TRUE, nullptr));
    HANDLE list[MAXIMUM_WAIT_OBJECTS + 1];
    for (HANDLE& h : list)
        h = event.h;

    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(0, list, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, list, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WaitForMultipleObjects(1, nullptr, FALSE, 0), WAIT_FAILED);
    // The same object twice: fine for wait-any, refused for wait-all.
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS, list, FALSE, 0), WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(2, list, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    HANDLE dead = CreateEvent(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(dead);
    for (HANDLE bad : {HANDLE(nullptr), INVALID_HANDLE_VALUE, dead, HANDLE(&list)}) {
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(bad, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        HANDLE mixed[] = {event.h, bad};
        EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED)
            << "a bad handle fails even after a good one";
    }
}

TEST(Waits, ClosingTheHandleDuringAWaitIsSafe)
{
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    DWORD result = 0;
    std::thread waiter([&] { result = WaitForSingleObject(event, 100); });
    Sleep(10);
    EXPECT_TRUE(CloseHandle(event));
    waiter.join();
    // Either the wait began before the close and timed out, or it began after it.
    EXPECT_TRUE(result == WAIT_TIMEOUT || result == WAIT_FAILED) << result;
    SetLastError(0);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(Waits, WrongKindOfHandleIsRefused)
{
    Handle event(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    Handle sem(CreateSemaphore(nullptr, 0, 1, nullptr));
    Handle mutex(CreateMutex(nullptr, FALSE, nullptr));
    SetLastError(0);
    EXPECT_FALSE(SetEvent(sem));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ResetEvent(mutex));
    EXPECT_FALSE(PulseEvent(sem));
    EXPECT_FALSE(ReleaseSemaphore(event, 1, nullptr));
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(WaitForSingleObject(sem, 0), WAIT_TIMEOUT)
        << "a misdirected call changed the semaphore";
}

TEST(Waits, ManyThreadsHandOffAnAutoEventWithoutLosingOrDoublingSignals)
{
    // A token passed around by SetEvent/wait: every set is taken exactly once.
    Handle token(CreateEvent(nullptr, FALSE, TRUE, nullptr));
    Handle stop(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> holders{0};
    std::atomic<int> maxHolders{0};
    std::atomic<int> rounds{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            HANDLE list[] = {stop.h, token.h};
            while (WaitForMultipleObjects(2, list, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
                int now = ++holders;
                int seen = maxHolders.load();
                while (now > seen && !maxHolders.compare_exchange_weak(seen, now)) {
                }
                --holders;
                ++rounds;
                SetEvent(token);
            }
        });
    }
    ASSERT_TRUE(WaitForCount(rounds, 500));
    SetEvent(stop);
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(maxHolders.load(), 1);
    EXPECT_EQ(WaitForSingleObject(token, 0), WAIT_OBJECT_0) << "the token was lost";
}

} // namespace
