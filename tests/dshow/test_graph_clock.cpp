// The system reference clock: time, one-shot and periodic advises.
#include "GraphTestFilters.h"
#include "win32/timefn.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace {

class SystemClockTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IReferenceClock, reinterpret_cast<void**>(&m_clock)));
    }
    void TearDown() override
    {
        EXPECT_EQ(0u, m_clock->Release());
        GraphTest::TearDown();
    }
    REFERENCE_TIME Now()
    {
        REFERENCE_TIME t = 0;
        EXPECT_TRUE(SUCCEEDED(m_clock->GetTime(&t)));
        return t;
    }

    IReferenceClock* m_clock = nullptr;
};

TEST_F(SystemClockTest, TimeIsTheMonotonicClockIn100ns)
{
    EXPECT_EQ(E_POINTER, m_clock->GetTime(nullptr));
    LARGE_INTEGER before{};
    LARGE_INTEGER after{};
    QueryPerformanceCounter(&before);
    const REFERENCE_TIME t = Now();
    QueryPerformanceCounter(&after);
    // The platform's performance counter runs on the same clock at 10 MHz.
    EXPECT_GE(t, before.QuadPart);
    EXPECT_LE(t, after.QuadPart);
    REFERENCE_TIME last = t;
    for (int i = 0; i < 1000; ++i) {
        const REFERENCE_TIME now = Now();
        EXPECT_GE(now, last);
        last = now;
    }
}

TEST_F(SystemClockTest, AdviseTimeSetsTheEventOnce)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD_PTR cookie = 0;
    const REFERENCE_TIME base = Now();
    ASSERT_EQ(S_OK, m_clock->AdviseTime(base, 200000, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_NE(0u, cookie);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));
    // Not before it was due.
    EXPECT_GE(Now(), base + 200000);
    // Done with it: the cookie is gone.
    EXPECT_EQ(S_FALSE, m_clock->Unadvise(cookie));

    // A time already passed fires at once.
    ASSERT_EQ(S_OK, m_clock->AdviseTime(1, 0, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 10000));

    // Withdrawn in time.
    ASSERT_EQ(S_OK,
              m_clock->AdviseTime(Now(), 100000000, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(S_OK, m_clock->Unadvise(cookie));
    EXPECT_EQ(S_FALSE, m_clock->Unadvise(cookie));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));

    EXPECT_EQ(E_POINTER, m_clock->AdviseTime(base, 0, reinterpret_cast<HEVENT>(event), nullptr));
    EXPECT_EQ(E_INVALIDARG, m_clock->AdviseTime(base, 0, 0, &cookie));
    EXPECT_EQ(E_INVALIDARG, m_clock->AdviseTime(0, 0, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(E_INVALIDARG, m_clock->AdviseTime(0x7FFFFFFFFFFFFFF0LL, 0x100,
                                                reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(0u, cookie);
    CloseHandle(event);
}

// A time already reached is signalled before AdviseTime returns (no round
// trip through the advise thread), and is no longer pending.
TEST_F(SystemClockTest, AdviseForATimePassedSignalsBeforeItReturns)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const REFERENCE_TIME now = Now();
    const struct {
        REFERENCE_TIME base, stream;
    } passed[] = {{1, 0}, {now, 0}, {now - 400000, 200000}, {1, now - 1}};
    for (const auto& p : passed) {
        DWORD_PTR cookie = 0;
        ASSERT_EQ(S_OK,
                  m_clock->AdviseTime(p.base, p.stream, reinterpret_cast<HEVENT>(event), &cookie));
        EXPECT_NE(0u, cookie);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0)) << p.base << " + " << p.stream;
        EXPECT_EQ(S_FALSE, m_clock->Unadvise(cookie));
    }
    CloseHandle(event);
}

// Advises come in any order while the thread sleeps until the earliest one
// (a later one added does not wake it, an earlier one does): every one fires,
// none before its time.
TEST_F(SystemClockTest, AdvisesFireInTheOrderOfTheirTimes)
{
    // Offsets from now in 100 ns, in the order they are added.
    const REFERENCE_TIME offsets[] = {600000, 200000, 1000000, 400000};
    constexpr size_t kCount = sizeof offsets / sizeof offsets[0];
    HANDLE events[kCount] = {};
    const REFERENCE_TIME base = Now();
    for (size_t i = 0; i < kCount; ++i) {
        events[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD_PTR cookie = 0;
        ASSERT_EQ(S_OK, m_clock->AdviseTime(base, offsets[i], reinterpret_cast<HEVENT>(events[i]),
                                            &cookie));
    }
    // Wait for them earliest first: each fires, none before its time.
    const size_t order[kCount] = {1, 3, 0, 2};
    for (size_t k = 0; k < kCount; ++k) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[order[k]], 10000)) << k;
        EXPECT_GE(Now(), base + offsets[order[k]]);
    }
    for (HANDLE e : events)
        CloseHandle(e);
}

TEST_F(SystemClockTest, AdvisePeriodicReleasesTheSemaphoreEachPeriod)
{
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1000, nullptr);
    DWORD_PTR cookie = 0;
    const REFERENCE_TIME period = 100000; // 10 ms
    const REFERENCE_TIME start = Now() + period;
    ASSERT_EQ(S_OK, m_clock->AdvisePeriodic(start, period, reinterpret_cast<HSEMAPHORE>(semaphore),
                                            &cookie));
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, 10000));
        // The i-th release comes no earlier than its due time.
        EXPECT_GE(Now(), start + i * period);
    }
    EXPECT_EQ(S_OK, m_clock->Unadvise(cookie));

    EXPECT_EQ(E_INVALIDARG,
              m_clock->AdvisePeriodic(start, 0, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
    EXPECT_EQ(E_INVALIDARG,
              m_clock->AdvisePeriodic(0, period, reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
    EXPECT_EQ(E_INVALIDARG, m_clock->AdvisePeriodic(start, period, 0, &cookie));
    EXPECT_EQ(E_POINTER, m_clock->AdvisePeriodic(start, period,
                                                 reinterpret_cast<HSEMAPHORE>(semaphore), nullptr));

    // A period beyond the clock's range releases once and never again (no
    // overflow).
    ASSERT_EQ(S_OK, m_clock->AdvisePeriodic(1, 0x7FFFFFFFFFFFFFF0LL,
                                            reinterpret_cast<HSEMAPHORE>(semaphore), &cookie));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(semaphore, 10000));
    CloseHandle(semaphore);
}

TEST_F(SystemClockTest, ManyAdvisesFromManyThreads)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> threads;
    std::atomic<int> fired{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            for (int i = 0; i < kEach; ++i) {
                DWORD_PTR cookie = 0;
                REFERENCE_TIME now = 0;
                m_clock->GetTime(&now);
                if (i % 2) {
                    // Withdrawn before it is due.
                    m_clock->AdviseTime(now, 100000000, reinterpret_cast<HEVENT>(event), &cookie);
                    EXPECT_EQ(S_OK, m_clock->Unadvise(cookie));
                } else {
                    m_clock->AdviseTime(now, 1000, reinterpret_cast<HEVENT>(event), &cookie);
                    if (WaitForSingleObject(event, 10000) == WAIT_OBJECT_0)
                        ++fired;
                }
            }
            CloseHandle(event);
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(kThreads * kEach / 2, fired.load());
}

// Released with advises pending: the advise thread ends with the clock.
TEST_F(SystemClockTest, ReleasedWithPendingAdvises)
{
    IReferenceClock* other = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IReferenceClock, reinterpret_cast<void**>(&other)));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD_PTR cookie = 0;
    ASSERT_EQ(S_OK, other->AdviseTime(Now(), 100000000, reinterpret_cast<HEVENT>(event), &cookie));
    EXPECT_EQ(0u, other->Release());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    CloseHandle(event);
}

// The threads of this process named tv-clock (the advise thread's name).
int ClockThreads()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        if (std::getline(comm, name) && name == "tv-clock")
            ++count;
    }
    closedir(dir);
    return count;
}

// The clocks of several graphs share one advise thread; each clock's cookies
// are its own, and releasing a clock withdraws only its own advises.
TEST_F(SystemClockTest, ClocksShareOneAdviseThread)
{
    constexpr int kClocks = 4;
    IReferenceClock* clocks[kClocks] = {};
    HANDLE events[kClocks] = {};
    DWORD_PTR cookies[kClocks] = {};
    const REFERENCE_TIME far = Now() + 100000000; // 10 s
    for (int i = 0; i < kClocks; ++i) {
        ASSERT_EQ(S_OK,
                  CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IReferenceClock, reinterpret_cast<void**>(&clocks[i])));
        events[i] = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(S_OK,
                  clocks[i]->AdviseTime(far, 0, reinterpret_cast<HEVENT>(events[i]), &cookies[i]));
    }
    EXPECT_EQ(1, ClockThreads());
    // Another clock's cookie is not this clock's to withdraw.
    EXPECT_EQ(S_FALSE, clocks[0]->Unadvise(cookies[1]));
    // Released with its advise pending: only its own goes.
    EXPECT_EQ(0u, clocks[1]->Release());
    clocks[1] = nullptr;
    EXPECT_EQ(S_OK, clocks[0]->Unadvise(cookies[0]));
    EXPECT_EQ(S_OK, clocks[2]->Unadvise(cookies[2]));
    // The thread serves the clocks that remain.
    DWORD_PTR soon = 0;
    ASSERT_EQ(S_OK,
              clocks[3]->AdviseTime(Now(), 100000, reinterpret_cast<HEVENT>(events[3]), &soon));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(events[3], 10000));
    EXPECT_EQ(S_OK, clocks[3]->Unadvise(cookies[3]));
    for (int i = 0; i < kClocks; ++i) {
        if (i != 3) {
            EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(events[i], 0)) << i;
        }
        if (clocks[i]) {
            EXPECT_EQ(0u, clocks[i]->Release());
        }
        CloseHandle(events[i]);
    }
    // The fixture's clock never advised: the last clock that did took the
    // thread with it.
    EXPECT_EQ(0, ClockThreads());
}

} // namespace
