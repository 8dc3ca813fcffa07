// CAMThread's request protocol, CAMEvent and CCritSec.
#include <atomic>
#include <thread>

#include "TestKit.h"

namespace {

// A worker that answers each request with request * 2 until it gets 0; with
// m_polling set it polls with CheckRequest instead of blocking.
class CDoubler : public CAMThread {
public:
    ~CDoubler() override
    {
        if (ThreadExists())
            CallWorker(0);
        Close();
    }
    DWORD ThreadProc() override
    {
        for (;;) {
            DWORD request = 0;
            if (m_polling) {
                while (!CheckRequest(&request))
                    ++m_polls;
            } else {
                request = GetRequest();
            }
            EXPECT_EQ(GetRequestParam(), request);
            Reply(request * 2);
            if (request == 0)
                return 7;
        }
    }
    std::atomic<bool> m_polling{false};
    std::atomic<long> m_polls{0};
};

TEST(CoreThread, RequestsAreAnsweredInTurn)
{
    CDoubler worker;
    EXPECT_FALSE(worker.ThreadExists());
    EXPECT_EQ(worker.CallWorker(4), (DWORD)E_FAIL); // no thread yet
    ASSERT_TRUE(worker.Create());
    EXPECT_FALSE(worker.Create()); // already running
    EXPECT_TRUE(worker.ThreadExists());
    EXPECT_EQ(worker.CallWorker(21), 42u);
    EXPECT_EQ(worker.CallWorker(5), 10u);

    // Several clients are served one at a time, each getting its own answer.
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (DWORD c = 1; c <= 4; ++c) {
        clients.emplace_back([&worker, &wrong, c] {
            for (DWORD i = 0; i < 50; ++i) {
                const DWORD request = c * 1000 + i;
                if (worker.CallWorker(request) != request * 2)
                    ++wrong;
            }
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(wrong.load(), 0);

    EXPECT_EQ(worker.CallWorker(0), 0u);
    worker.Close();
    EXPECT_FALSE(worker.ThreadExists());
}

TEST(CoreThread, CheckRequestNeverBlocks)
{
    CDoubler worker;
    worker.m_polling = true;
    ASSERT_TRUE(worker.Create());
    // The worker keeps polling while nothing is asked of it.
    while (worker.m_polls.load() < 3)
        std::this_thread::yield();
    EXPECT_EQ(worker.CallWorker(3), 6u);
    EXPECT_EQ(worker.CallWorker(0), 0u);
}

// A worker that first looks at a request with CheckRequest and then fetches it
// with GetRequest, as streaming loops do when they leave for the outer loop.
class CPeeker : public CAMThread {
public:
    ~CPeeker() override
    {
        if (ThreadExists())
            CallWorker(0);
        Close();
    }
    DWORD ThreadProc() override
    {
        for (;;) {
            DWORD peeked = 0;
            while (!CheckRequest(&peeked))
                Sleep(1);
            const DWORD request = GetRequest();
            Reply(request == peeked ? request + 100 : 1);
            if (request == 0)
                return 0;
        }
    }
};

TEST(CoreThread, CheckRequestLeavesTheRequestForGetRequest)
{
    CPeeker worker;
    ASSERT_TRUE(worker.Create());
    EXPECT_EQ(worker.CallWorker(5), 105u);
    EXPECT_EQ(worker.CallWorker(6), 106u);
    EXPECT_EQ(worker.CallWorker(0), 100u);
}

// A worker that ends without answering its request.
class CQuitter : public CAMThread {
public:
    ~CQuitter() override { Close(); }
    DWORD ThreadProc() override
    {
        GetRequest();
        return 1;
    }
};

TEST(CoreThread, AWorkerThatEndsWithoutReplyingDoesNotHangTheCaller)
{
    CQuitter worker;
    ASSERT_TRUE(worker.Create());
    EXPECT_EQ(worker.CallWorker(9), (DWORD)E_FAIL);
    worker.Close();
    // A new thread can be started on the same object afterwards.
    ASSERT_TRUE(worker.Create());
    EXPECT_EQ(worker.CallWorker(1), (DWORD)E_FAIL);
}

TEST(CoreThread, EventsAndLocks)
{
    CAMEvent autoReset;
    EXPECT_NE((HANDLE)autoReset, nullptr);
    EXPECT_FALSE(autoReset.Check());
    autoReset.Set();
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Check()); // consumed

    CAMManualEvent manual;
    manual.Set();
    EXPECT_TRUE(manual.Check());
    EXPECT_TRUE(manual.Check()); // stays set
    manual.Reset();
    EXPECT_FALSE(manual.Check());

    CCritSec lock;
    EXPECT_FALSE(CritCheckIn(&lock));
    {
        CAutoLock outer(&lock);
        CAutoLock inner(&lock); // recursive
        EXPECT_TRUE(CritCheckIn(&lock));
        bool otherGotIt = true;
        std::thread other([&] { otherGotIt = CritCheckIn(&lock); });
        other.join();
        EXPECT_FALSE(otherGotIt);
    }
    EXPECT_TRUE(CritCheckOut(&lock));
}

} // namespace
