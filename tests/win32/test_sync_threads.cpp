// Threads, critical sections, interlocked operations, CloseHandle and Sleep.
#include "win32/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// ---- Threads ----

struct Gate {
    HANDLE go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::atomic<DWORD> tid{0};
    std::atomic<int> ran{0};
    ~Gate() { CloseHandle(go); }
};

DWORD GatedRoutine(LPVOID arg)
{
    auto* gate = static_cast<Gate*>(arg);
    gate->tid = GetCurrentThreadId();
    ++gate->ran;
    WaitForSingleObject(gate->go, INFINITE);
    return 42;
}

TEST(Threads, HandleIsSignalledAtTheEndAndKeepsTheExitCode)
{
    Gate gate;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, GatedRoutine, &gate, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(GetThreadId(thread), id);

    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(thread, 10), WAIT_TIMEOUT);
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gate.tid.load(), id) << "threadId is the id the thread sees";
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    // An ended thread stays signalled and its handle stays valid until closed.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    EXPECT_EQ(GetThreadId(thread), id);
    EXPECT_TRUE(CloseHandle(thread));

    SetLastError(0);
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetThreadId(thread), 0u);
}

TEST(Threads, CreateSuspendedRunsOnlyAfterResume)
{
    Gate gate;
    SetEvent(gate.go);
    HANDLE thread = CreateThread(nullptr, 0, GatedRoutine, &gate, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
    EXPECT_EQ(gate.ran.load(), 0) << "a suspended thread ran";
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gate.ran.load(), 1);
    EXPECT_EQ(ResumeThread(thread), 0u);
    CloseHandle(thread);

    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0);
    EXPECT_EQ(ResumeThread(event), DWORD(-1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    CloseHandle(event);

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, CREATE_SUSPENDED, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

struct Unwound {
    std::atomic<bool>* flag;
    ~Unwound() { *flag = true; }
};

std::atomic<bool> g_unwound{false};

[[noreturn]] void LeaveEarly()
{
    ExitThread(7);
}

TEST(Threads, ExitThreadSetsTheCodeAndUnwinds)
{
    g_unwound = false;
    HANDLE thread = CreateThread(
        nullptr, 64 * 1024,
        [](LPVOID) -> DWORD {
            Unwound guard{&g_unwound};
            LeaveEarly();
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(g_unwound.load());
    CloseHandle(thread);
}

TEST(Threads, ClosingTheHandleOfARunningThreadDetachesIt)
{
    Gate gate;
    HANDLE done = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    struct Args {
        Gate* gate;
        HANDLE done;
    } args{&gate, done};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            auto* a = static_cast<Args*>(p);
            WaitForSingleObject(a->gate->go, INFINITE);
            SetEvent(a->done);
            return 0;
        },
        &args, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(gate.go);
    EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(CloseHandle(thread));
    CloseHandle(done);
}

TEST(Threads, WaitForAllOfManyThreads)
{
    std::atomic<int> ran{0};
    std::vector<HANDLE> threads;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
        HANDLE t = CreateThread(
            nullptr, 0,
            [](LPVOID p) -> DWORD {
                ++*static_cast<std::atomic<int>*>(p);
                return 0;
            },
            &ran, 0, nullptr);
        ASSERT_NE(t, nullptr);
        threads.push_back(t);
    }
    EXPECT_EQ(WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 10000),
              WAIT_OBJECT_0);
    EXPECT_EQ(ran.load(), MAXIMUM_WAIT_OBJECTS);
    for (HANDLE t : threads)
        CloseHandle(t);
}

TEST(Threads, PriorityIsRecordedPerThread)
{
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_HIGHEST);
    std::thread other(
        [] { EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL); });
    other.join();
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL));

    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, GatedRoutine, &gate, 0, nullptr);
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_BELOW_NORMAL);
    SetLastError(0);
    EXPECT_FALSE(SetThreadPriority(thread, 5));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetEvent(gate.go);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);
}

// ---- Critical sections ----

TEST(CriticalSections, RecursiveEntryNeedsAsManyLeaves)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    auto otherCanEnter = [&] {
        bool entered = false;
        std::thread t([&] {
            entered = TryEnterCriticalSection(&cs);
            if (entered)
                LeaveCriticalSection(&cs);
        });
        t.join();
        return entered;
    };

    EXPECT_FALSE(TvIsCriticalSectionOwned(&cs));
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TryEnterCriticalSection(&cs));
    EnterCriticalSection(&cs);
    EXPECT_TRUE(TvIsCriticalSectionOwned(&cs));
    EXPECT_FALSE(otherCanEnter());
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    EXPECT_FALSE(otherCanEnter());

    // A thread leaving a section it never entered must not release it.
    std::thread stray([&] { LeaveCriticalSection(&cs); });
    stray.join();
    EXPECT_TRUE(TvIsCriticalSectionOwned(&cs));
    EXPECT_FALSE(otherCanEnter());

    LeaveCriticalSection(&cs);
    EXPECT_FALSE(TvIsCriticalSectionOwned(&cs));
    EXPECT_TRUE(otherCanEnter());
    DeleteCriticalSection(&cs);
}

TEST(CriticalSections, MutualExclusionUnderContention)
{
    struct Shared {
        CRITICAL_SECTION cs;
        long long total = 0;     // guarded by cs
        int inside = 0;          // guarded by cs
        bool overlapped = false; // guarded by cs
    } shared;
    InitializeCriticalSection(&shared.cs);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EnterCriticalSection(&shared.cs);
                if (++shared.inside != 1)
                    shared.overlapped = true;
                shared.total += 1;
                --shared.inside;
                LeaveCriticalSection(&shared.cs);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(shared.total, 4 * 20000);
    EXPECT_FALSE(shared.overlapped);
    DeleteCriticalSection(&shared.cs);
}

// ---- Interlocked ----

TEST(Interlocked, ResultsFollowWindows)
{
    LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedExchangeAdd(&v, 3), 9);
    EXPECT_EQ(v, 12);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 7), 12) << "no exchange when the comparand differs";
    EXPECT_EQ(v, 12);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 12), 12);
    EXPECT_EQ(v, 1);
    int a = 0, b = 0;
    PVOID p = &a;
    EXPECT_EQ(InterlockedExchangePointer(&p, &b), &a);
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &a, &a), &b);
    EXPECT_EQ(p, &b);
}

// ---- CloseHandle ----

TEST(CloseHandle, BadHandlesFailWithoutHarm)
{
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(CloseHandle(event));
    int local = 0;
    for (HANDLE bad : {HANDLE(nullptr), INVALID_HANDLE_VALUE, event, HANDLE(&local)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad)) << bad;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
    // Handles are never reused, so a stale handle cannot reach a newer object.
    HANDLE newer = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(newer, event);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(newer, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(newer));
}

TEST(CloseHandle, FileHandleClosesItsDescriptor)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    HANDLE readEnd = reinterpret_cast<HANDLE>(static_cast<intptr_t>(fds[0]));
    EXPECT_TRUE(CloseHandle(readEnd));
    errno = 0;
    EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(readEnd));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_NE(fcntl(fds[1], F_GETFD), -1) << "the other descriptor was closed too";
    close(fds[1]);
}

// ---- Sleep ----

TEST(Sleep, SleepsAtLeastTheGivenTime)
{
    for (DWORD ms : {1u, 20u}) {
        const auto start = Clock::now();
        Sleep(ms);
        EXPECT_GE(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
            ms);
    }
    Sleep(0);
}

} // namespace
