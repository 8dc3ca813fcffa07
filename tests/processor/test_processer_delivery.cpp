// The delivery queue and its thread: durations by queue length, the clock
// reset by a late renderer, time control off, flushing, the end of the
// stream waiting for the queue, and stopping while a picture is being
// delivered.
#include "CProcesserDelivery.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

namespace {

struct Delivered {
    HRESULT timeResult;
    REFERENCE_TIME start, stop;
};

// Records what the delivery thread delivers; can hold it inside a delivery.
class RecordingTarget : public IProcesserDeliveryTarget {
public:
    HRESULT DeliverQueued(IMediaSample* sample) override
    {
        Delivered d{};
        d.timeResult = sample->GetTime(&d.start, &d.stop);
        std::unique_lock<std::mutex> lock(m_lock);
        m_inside = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_hold; });
        m_inside = false;
        m_delivered.push_back(d);
        m_changed.notify_all();
        return S_OK;
    }
    REFERENCE_TIME QueueStreamTime() override { return streamTime; }

    void Hold(bool hold)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_hold = hold;
        m_changed.notify_all();
    }
    bool WaitInside()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_inside; });
    }
    std::vector<Delivered> WaitFor(size_t n)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_delivered.size() >= n; });
        return m_delivered;
    }

    REFERENCE_TIME streamTime = 0;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_hold = false;
    bool m_inside = false;
    std::vector<Delivered> m_delivered;
};

class ProcesserDelivery : public ::testing::Test {
protected:
    void SetUp() override
    {
        HRESULT hr = S_OK;
        m_allocator = new CMemAllocator("test allocator", nullptr, &hr);
        m_allocator->AddRef();
        ALLOCATOR_PROPERTIES request{8, 16, 1, 0}, actual{};
        ASSERT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
        ASSERT_EQ(m_allocator->Commit(), S_OK);
    }
    void TearDown() override
    {
        m_allocator->Decommit();
        m_allocator->Release();
    }
    // Queues n pictures; the queue keeps its own references.
    void Queue(CProcesserDelivery& delivery, int n)
    {
        for (int i = 0; i < n; ++i) {
            IMediaSample* sample = nullptr;
            ASSERT_EQ(m_allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
            EXPECT_TRUE(delivery.Append(sample, nullptr));
            sample->Release();
        }
    }

    RecordingTarget target;
    CMemAllocator* m_allocator = nullptr;
};

TEST_F(ProcesserDelivery, DefaultDurationsByQueueLength)
{
    CProcesserDelivery delivery(&target, TimeControlSettings{}, nullptr);
    ASSERT_TRUE(delivery.Start());
    // The first picture is held inside its delivery while five more queue up;
    // they then leave with 5, 4, 3, 2 and 1 pictures queued.
    target.Hold(true);
    Queue(delivery, 1);
    ASSERT_TRUE(target.WaitInside());
    Queue(delivery, 5);
    target.Hold(false);
    const std::vector<Delivered> d = target.WaitFor(6);
    ASSERT_EQ(d.size(), 6u);
    const LONG expected[6] = {40, 20, 34, 37, 40, 40};
    REFERENCE_TIME start = 0;
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(d[i].timeResult, S_OK);
        EXPECT_EQ(d[i].start, start) << i;
        EXPECT_EQ(d[i].stop - d[i].start, expected[i] * 10000LL) << i;
        start = d[i].stop;
    }
    EXPECT_EQ(delivery.NextStart(), start);
}

TEST_F(ProcesserDelivery, LateQualityPullsTheClockToThePresent)
{
    CProcesserDelivery delivery(&target, TimeControlSettings{}, nullptr);
    delivery.SetInterval(33);
    ASSERT_TRUE(delivery.Start());
    Queue(delivery, 1);
    target.WaitFor(1);
    Quality q{Famine, 1000, 0, 0};
    delivery.OnQuality(q, 5000000); // not late: nothing moves
    EXPECT_EQ(delivery.NextStart(), 330000);
    q.Late = 20000;
    delivery.OnQuality(q, 5000000);
    EXPECT_EQ(delivery.NextStart(), 5000000 + 330000);
    Queue(delivery, 1);
    const std::vector<Delivered> d = target.WaitFor(2);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[1].start, 5330000);
    delivery.ResetClock();
    EXPECT_EQ(delivery.NextStart(), 0);
}

TEST_F(ProcesserDelivery, WithoutTimeControlPicturesLeaveUnstamped)
{
    TimeControlSettings off;
    off.enabled = false;
    CProcesserDelivery delivery(&target, off, nullptr);
    ASSERT_TRUE(delivery.Start());
    Queue(delivery, 3);
    const std::vector<Delivered> d = target.WaitFor(3);
    ASSERT_EQ(d.size(), 3u);
    for (const Delivered& x : d)
        EXPECT_EQ(x.timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
}

TEST_F(ProcesserDelivery, FlushEmptiesTheQueueAndRefusesUntilItEnds)
{
    CProcesserDelivery delivery(&target, TimeControlSettings{}, nullptr);
    ASSERT_TRUE(delivery.Start());
    target.Hold(true);
    Queue(delivery, 1);
    ASSERT_TRUE(target.WaitInside());
    Queue(delivery, 3);
    EXPECT_EQ(delivery.Queued(), 3);
    delivery.BeginFlush();
    EXPECT_EQ(delivery.Queued(), 0);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(m_allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    EXPECT_FALSE(delivery.Append(sample, nullptr));
    delivery.EndFlush();
    LONG queued = 0;
    EXPECT_TRUE(delivery.Append(sample, &queued));
    EXPECT_EQ(queued, 1);
    sample->Release();
    target.Hold(false);
    EXPECT_EQ(target.WaitFor(2).size(), 2u);
}

TEST_F(ProcesserDelivery, WaitWhileDeliveringReturnsOnceTheDeliveryEnds)
{
    CProcesserDelivery delivery(&target, TimeControlSettings{}, nullptr);
    ASSERT_TRUE(delivery.Start());
    target.Hold(true);
    Queue(delivery, 1);
    ASSERT_TRUE(target.WaitInside());
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        target.Hold(false);
    });
    delivery.WaitWhileDelivering();
    EXPECT_EQ(target.WaitFor(1).size(), 1u); // already there: the wait saw the end
    release.join();
}

TEST_F(ProcesserDelivery, EndOfStreamWaitsForTheQueueButNotForAFlush)
{
    CProcesserDelivery delivery(&target, TimeControlSettings{}, nullptr);
    ASSERT_TRUE(delivery.Start());
    target.Hold(true);
    Queue(delivery, 3);
    ASSERT_TRUE(target.WaitInside());
    auto waited = std::async(std::launch::async, [&] {
        delivery.WaitUntilDelivered();
        return target.WaitFor(0).size();
    });
    target.Hold(false);
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waited.get(), 3u); // all three were out before the wait ended

    // A flush ends the wait at once, with a delivery still under way.
    target.Hold(true);
    Queue(delivery, 2);
    ASSERT_TRUE(target.WaitInside());
    auto flushed = std::async(std::launch::async, [&] { delivery.WaitUntilDelivered(); });
    delivery.BeginFlush();
    EXPECT_EQ(flushed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    target.Hold(false);
    delivery.EndFlush();
}

TEST_F(ProcesserDelivery, ShutdownWakesTheIdleThreadAndDropsTheQueue)
{
    auto delivery = std::make_unique<CProcesserDelivery>(&target, TimeControlSettings{}, nullptr);
    ASSERT_TRUE(delivery->Start());
    target.Hold(true);
    Queue(*delivery, 1);
    ASSERT_TRUE(target.WaitInside());
    Queue(*delivery, 4);
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        target.Hold(false);
    });
    delivery->Shutdown(); // the delivery under way ends; the queued four are dropped
    release.join();
    EXPECT_EQ(delivery->Queued(), 0);
    delivery.reset();
    // Every buffer went back to the allocator.
    IMediaSample* samples[8];
    for (auto& s : samples)
        ASSERT_EQ(m_allocator->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    for (auto* s : samples)
        s->Release();
}

} // namespace
