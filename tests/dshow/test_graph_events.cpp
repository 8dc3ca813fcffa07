// The graph manager's events: the queue and its handle, the notify window,
// EC_COMPLETE once every renderer finished, pass-through of other events.
#include <condition_variable>
#include <thread>

#include "GraphTestFilters.h"
#include "win32/window.h"

namespace {

class GraphEventsTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        OpenGraph();
        m_src = new CGraphTestFilter("src", &m_log, 0, 2);
        m_video = new CGraphTestRenderer("video", &m_log);
        m_audio = new CGraphTestRenderer("audio", &m_log);
        m_unused = new CGraphTestRenderer("unused", &m_log);
        m_graph->AddFilter(m_src, L"Source");
        m_graph->AddFilter(m_video, L"Render");
        m_graph->AddFilter(m_audio, L"DirectSound Device");
        m_graph->AddFilter(m_unused, L"Unused");
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_src->Output(0), m_video->Input(0), nullptr));
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_src->Output(1), m_audio->Input(0), nullptr));
    }
    void TearDown() override
    {
        CloseGraph();
        for (CGraphTestFilter* f :
             {m_src, static_cast<CGraphTestFilter*>(m_video),
              static_cast<CGraphTestFilter*>(m_audio), static_cast<CGraphTestFilter*>(m_unused)})
            f->Release();
        GraphTest::TearDown();
    }
    // The next event, or code 0 when none is waiting.
    LONG NextEvent(LONG_PTR* p1 = nullptr, LONG_PTR* p2 = nullptr)
    {
        return m_fg.NextEvent(0, p1, p2);
    }

    CGraphTestFilter* m_src = nullptr;
    CGraphTestRenderer* m_video = nullptr;
    CGraphTestRenderer* m_audio = nullptr;
    CGraphTestRenderer* m_unused = nullptr;
};

TEST_F(GraphEventsTest, QueueAndHandle)
{
    OAEVENT handle = 0;
    ASSERT_EQ(S_OK, m_events->GetEventHandle(&handle));
    const HANDLE event = reinterpret_cast<HANDLE>(handle);
    ASSERT_NE(nullptr, event);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));

    LONG code = -1;
    LONG_PTR p1 = -1;
    LONG_PTR p2 = -1;
    EXPECT_EQ(E_ABORT, m_events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(E_POINTER, m_events->GetEvent(nullptr, &p1, &p2, 0));

    // A filter reaches the sink through the graph pointer it was given.
    EXPECT_EQ(S_OK, m_src->SendEvent(EC_USER, 10011, 0));
    EXPECT_EQ(S_OK, m_src->SendEvent(EC_ERRORABORT, 10307, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(EC_USER, NextEvent(&p1, &p2));
    EXPECT_EQ(10011, p1);
    EXPECT_EQ(0, p2);
    // Still one waiting: the handle stays set.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(EC_ERRORABORT, NextEvent(&p1));
    EXPECT_EQ(10307, p1);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    EXPECT_EQ(0, NextEvent());

    // Waiting: an event sent meanwhile from another thread ends the wait.
    std::thread sender([&] {
        Sleep(20);
        m_video->SendEvent(EC_USER, 10001, 0);
    });
    EXPECT_EQ(S_OK, m_events->GetEvent(&code, &p1, &p2, 10000));
    sender.join();
    EXPECT_EQ(EC_USER, code);
    EXPECT_EQ(10001, p1);
    EXPECT_EQ(E_ABORT, m_events->GetEvent(&code, &p1, &p2, 30));
}

TEST_F(GraphEventsTest, NoNotifyDropsEvents)
{
    LONG flags = -1;
    EXPECT_EQ(S_OK, m_events->GetNotifyFlags(&flags));
    EXPECT_EQ(0, flags);
    m_src->SendEvent(EC_USER, 1, 0);
    EXPECT_EQ(E_INVALIDARG, m_events->SetNotifyFlags(2));
    EXPECT_EQ(S_OK, m_events->SetNotifyFlags(AM_MEDIAEVENT_NONOTIFY));
    EXPECT_EQ(S_OK, m_events->GetNotifyFlags(&flags));
    EXPECT_EQ(AM_MEDIAEVENT_NONOTIFY, flags);
    m_src->SendEvent(EC_USER, 2, 0);
    EXPECT_EQ(0, NextEvent());
    EXPECT_EQ(S_OK, m_events->SetNotifyFlags(0));
    m_src->SendEvent(EC_USER, 3, 0);
    LONG_PTR p1 = 0;
    EXPECT_EQ(EC_USER, NextEvent(&p1));
    EXPECT_EQ(3, p1);
}

// The window side of SetNotifyWindow: counts the messages it gets.
struct WindowCounter {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<UINT, LPARAM>> messages;

    static LRESULT Handler(HWND, UINT msg, WPARAM wParam, LPARAM lParam, void* user)
    {
        auto* self = static_cast<WindowCounter*>(user);
        EXPECT_EQ(0u, wParam);
        std::lock_guard<std::mutex> guard(self->lock);
        self->messages.emplace_back(msg, lParam);
        self->changed.notify_all();
        return 0;
    }
    // Waits (generously) until `count` messages came.
    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10),
                                [&] { return messages.size() >= count; });
    }
};

TEST_F(GraphEventsTest, NotifyWindowGetsAMessagePerEvent)
{
    HWND window = TvCreateVirtualWindow(320, 240);
    ASSERT_NE(nullptr, window);
    WindowCounter counter;
    ASSERT_TRUE(TvSetWindowMessageHandler(window, WindowCounter::Handler, &counter));

    // Events already waiting are announced at once.
    m_src->SendEvent(EC_USER, 10010, 0);
    EXPECT_EQ(S_OK, m_events->SetNotifyWindow(reinterpret_cast<OAHWND>(window), WM_USER + 2, 77));
    ASSERT_TRUE(counter.WaitFor(1));
    m_video->SendEvent(EC_USER, 10011, 0);
    m_audio->SendEvent(EC_ERRORABORT, E_FAIL, 0);
    ASSERT_TRUE(counter.WaitFor(3));
    {
        std::lock_guard<std::mutex> guard(counter.lock);
        for (const auto& m : counter.messages) {
            EXPECT_EQ(static_cast<UINT>(WM_USER + 2), m.first);
            EXPECT_EQ(77, m.second);
        }
    }
    EXPECT_EQ(EC_USER, NextEvent());
    EXPECT_EQ(EC_USER, NextEvent());
    EXPECT_EQ(EC_ERRORABORT, NextEvent());

    // No window, no message.
    EXPECT_EQ(S_OK, m_events->SetNotifyWindow(0, 0, 0));
    m_src->SendEvent(EC_USER, 1, 0);
    EXPECT_EQ(EC_USER, NextEvent());
    TvSetWindowMessageHandler(window, nullptr, nullptr);
    {
        std::lock_guard<std::mutex> guard(counter.lock);
        EXPECT_EQ(3u, counter.messages.size());
    }
    DestroyWindow(window);
}

TEST_F(GraphEventsTest, CompleteOnceEveryRendererFinished)
{
    ASSERT_EQ(S_OK, m_control->Run());
    // The unconnected renderer does not count, and does not end anything.
    m_unused->SendEvent(EC_COMPLETE, S_OK,
                        reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_unused)));
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    // Twice from the same renderer is still one.
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    EXPECT_EQ(0, NextEvent());
    m_audio->SendEvent(EC_COMPLETE, VFW_E_NO_AUDIO_HARDWARE,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_audio)));
    LONG_PTR p1 = 0;
    LONG_PTR p2 = -1;
    EXPECT_EQ(EC_COMPLETE, NextEvent(&p1, &p2));
    EXPECT_EQ(VFW_E_NO_AUDIO_HARDWARE, static_cast<HRESULT>(p1));
    EXPECT_EQ(0, p2);
    EXPECT_EQ(0, NextEvent());

    LONG code = 0;
    EXPECT_EQ(S_OK, m_events->WaitForCompletion(0, &code));
    EXPECT_EQ(EC_COMPLETE, code);

    // A new run counts afresh.
    m_control->Stop();
    EXPECT_EQ(VFW_E_WRONG_STATE, m_events->WaitForCompletion(0, &code));
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    m_control->Run();
    EXPECT_EQ(E_ABORT, m_events->WaitForCompletion(20, &code));
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    EXPECT_EQ(0, NextEvent());
    m_audio->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_audio)));
    EXPECT_EQ(EC_COMPLETE, NextEvent(&p1));
    EXPECT_EQ(S_OK, static_cast<HRESULT>(p1));
    m_control->Stop();

    // Without its audio renderer the graph waits for the video one only.
    m_graph->RemoveFilter(m_audio);
    m_control->Run();
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    EXPECT_EQ(EC_COMPLETE, NextEvent());
    m_control->Stop();
}

TEST_F(GraphEventsTest, CompleteWithoutDefaultHandling)
{
    EXPECT_EQ(E_INVALIDARG, m_events->CancelDefaultHandling(EC_USER));
    EXPECT_EQ(S_OK, m_events->CancelDefaultHandling(EC_COMPLETE));
    m_control->Run();
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    LONG_PTR p2 = 0;
    EXPECT_EQ(EC_COMPLETE, NextEvent(nullptr, &p2));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)), p2);
    EXPECT_EQ(S_OK, m_events->RestoreDefaultHandling(EC_COMPLETE));
    m_video->SendEvent(EC_COMPLETE, S_OK,
                       reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(m_video)));
    EXPECT_EQ(0, NextEvent());
    m_control->Stop();
}

TEST_F(GraphEventsTest, WaitForCompletionEndsWithTheGraph)
{
    m_control->Run();
    LONG code = -1;
    std::thread stopper([&] {
        Sleep(20);
        m_control->Stop();
    });
    EXPECT_EQ(VFW_E_WRONG_STATE, m_events->WaitForCompletion(-1, &code));
    stopper.join();
    EXPECT_EQ(0, code);

    m_control->Run();
    std::thread aborter([&] {
        Sleep(20);
        m_src->SendEvent(EC_ERRORABORT, E_FAIL, 0);
    });
    EXPECT_EQ(S_OK, m_events->WaitForCompletion(-1, &code));
    aborter.join();
    EXPECT_EQ(EC_ERRORABORT, code);
    // The event is still there for GetEvent.
    EXPECT_EQ(EC_ERRORABORT, NextEvent());
    m_control->Stop();
}

TEST_F(GraphEventsTest, EventsFromManyThreadsAllArrive)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                m_src->SendEvent(EC_USER, t, i);
        });
    }
    std::vector<int> next(kThreads, 0);
    int received = 0;
    while (received < kThreads * kEach) {
        LONG code = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        ASSERT_EQ(S_OK, m_events->GetEvent(&code, &p1, &p2, 10000));
        ASSERT_EQ(EC_USER, code);
        // Each sender's events keep their order.
        ASSERT_EQ(next[p1], p2);
        ++next[p1];
        ++received;
    }
    for (std::thread& s : senders)
        s.join();
    EXPECT_EQ(0, NextEvent());
}

} // namespace
