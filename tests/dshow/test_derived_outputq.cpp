// COutputQueue: direct and threaded delivery, batching, stream events in
// order, flushing, failures and clean destruction.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "outputq.h"
#include "DerivedMocks.h"
#include "win32/sync.h"

using tvtest::LiveSamples;
using tvtest::MockInputPin;
using tvtest::MockSample;

namespace {

using Log = std::vector<std::string>;

class OutputQueueTest : public ::testing::Test {
protected:
    void SetUp() override { m_liveAtStart = LiveSamples().load(); }
    void TearDown() override
    {
        EXPECT_EQ(LiveSamples().load(), m_liveAtStart) << "samples leaked";
        EXPECT_EQ(pin.Refs(), 1u) << "the queue kept a reference to the pin";
    }

    std::unique_ptr<COutputQueue> Make(BOOL bAuto, BOOL bQueue, LONG batch = 1, BOOL exact = FALSE,
                                       bool flushingOpt = false)
    {
        HRESULT hr = S_OK;
        auto queue =
            std::make_unique<COutputQueue>(&pin, &hr, bAuto, bQueue, batch, exact, DEFAULTCACHE,
                                           THREAD_PRIORITY_NORMAL, flushingOpt);
        EXPECT_EQ(hr, S_OK);
        return queue;
    }

    MockInputPin pin;
    int m_liveAtStart = 0;
};

TEST_F(OutputQueueTest, AutoModeQueuesOnlyForPinsThatMayBlock)
{
    pin.receiveCanBlock = S_OK;
    EXPECT_TRUE(Make(TRUE, FALSE)->IsQueued());
    pin.receiveCanBlock = S_FALSE;
    EXPECT_FALSE(Make(TRUE, TRUE)->IsQueued());
    // Without bAuto, bQueue decides.
    EXPECT_TRUE(Make(FALSE, TRUE)->IsQueued());
    EXPECT_FALSE(Make(FALSE, FALSE)->IsQueued());
}

TEST_F(OutputQueueTest, ConstructionFailures)
{
    HRESULT hr = S_OK;
    {
        COutputQueue queue(nullptr, &hr);
        EXPECT_EQ(hr, E_POINTER);
    }

    // A pin without IMemInputPin.
    struct PlainPin : tvtest::StubPin {
        HRESULT QueryInterface(REFIID riid, void** ppv) override
        {
            *ppv = nullptr;
            if (riid == IID_IPin || riid == IID_IUnknown) {
                *ppv = this;
                return S_OK;
            }
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return ++refs; }
        ULONG Release() override { return --refs; }
        ULONG refs = 1;
    } plain;
    hr = S_OK;
    {
        COutputQueue queue(&plain, &hr);
        EXPECT_EQ(hr, E_NOINTERFACE);
        // Samples given to a queue without a pin are released, not lost.
        EXPECT_EQ(queue.Receive(new MockSample(1)), VFW_E_NOT_CONNECTED);
        queue.EOS();
    }
    EXPECT_EQ(plain.refs, 1u);
}

TEST_F(OutputQueueTest, DirectModeDeliversOnTheCallersThreadInOrder)
{
    auto queue = Make(FALSE, FALSE);
    EXPECT_EQ(queue->Receive(new MockSample(1)), S_OK);
    queue->NewSegment(10, 20, 1.5);
    EXPECT_EQ(queue->Receive(new MockSample(2)), S_OK);
    queue->EOS();
    EXPECT_EQ(pin.Log(), (Log{"S1", "NS10,20,150", "S2", "EOS"}));
    for (auto id : pin.ReceiveThreads())
        EXPECT_EQ(id, std::this_thread::get_id());
    EXPECT_TRUE(queue->IsIdle());
}

TEST_F(OutputQueueTest, DirectBatchesExactAndInexact)
{
    {
        // Exact: only full batches go, SendAnyway and EOS push the rest.
        auto queue = Make(FALSE, FALSE, 3, TRUE);
        for (int id = 1; id <= 4; ++id)
            queue->Receive(new MockSample(id));
        EXPECT_EQ(pin.BatchSizes(), (std::vector<int>{3}));
        EXPECT_FALSE(queue->IsIdle());
        queue->SendAnyway();
        EXPECT_EQ(pin.BatchSizes(), (std::vector<int>{3, 1}));
        queue->Receive(new MockSample(5));
        queue->EOS();
        EXPECT_EQ(pin.Log(), (Log{"S1", "S2", "S3", "S4", "S5", "EOS"}));
    }
    {
        // Inexact: a ReceiveMultiple call sends what it batched when it ends.
        MockInputPin other;
        HRESULT hr = S_OK;
        COutputQueue queue(&other, &hr, FALSE, FALSE, 3, FALSE);
        IMediaSample* samples[5];
        for (int i = 0; i < 5; ++i)
            samples[i] = new MockSample(10 + i);
        LONG taken = 0;
        EXPECT_EQ(queue.ReceiveMultiple(samples, 5, &taken), S_OK);
        EXPECT_EQ(taken, 5);
        EXPECT_EQ(other.BatchSizes(), (std::vector<int>{3, 2}));
        EXPECT_EQ(other.Log(), (Log{"S10", "S11", "S12", "S13", "S14"}));
    }
}

TEST_F(OutputQueueTest, ThreadedModeKeepsTheOrderOfSamplesAndEvents)
{
    auto queue = Make(FALSE, TRUE);
    Log expected;
    for (int id = 1; id <= 40; ++id) {
        EXPECT_EQ(queue->Receive(new MockSample(id)), S_OK);
        expected.push_back("S" + std::to_string(id));
        if (id % 10 == 0) {
            queue->NewSegment(id, id + 1, 1.0);
            expected.push_back("NS" + std::to_string(id) + "," + std::to_string(id + 1) + ",100");
        }
    }
    queue->EOS();
    expected.push_back("EOS");
    ASSERT_TRUE(pin.WaitForLog(expected.size()));
    EXPECT_EQ(pin.Log(), expected);
    for (auto id : pin.ReceiveThreads())
        EXPECT_NE(id, std::this_thread::get_id());
}

TEST_F(OutputQueueTest, ThreadedExactBatchesWaitForAFullBatch)
{
    auto queue = Make(FALSE, TRUE, 4, TRUE);
    for (int id = 1; id <= 10; ++id)
        queue->Receive(new MockSample(id));
    // Two full batches leave at once; the remaining two wait for the end.
    ASSERT_TRUE(pin.WaitForLog(8));
    queue->EOS();
    ASSERT_TRUE(pin.WaitForLog(11));
    EXPECT_EQ(pin.BatchSizes(), (std::vector<int>{4, 4, 2}));
    EXPECT_EQ(pin.Log().back(), "EOS");
}

TEST_F(OutputQueueTest, ThreadedInexactBatchesNeverExceedTheBatchSize)
{
    auto queue = Make(FALSE, TRUE, 3, FALSE);
    IMediaSample* samples[7];
    for (int i = 0; i < 7; ++i)
        samples[i] = new MockSample(i + 1);
    LONG taken = 0;
    EXPECT_EQ(queue->ReceiveMultiple(samples, 7, &taken), S_OK);
    EXPECT_EQ(taken, 7);
    ASSERT_TRUE(pin.WaitForLog(7));
    int total = 0;
    for (int size : pin.BatchSizes()) {
        EXPECT_GE(size, 1);
        EXPECT_LE(size, 3);
        total += size;
    }
    EXPECT_EQ(total, 7);
    EXPECT_EQ(pin.Log(), (Log{"S1", "S2", "S3", "S4", "S5", "S6", "S7"}));
}

TEST_F(OutputQueueTest, FailureStopsDeliveryUntilReset)
{
    for (BOOL threaded : {FALSE, TRUE}) {
        MockInputPin failing;
        failing.failFromId = 2;
        HRESULT hr = S_OK;
        COutputQueue queue(&failing, &hr, FALSE, threaded);
        queue.Receive(new MockSample(1));
        queue.Receive(new MockSample(2)); // refused downstream
        ASSERT_TRUE(failing.WaitForLog(2));
        queue.Reset(); // threaded: also waits for the queue to settle
        failing.failFromId = -1;
        EXPECT_EQ(queue.Receive(new MockSample(3)), S_OK);
        queue.EOS();
        ASSERT_TRUE(failing.WaitForLog(4));
        EXPECT_EQ(failing.Log(), (Log{"S1", "S2", "S3", "EOS"})) << "threaded " << threaded;
    }
}

TEST_F(OutputQueueTest, FailureIsReturnedAndLaterSamplesDropped)
{
    pin.failFromId = 1;
    auto queue = Make(FALSE, FALSE);
    EXPECT_EQ(queue->Receive(new MockSample(1)), E_FAIL);
    EXPECT_EQ(queue->Receive(new MockSample(2)), E_FAIL);
    EXPECT_EQ(pin.Log(), (Log{"S1"}));
}

TEST_F(OutputQueueTest, FlushUnblocksDownstreamAndDropsWhatWasQueued)
{
    pin.blockFirstReceive = true;
    auto queue = Make(FALSE, TRUE);
    queue->Receive(new MockSample(1));
    ASSERT_TRUE(pin.WaitUntilBlocked());
    for (int id = 2; id <= 6; ++id)
        queue->Receive(new MockSample(id));
    queue->EOS(); // cancelled by the flush

    // BeginFlush reaches the blocked pin from this thread, which lets the
    // queue thread go on; EndFlush returns once everything queued is gone.
    queue->BeginFlush();
    queue->EndFlush();
    // The sample in flight comes back refused; nothing queued is sent.
    EXPECT_EQ(pin.Log(), (Log{"BF", "F1", "EF"}));
    EXPECT_TRUE(queue->IsIdle());

    // Delivery goes on normally after the flush.
    queue->NewSegment(0, 100, 1.0);
    queue->Receive(new MockSample(7));
    queue->EOS();
    ASSERT_TRUE(pin.WaitForLog(6));
    EXPECT_EQ(pin.Log(), (Log{"BF", "F1", "EF", "NS0,100,100", "S7", "EOS"}));
}

TEST_F(OutputQueueTest, SamplesGivenDuringAFlushNeverArrive)
{
    for (bool flushingOpt : {false, true}) {
        for (BOOL threaded : {FALSE, TRUE}) {
            MockInputPin target;
            HRESULT hr = S_OK;
            COutputQueue queue(&target, &hr, FALSE, threaded, 1, FALSE, DEFAULTCACHE,
                               THREAD_PRIORITY_NORMAL, flushingOpt);
            queue.BeginFlush();
            const HRESULT received = queue.Receive(new MockSample(1));
            if (flushingOpt || !threaded) {
                EXPECT_EQ(received, S_FALSE);
            }
            queue.EndFlush();
            queue.Receive(new MockSample(2));
            queue.EOS();
            ASSERT_TRUE(target.WaitForLog(4));
            EXPECT_EQ(target.Log(), (Log{"BF", "EF", "S2", "EOS"}))
                << "flushingOpt " << flushingOpt << " threaded " << threaded;
        }
    }
}

TEST_F(OutputQueueTest, DirectFlushDropsAPartialBatch)
{
    auto queue = Make(FALSE, FALSE, 4, TRUE);
    queue->Receive(new MockSample(1));
    queue->Receive(new MockSample(2));
    queue->BeginFlush();
    queue->EndFlush();
    queue->EOS();
    EXPECT_EQ(pin.Log(), (Log{"BF", "EF", "EOS"}));
}

TEST_F(OutputQueueTest, PopEventIsSetAsSamplesLeaveTheQueue)
{
    HANDLE popped = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(popped, nullptr);
    {
        auto queue = Make(FALSE, TRUE);
        queue->SetPopEvent(popped);
        queue->Receive(new MockSample(1));
        EXPECT_EQ(WaitForSingleObject(popped, 10000), WAIT_OBJECT_0);
        ASSERT_TRUE(pin.WaitForLog(1));
    }
    CloseHandle(popped);
}

TEST_F(OutputQueueTest, DestructionReleasesQueuedSamples)
{
    pin.blockFirstReceive = true;
    auto queue = Make(FALSE, TRUE);
    queue->Receive(new MockSample(1));
    ASSERT_TRUE(pin.WaitUntilBlocked());
    for (int id = 2; id <= 20; ++id)
        queue->Receive(new MockSample(id));
    EXPECT_FALSE(queue->IsIdle());

    // The destructor waits for the delivery in progress; let it finish from
    // another thread once destruction has begun.
    std::thread unblocker([this] { pin.Unblock(); });
    queue.reset();
    unblocker.join();
    // Whatever was not delivered was released (checked in TearDown).
    const Log log = pin.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "S1");
    for (size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(log[i], "S" + std::to_string(i + 1));
}

} // namespace
