// The video renderer as a filter: types, scheduling against the clock, cueing
// on pause, end of stream, flushing, statistics and quality messages, frame
// stepping, the window interfaces and the picture it keeps.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "RendererTest.h"
#include "TvPictures.h"
#include "win32/picture.h"
#include "win32/window.h"

namespace {

constexpr REFERENCE_TIME kMs = 10000;

class VideoRendererTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        WrapRenderer(CLSID_VideoRenderer, L"Render");
    }

    void TearDown() override
    {
        m_harness.reset();
        if (m_owner)
            DestroyWindow(m_owner);
        RendererTest::TearDown();
    }

    template <class T> T* Renderer(REFIID iid)
    {
        T* p = Query<T>(m_renderer, iid);
        EXPECT_NE(p, nullptr);
        return p;
    }
    int QualProp(HRESULT (IQualProp::*get)(int*))
    {
        IQualProp* q = Renderer<IQualProp>(IID_IQualProp);
        int v = -1;
        EXPECT_EQ((q->*get)(&v), S_OK);
        q->Release();
        return v;
    }

    HWND m_owner = nullptr;
};

} // namespace

// ---- The object ----

TEST_F(VideoRendererTest, OffersItsInterfacesUnderBothClassIds)
{
    CLSID clsid;
    ASSERT_EQ(m_renderer->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VideoRenderer);
    for (REFIID iid : {IID_IQualProp, IID_IVideoWindow, IID_IBasicVideo, IID_IVMRAspectRatioControl,
                       IID_IVideoFrameStep, IID_IOffscreenSnapshot, IID_IMediaSeeking,
                       IID_IMediaPosition, IID_IAMFilterMiscFlags}) {
        IUnknown* p = Query<IUnknown>(m_renderer, iid);
        EXPECT_NE(p, nullptr);
        if (p)
            p->Release();
    }
    IAMFilterMiscFlags* flags = Renderer<IAMFilterMiscFlags>(IID_IAMFilterMiscFlags);
    EXPECT_EQ(flags->GetMiscFlags(), ULONG(AM_FILTER_MISC_FLAGS_IS_RENDERER));
    flags->Release();
    EXPECT_EQ(Query<IBasicAudio>(m_renderer, IID_IBasicAudio), nullptr);

    LPWSTR id = nullptr;
    ASSERT_EQ(m_input->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Input");
    CoTaskMemFree(id);

    IBaseFilter* byDefault =
        CreateInstance<IBaseFilter>(CLSID_VideoRendererDefault, IID_IBaseFilter);
    ASSERT_NE(byDefault, nullptr);
    ASSERT_EQ(byDefault->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_VideoRendererDefault);
    byDefault->Release();
}

TEST_F(VideoRendererTest, TakesUncompressedVideoOnly)
{
    CMediaType yuy2 = TvMakeYuy2Type(64, 32);
    EXPECT_EQ(m_input->QueryAccept(&yuy2), S_OK);
    CMediaType rgb32 = TvMakeVideoType(MEDIASUBTYPE_RGB32, 64, 32, 32, BI_RGB);
    EXPECT_EQ(m_input->QueryAccept(&rgb32), S_OK);
    CMediaType rgb24 = TvMakeVideoType2(MEDIASUBTYPE_RGB24, 64, -32, 24, BI_RGB);
    EXPECT_EQ(m_input->QueryAccept(&rgb24), S_OK);
    CMediaType mjpg =
        TvMakeVideoType(MEDIASUBTYPE_MJPG, 64, 32, 24, MAKEFOURCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(m_input->QueryAccept(&mjpg), S_FALSE);
    CMediaType palette = TvMakeVideoType(MEDIASUBTYPE_RGB8, 64, 32, 8, BI_RGB);
    EXPECT_EQ(m_input->QueryAccept(&palette), S_FALSE);
    CMediaType empty = TvMakeYuy2Type(0, 32);
    EXPECT_EQ(m_input->QueryAccept(&empty), S_FALSE);
    CMediaType audio(&MEDIATYPE_Audio);
    EXPECT_EQ(m_input->QueryAccept(&audio), S_FALSE);
}

TEST_F(VideoRendererTest, WindowInterfacesNeedAConnection)
{
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    IBasicVideo* video = Renderer<IBasicVideo>(IID_IBasicVideo);
    IVideoFrameStep* step = Renderer<IVideoFrameStep>(IID_IVideoFrameStep);
    LONG w = 0, h = 0;
    EXPECT_EQ(window->put_Owner(0), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(window->SetWindowPosition(0, 0, 10, 10), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(video->GetVideoSize(&w, &h), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(step->CanStep(0, nullptr), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(step->Step(1, nullptr), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(video->GetVideoSize(nullptr, &h), E_POINTER);
    window->Release();
    video->Release();
    step->Release();
}

// ---- Rendering and the picture kept ----

TEST_F(VideoRendererTest, UntimedSamplesAreShownAtOnceAndKept)
{
    Connect(TvMakeYuy2Type(32, 16));
    ASSERT_EQ(Pause(), S_FALSE) << "no picture yet: the pause completes when one comes";
    ASSERT_EQ(Run(), S_OK);
    ASSERT_EQ(
        m_source->Deliver(Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kWhite; })),
        S_OK);

    Picture p = Snapshot(m_renderer);
    ASSERT_EQ(p.hr, S_OK);
    ASSERT_EQ(p.width, 32);
    ASSERT_EQ(p.height, 16);
    EXPECT_TRUE(PixelNear(p.At(3, 8), kRedRgb));
    EXPECT_TRUE(PixelNear(p.At(28, 8), kWhiteRgb));
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDrawn), 1);
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDroppedInRenderer), 0);

    // The picture stays after the stream stops.
    ASSERT_EQ(m_renderer->Stop(), S_OK);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(28, 8), kWhiteRgb));
    EXPECT_EQ(FramesPresented(m_renderer), 1);
}

TEST_F(VideoRendererTest, OtherPictureLayoutsConvertToo)
{
    // RGB32 bottom-up DIB: the first stored row is the picture's bottom.
    CMediaType rgb = TvMakeVideoType(MEDIASUBTYPE_RGB32, 8, 4, 32, BI_RGB);
    Connect(rgb);
    std::vector<uint8_t> dib(8 * 4 * 4, 0);
    for (int x = 0; x < 8; ++x) {
        dib[size_t(x) * 4 + 2] = 200;         // stored row 0: red (the bottom row)
        dib[size_t(3 * 8 + x) * 4 + 1] = 100; // stored row 3: green (the top row)
    }
    Run();
    ASSERT_EQ(m_source->Deliver(dib), S_OK);
    Picture p = Snapshot(m_renderer);
    EXPECT_TRUE(PixelNear(p.At(4, 0), Bgr{0, 100, 0}, 0));
    EXPECT_TRUE(PixelNear(p.At(4, 3), Bgr{0, 0, 200}, 0));
}

TEST_F(VideoRendererTest, ShortSamplesAreNotDrawn)
{
    Connect(TvMakeYuy2Type(32, 16));
    Run();
    std::vector<uint8_t> half = Yuy2Uniform(32, 8, kWhite);
    ASSERT_EQ(m_source->Deliver(half), S_OK);
    EXPECT_EQ(FramesPresented(m_renderer), 0);
}

TEST_F(VideoRendererTest, PauseCompletesWithTheFirstPictureAndShowsIt)
{
    Connect(TvMakeYuy2Type(16, 16));
    ASSERT_EQ(Pause(), S_FALSE);
    FILTER_STATE state;
    EXPECT_EQ(m_renderer->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, State_Paused);

    auto delivery = m_source->DeliverAsync(Yuy2Uniform(16, 16, kBlue));
    // The picture is held (the delivering thread waits) and shown.
    ASSERT_EQ(m_renderer->GetState(10000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(StillBlocked(delivery));
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kBlueRgb));
    EXPECT_EQ(m_renderer->Pause(), S_OK) << "already complete";

    ASSERT_EQ(Run(), S_OK);
    EXPECT_EQ(Result(delivery, E_FAIL), S_OK);
}

TEST_F(VideoRendererTest, TimedSamplesWaitForTheClock)
{
    Connect(TvMakeYuy2Type(16, 16));
    UseClock(1000 * kMs);
    Pause();
    ASSERT_EQ(Run(1000 * kMs), S_OK); // stream time 0 now

    auto first = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed), 0, 40 * kMs);
    EXPECT_EQ(Result(first, E_FAIL), S_OK);
    auto second = m_source->DeliverAsync(Yuy2Uniform(16, 16, kWhite), 100 * kMs, 140 * kMs);
    EXPECT_TRUE(StillBlocked(second)) << "due at stream time 100 ms";
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kRedRgb));
    m_clock->SetTime(1099 * kMs);
    EXPECT_TRUE(StillBlocked(second));
    m_clock->SetTime(1100 * kMs);
    EXPECT_EQ(Result(second, E_FAIL), S_OK);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kWhiteRgb));
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDrawn), 2);
    EXPECT_TRUE(m_source->QualityMessages().empty()) << "both were on time";
}

TEST_F(VideoRendererTest, PausingHoldsAScheduledPictureUntilRunAgain)
{
    Connect(TvMakeYuy2Type(16, 16));
    UseClock(0);
    Pause();
    Run(0);
    auto pending = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed), 50 * kMs, 90 * kMs);
    EXPECT_TRUE(StillBlocked(pending));
    ASSERT_EQ(m_renderer->Pause(), S_OK) << "a picture is held: the pause is complete";
    m_clock->SetTime(60 * kMs);
    EXPECT_TRUE(StillBlocked(pending)) << "paused: the time passing does not draw it";
    EXPECT_EQ(FramesPresented(m_renderer), 0)
        << "a picture from before the pause is not shown early";
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    EXPECT_EQ(Result(pending, E_FAIL), S_OK);
    EXPECT_EQ(FramesPresented(m_renderer), 1);
}

TEST_F(VideoRendererTest, StopAndFlushReleaseAWaitingSample)
{
    Connect(TvMakeYuy2Type(16, 16));
    UseClock(0);
    Pause();
    Run(0);
    auto waiting = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed), 500 * kMs, 540 * kMs);
    EXPECT_TRUE(StillBlocked(waiting));
    ASSERT_EQ(m_source->DeliverBeginFlush(), S_OK);
    EXPECT_EQ(Result(waiting, E_FAIL), S_FALSE) << "flushing cut the wait short";
    EXPECT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_FALSE) << "refused while flushing";
    ASSERT_EQ(m_source->DeliverEndFlush(), S_OK);
    EXPECT_EQ(FramesPresented(m_renderer), 0);

    auto again = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed), 500 * kMs, 540 * kMs);
    EXPECT_TRUE(StillBlocked(again));
    ASSERT_EQ(m_renderer->Stop(), S_OK);
    HRESULT hr = Result(again, E_FAIL);
    EXPECT_EQ(hr, VFW_E_WRONG_STATE);
    EXPECT_EQ(FramesPresented(m_renderer), 0);
}

TEST_F(VideoRendererTest, FlushWhilePausedNeedsANewPictureToPause)
{
    Connect(TvMakeYuy2Type(16, 16));
    Pause();
    auto held = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed));
    FILTER_STATE state;
    ASSERT_EQ(m_renderer->GetState(10000, &state), S_OK);
    m_source->DeliverBeginFlush();
    EXPECT_EQ(Result(held, E_FAIL), S_FALSE);
    m_source->DeliverEndFlush();
    EXPECT_EQ(m_renderer->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    auto next = m_source->DeliverAsync(Yuy2Uniform(16, 16, kWhite));
    EXPECT_EQ(m_renderer->GetState(10000, &state), S_OK);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(1, 1), kWhiteRgb));
    m_renderer->Stop();
    Result(next, E_FAIL);
}

TEST_F(VideoRendererTest, FlushBeforeAnyPictureReturns)
{
    // A seek while paused before the first picture came: the flush has no
    // Receive to wait for. Run on a detached thread so that a hang fails the
    // test instead of blocking it.
    Connect(TvMakeYuy2Type(16, 16));
    EXPECT_EQ(Pause(), S_FALSE);
    auto done = std::make_shared<std::promise<HRESULT>>();
    std::future<HRESULT> flushed = done->get_future();
    std::thread([source = m_source, done] {
        done->set_value(source->DeliverBeginFlush());
    }).detach();
    ASSERT_EQ(Result(flushed, E_FAIL), S_OK);
    ASSERT_EQ(m_source->DeliverEndFlush(), S_OK);
    auto next = m_source->DeliverAsync(Yuy2Uniform(16, 16, kWhite));
    FILTER_STATE state;
    EXPECT_EQ(m_renderer->GetState(10000, &state), S_OK);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(1, 1), kWhiteRgb));
    m_renderer->Stop();
    Result(next, E_FAIL);
}

// ---- End of stream ----

TEST_F(VideoRendererTest, EndOfStreamCompletesOnceRunningAndAfterTheLastPicture)
{
    Connect(TvMakeYuy2Type(16, 16));
    Pause();
    ASSERT_EQ(m_source->DeliverEndOfStream(), S_OK);
    FILTER_STATE state;
    EXPECT_EQ(m_renderer->GetState(0, &state), S_OK) << "end of stream completes a pause";
    EXPECT_TRUE(m_graph->EventsOf(EC_COMPLETE).empty()) << "not before the filter runs";
    EXPECT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), VFW_E_SAMPLE_REJECTED_EOS);

    Run();
    ASSERT_TRUE(m_graph->WaitForEvent(EC_COMPLETE));
    auto complete = m_graph->EventsOf(EC_COMPLETE);
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].param1, S_OK);
    EXPECT_EQ(complete[0].param2, reinterpret_cast<LONG_PTR>(m_renderer));

    // A new stream after a stop may end again.
    m_renderer->Stop();
    m_source->Stop();
    Pause();
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_OK);
    m_source->DeliverEndOfStream();
    for (int i = 0; i < 200 && m_graph->EventsOf(EC_COMPLETE).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(m_graph->EventsOf(EC_COMPLETE).size(), 2u);
}

TEST_F(VideoRendererTest, EndOfStreamWaitsForTheLastPictureToEnd)
{
    Connect(TvMakeYuy2Type(16, 16));
    UseClock(0);
    Pause();
    Run(0);
    // Drawn at 0, shown until 300 ms of stream time: the stream is complete then.
    REFERENCE_TIME start = 0, stop = 300 * kMs;
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed), &start, &stop), S_OK);
    m_source->DeliverEndOfStream();
    EXPECT_TRUE(m_graph->EventsOf(EC_COMPLETE).empty()) << "the last picture is still on screen";
    // The end-of-stream timer runs on real time from the clock's reading.
    EXPECT_TRUE(m_graph->WaitForEvent(EC_COMPLETE));
}

TEST_F(VideoRendererTest, AnUnconnectedRendererCompletesAsSoonAsItRuns)
{
    ASSERT_EQ(m_renderer->Pause(), S_OK) << "nothing to wait for";
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    EXPECT_EQ(m_graph->EventsOf(EC_COMPLETE).size(), 1u);
}

// ---- Statistics and quality ----

TEST_F(VideoRendererTest, LatePicturesAreReportedUpstreamAndDropped)
{
    Connect(TvMakeYuy2Type(16, 16));
    UseClock(0);
    Pause();
    Run(0);
    m_clock->SetTime(2000 * kMs); // everything below is far behind
    const int kFrames = 12;
    for (int i = 0; i < kFrames; ++i) {
        REFERENCE_TIME start = i * 40 * kMs, stop = start + 40 * kMs;
        ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kWhite), &start, &stop), S_OK);
    }
    int drawn = QualProp(&IQualProp::get_FramesDrawn);
    int dropped = QualProp(&IQualProp::get_FramesDroppedInRenderer);
    EXPECT_EQ(drawn + dropped, kFrames);
    // The first is drawn (nothing is on screen yet), then at most four in a row go.
    EXPECT_GE(drawn, 3);
    EXPECT_GE(dropped, 8);
    EXPECT_GT(QualProp(&IQualProp::get_AvgSyncOffset), 1500) << "ms late on average";

    std::vector<Quality> q = m_source->QualityMessages();
    ASSERT_EQ(q.size(), size_t(kFrames)) << "every late picture says so";
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(q[size_t(i)].TimeStamp, i * 40 * kMs);
        EXPECT_EQ(q[size_t(i)].Late, 2000 * kMs - i * 40 * kMs);
        EXPECT_EQ(q[size_t(i)].Type, Famine) << "drawing is fast: the pictures come late";
        EXPECT_EQ(q[size_t(i)].Proportion, 1000);
    }

    // On time again: one message says so, then silence.
    for (int i = 0; i < 3; ++i) {
        REFERENCE_TIME start = 2000 * kMs + i * kMs, stop = start + 40 * kMs;
        auto f = m_source->DeliverAsync(Yuy2Uniform(16, 16, kWhite), start, stop);
        m_clock->SetTime(start);
        EXPECT_EQ(Result(f, E_FAIL), S_OK);
    }
    q = m_source->QualityMessages();
    ASSERT_EQ(q.size(), size_t(kFrames + 1));
    EXPECT_LE(q.back().Late, 0);
    EXPECT_EQ(q.back().TimeStamp, 2000 * kMs);
}

TEST_F(VideoRendererTest, StatisticsCountAndResetOnANewRun)
{
    Connect(TvMakeYuy2Type(16, 16));
    Pause();
    Run();
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kWhite)), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDrawn), 5);
    EXPECT_GT(QualProp(&IQualProp::get_AvgFrameRate), 0);
    EXPECT_GE(QualProp(&IQualProp::get_Jitter), 0);
    EXPECT_EQ(QualProp(&IQualProp::get_AvgSyncOffset), 0) << "untimed pictures have no offset";

    IQualProp* q = Renderer<IQualProp>(IID_IQualProp);
    EXPECT_EQ(q->get_FramesDrawn(nullptr), E_POINTER);
    q->Release();

    m_renderer->Stop();
    m_source->Stop();
    Pause();
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDrawn), 0);
    EXPECT_EQ(QualProp(&IQualProp::get_AvgFrameRate), 0);
}

// ---- Frame stepping ----

TEST_F(VideoRendererTest, StepsThenHoldsAndReports)
{
    Connect(TvMakeYuy2Type(16, 16));
    IVideoFrameStep* step = Renderer<IVideoFrameStep>(IID_IVideoFrameStep);
    EXPECT_EQ(step->CanStep(0, nullptr), S_OK);
    EXPECT_EQ(step->CanStep(1, nullptr), S_OK);
    EXPECT_EQ(step->Step(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(step->Step(1, m_renderer), E_INVALIDARG);

    Pause();
    ASSERT_EQ(step->Step(2, nullptr), S_OK);
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_OK);
    EXPECT_TRUE(m_graph->EventsOf(EC_STEP_COMPLETE).empty());
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kWhite)), S_OK);
    auto done = m_graph->EventsOf(EC_STEP_COMPLETE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].param1, FALSE) << "completed, not cancelled";

    // The third picture waits: the graph would pause now.
    auto third = m_source->DeliverAsync(Yuy2Uniform(16, 16, kBlue));
    EXPECT_TRUE(StillBlocked(third));
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kWhiteRgb));
    // The graph pauses: the held picture completes the pause and is not shown.
    ASSERT_EQ(m_renderer->Pause(), S_OK);
    EXPECT_TRUE(StillBlocked(third));
    // One more step from the pause: the held picture counts and is drawn.
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    ASSERT_EQ(m_renderer->Run(0), S_OK);
    EXPECT_EQ(Result(third, E_FAIL), S_OK);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kBlueRgb));
    EXPECT_EQ(m_graph->EventsOf(EC_STEP_COMPLETE).size(), 2u);

    // Cancelling lets the stream go on.
    auto fourth = m_source->DeliverAsync(Yuy2Uniform(16, 16, kRed));
    EXPECT_TRUE(StillBlocked(fourth));
    EXPECT_EQ(step->CancelStep(), S_OK);
    EXPECT_EQ(Result(fourth, E_FAIL), S_OK);
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kWhite)), S_OK);
    EXPECT_EQ(QualProp(&IQualProp::get_FramesDrawn), 5);
    step->Release();
}

TEST_F(VideoRendererTest, APictureComingAfterAStepIsNotShownByThePause)
{
    Connect(TvMakeYuy2Type(16, 16));
    IVideoFrameStep* step = Renderer<IVideoFrameStep>(IID_IVideoFrameStep);
    Pause();
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_OK);
    ASSERT_EQ(m_graph->EventsOf(EC_STEP_COMPLETE).size(), 1u);
    ASSERT_EQ(m_renderer->Pause(), S_FALSE) << "the graph pauses; nothing is held yet";
    auto next = m_source->DeliverAsync(Yuy2Uniform(16, 16, kBlue));
    FILTER_STATE state;
    EXPECT_EQ(m_renderer->GetState(10000, &state), S_OK);
    EXPECT_TRUE(StillBlocked(next));
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kRedRgb)) << "still the stepped picture";
    step->Release();
    m_renderer->Stop();
    Result(next, E_FAIL);
}

// ---- Window, video and aspect ratio ----

TEST_F(VideoRendererTest, TheWindowTakesTheVideoSizeUntilPlaced)
{
    Connect(TvMakeYuy2Type(40, 20));
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    LONG l = -1, t = -1, w = -1, h = -1;
    ASSERT_EQ(window->GetWindowPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ(w, 40);
    EXPECT_EQ(h, 20);

    // What the player does after rendering (a virtual owner: drawn offscreen).
    m_owner = TvCreateVirtualWindow(120, 90);
    ASSERT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(m_owner)), S_OK);
    ASSERT_EQ(window->put_WindowStyle(0x46000000), S_OK);
    ASSERT_EQ(window->put_MessageDrain(reinterpret_cast<OAHWND>(m_owner)), S_OK);
    ASSERT_EQ(window->put_BorderColor(0), S_OK);
    ASSERT_EQ(window->SetWindowPosition(0, 0, 120, 90), S_OK);

    OAHWND owner = 0, drain = 0;
    LONG style = 0;
    EXPECT_EQ(window->get_Owner(&owner), S_OK);
    EXPECT_EQ(owner, reinterpret_cast<OAHWND>(m_owner));
    EXPECT_EQ(window->get_MessageDrain(&drain), S_OK);
    EXPECT_EQ(drain, reinterpret_cast<OAHWND>(m_owner));
    EXPECT_EQ(window->get_WindowStyle(&style), S_OK);
    EXPECT_EQ(style, 0x46000000);
    ASSERT_EQ(window->GetWindowPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 90);

    LONG width = 0, height = 0;
    BOOL onScreen = TRUE;
    IOffscreenSnapshot* snap = Renderer<IOffscreenSnapshot>(IID_IOffscreenSnapshot);
    EXPECT_EQ(snap->GetSurfaceInfo(&width, &height, nullptr, &onScreen), S_OK);
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 90);
    EXPECT_FALSE(onScreen) << "a virtual owner is drawn offscreen";
    snap->Release();
    window->Release();
}

TEST_F(VideoRendererTest, TheOwnerWindowOffersThePictureShownInIt)
{
    Connect(TvMakeYuy2Type(32, 16));
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    m_owner = TvCreateVirtualWindow(64, 32);
    ASSERT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(m_owner)), S_OK);
    ASSERT_EQ(window->SetWindowPosition(0, 0, 64, 32), S_OK);

    int w = 0, h = 0;
    uint64_t shown = 99;
    std::vector<BYTE> bgrx(64 * 32 * 4);
    EXPECT_FALSE(TvCopyWindowPicture(m_owner, bgrx.data(), bgrx.size(), &w, &h, &shown));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
    EXPECT_EQ(shown, 0u);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);

    Play();
    ASSERT_EQ(
        m_source->Deliver(Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kWhite; })),
        S_OK);
    ASSERT_TRUE(TvCopyWindowPicture(m_owner, bgrx.data(), bgrx.size(), &w, &h, &shown));
    EXPECT_EQ(shown, 1u);
    EXPECT_TRUE(PixelNear(&bgrx[(16 * 64 + 6) * 4], kRedRgb)) << "scaled to the window";
    EXPECT_TRUE(PixelNear(&bgrx[(16 * 64 + 58) * 4], kWhiteRgb));
    EXPECT_FALSE(TvCopyWindowPicture(m_owner, bgrx.data(), bgrx.size() - 1, &w, &h, &shown));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

    // A new owner takes the picture along; the old window no longer has one.
    HWND second = TvCreateVirtualWindow(64, 32);
    ASSERT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(second)), S_OK);
    EXPECT_FALSE(TvCopyWindowPicture(m_owner, nullptr, 0, &w, &h, &shown));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(TvCopyWindowPicture(second, nullptr, 0, &w, &h, &shown)) << "no buffer given";
    EXPECT_NE(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(w, 64);

    // Gone with the renderer.
    window->Release();
    m_harness.reset();
    EXPECT_FALSE(TvCopyWindowPicture(second, nullptr, 0, &w, &h, &shown));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    DestroyWindow(second);
}

TEST_F(VideoRendererTest, WindowPropertiesFollowTheRules)
{
    Connect(TvMakeYuy2Type(16, 16));
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    EXPECT_EQ(window->put_WindowStyle(0x40000000 | 0x08000000), E_INVALIDARG) << "WS_DISABLED";
    EXPECT_EQ(window->put_WindowStyle(0x00200000), E_INVALIDARG) << "WS_VSCROLL";
    EXPECT_EQ(window->SetWindowPosition(0, 0, -1, 10), E_INVALIDARG);
    EXPECT_EQ(window->put_Visible(5), E_INVALIDARG);
    EXPECT_EQ(window->put_FullScreenMode(2), E_INVALIDARG);

    LONG v = 0;
    EXPECT_EQ(window->get_Visible(&v), S_OK);
    EXPECT_EQ(v, OAFALSE) << "hidden until the graph pauses or runs";
    EXPECT_EQ(window->get_AutoShow(&v), S_OK);
    EXPECT_EQ(v, OATRUE);
    Pause();
    EXPECT_EQ(window->get_Visible(&v), S_OK);
    EXPECT_EQ(v, OATRUE) << "AutoShow";

    EXPECT_EQ(window->put_FullScreenMode(OATRUE), S_OK);
    EXPECT_EQ(window->get_FullScreenMode(&v), S_OK);
    EXPECT_EQ(v, OATRUE);
    EXPECT_EQ(window->put_FullScreenMode(OAFALSE), S_OK);
    EXPECT_EQ(window->get_FullScreenMode(&v), S_OK);
    EXPECT_EQ(v, OAFALSE);

    EXPECT_EQ(window->put_BorderColor(0x00123456), S_OK);
    EXPECT_EQ(window->get_BorderColor(&v), S_OK);
    EXPECT_EQ(v, 0x00123456);
    BSTR caption = nullptr;
    EXPECT_EQ(window->put_Caption(const_cast<BSTR>(L"Tarvo")), S_OK);
    EXPECT_EQ(window->get_Caption(&caption), E_NOTIMPL);
    EXPECT_EQ(caption, nullptr);
    window->Release();
}

TEST_F(VideoRendererTest, SourceRectangleCropsAndIsChecked)
{
    Connect(TvMakeYuy2Type(32, 16));
    IBasicVideo* video = Renderer<IBasicVideo>(IID_IBasicVideo);
    LONG w = 0, h = 0;
    ASSERT_EQ(video->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 16);
    REFTIME perFrame = 0;
    EXPECT_EQ(video->get_AvgTimePerFrame(&perFrame), S_OK);
    EXPECT_DOUBLE_EQ(perFrame, 0.04);
    EXPECT_EQ(video->IsUsingDefaultSource(), S_OK);
    EXPECT_EQ(video->SetSourcePosition(16, 0, 17, 16), E_INVALIDARG) << "past the right edge";
    EXPECT_EQ(video->SetSourcePosition(-1, 0, 8, 8), E_INVALIDARG);
    EXPECT_EQ(video->SetSourcePosition(0, 0, 0, 8), E_INVALIDARG);
    ASSERT_EQ(video->SetSourcePosition(16, 0, 16, 16), S_OK);
    EXPECT_EQ(video->IsUsingDefaultSource(), S_FALSE);
    LONG left = 0;
    EXPECT_EQ(video->get_SourceLeft(&left), S_OK);
    EXPECT_EQ(left, 16);
    EXPECT_EQ(video->put_SourceLeft(17), E_INVALIDARG) << "would reach past the edge";

    IVMRAspectRatioControl* ar = Renderer<IVMRAspectRatioControl>(IID_IVMRAspectRatioControl);
    ar->SetAspectRatioMode(VMR_ARMODE_NONE);
    Pause();
    Run();
    // Left half red, right half white: only the white half is shown, over the whole window.
    ASSERT_EQ(
        m_source->Deliver(Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kWhite; })),
        S_OK);
    Picture p = Snapshot(m_renderer);
    EXPECT_TRUE(PixelNear(p.At(0, 8), kWhiteRgb, 8));
    EXPECT_TRUE(PixelNear(p.At(31, 8), kWhiteRgb, 8));
    ar->Release();
    video->Release();
}

TEST_F(VideoRendererTest, LetterBoxByDefaultStretchOnRequest)
{
    Connect(TvMakeYuy2Type(32, 16));
    IVMRAspectRatioControl* ar = Renderer<IVMRAspectRatioControl>(IID_IVMRAspectRatioControl);
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    DWORD mode = 99;
    ASSERT_EQ(ar->GetAspectRatioMode(&mode), S_OK);
    EXPECT_EQ(mode, DWORD(VMR_ARMODE_LETTER_BOX));
    EXPECT_EQ(ar->SetAspectRatioMode(7), E_INVALIDARG);
    ASSERT_EQ(window->SetWindowPosition(0, 0, 64, 64), S_OK);
    ASSERT_EQ(window->put_BorderColor(0x0000ff00), S_OK); // green
    Pause();
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(32, 16, kWhite)), S_OK);
    Picture p = Snapshot(m_renderer);
    EXPECT_TRUE(PixelNear(p.At(32, 2), Bgr{0, 255, 0}, 0)) << "band above the 2:1 picture";
    EXPECT_TRUE(PixelNear(p.At(32, 32), kWhiteRgb));

    // Stretching redraws the picture kept, without a new frame.
    ASSERT_EQ(ar->SetAspectRatioMode(VMR_ARMODE_NONE), S_OK);
    p = Snapshot(m_renderer);
    EXPECT_TRUE(PixelNear(p.At(32, 2), kWhiteRgb, 8));
    EXPECT_TRUE(PixelNear(p.At(63, 63), kWhiteRgb, 8));
    ar->Release();
    window->Release();
}

TEST_F(VideoRendererTest, DestinationRectanglePlacesThePicture)
{
    Connect(TvMakeYuy2Type(16, 16));
    IBasicVideo* video = Renderer<IBasicVideo>(IID_IBasicVideo);
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    ASSERT_EQ(window->SetWindowPosition(0, 0, 64, 32), S_OK);
    EXPECT_EQ(video->SetDestinationPosition(0, 0, 0, 10), E_INVALIDARG);
    ASSERT_EQ(video->SetDestinationPosition(32, 0, 32, 32), S_OK);
    EXPECT_EQ(video->IsUsingDefaultDestination(), S_FALSE);
    LONG l, t, w, h;
    ASSERT_EQ(video->GetDestinationPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ(l, 32);
    EXPECT_EQ(w, 32);
    Pause();
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_OK);
    Picture p = Snapshot(m_renderer);
    EXPECT_TRUE(PixelNear(p.At(48, 16), kRedRgb));
    EXPECT_TRUE(PixelNear(p.At(8, 16), kBlackRgb, 0)) << "border";
    ASSERT_EQ(video->SetDefaultDestinationPosition(), S_OK);
    ASSERT_EQ(video->GetDestinationPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 32);
    video->Release();
    window->Release();
}

TEST_F(VideoRendererTest, CurrentImageWhilePaused)
{
    Connect(TvMakeYuy2Type(8, 4));
    IBasicVideo* video = Renderer<IBasicVideo>(IID_IBasicVideo);
    LONG size = 0;
    EXPECT_EQ(video->GetCurrentImage(&size, nullptr), VFW_E_NOT_PAUSED);
    Pause();
    std::vector<uint8_t> picture = Yuy2Uniform(8, 4, kRed);
    auto held = m_source->DeliverAsync(picture);
    FILTER_STATE state;
    ASSERT_EQ(m_renderer->GetState(10000, &state), S_OK);
    ASSERT_EQ(video->GetCurrentImage(&size, nullptr), S_OK);
    ASSERT_EQ(size, LONG(sizeof(BITMAPINFOHEADER) + picture.size()));
    std::vector<LONG> image(size_t(size + 3) / 4);
    LONG small = size - 1;
    EXPECT_EQ(video->GetCurrentImage(&small, image.data()), E_OUTOFMEMORY);
    ASSERT_EQ(video->GetCurrentImage(&size, image.data()), S_OK);
    BITMAPINFOHEADER bih;
    std::memcpy(&bih, image.data(), sizeof(bih));
    EXPECT_EQ(bih.biWidth, 8);
    EXPECT_EQ(bih.biCompression, DWORD(MAKEFOURCC('Y', 'U', 'Y', '2')));
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(image.data()) + sizeof(bih), picture.data(),
                          picture.size()),
              0);
    m_renderer->Stop();
    Result(held, E_FAIL);
    video->Release();
}

TEST_F(VideoRendererTest, APictureOfANewSizeChangesTheVideoSize)
{
    Connect(TvMakeYuy2Type(16, 16));
    Pause();
    Run();
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(16, 16, kRed)), S_OK);
    CMediaType bigger = TvMakeYuy2Type(32, 8);
    ASSERT_EQ(m_source->Deliver(Yuy2Uniform(32, 8, kWhite), nullptr, nullptr, &bigger), S_OK);
    auto changed = m_graph->EventsOf(EC_VIDEO_SIZE_CHANGED);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0].param1, MAKELONG(32, 8));
    IBasicVideo* video = Renderer<IBasicVideo>(IID_IBasicVideo);
    LONG w = 0, h = 0;
    ASSERT_EQ(video->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 8);
    video->Release();
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kWhiteRgb, 6));
}

// ---- X11 (needs a display: the test command runs Xvfb) ----

namespace {

class XOwner {
public:
    XOwner(int width, int height)
    {
        m_conn = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        m_window = xcb_generate_id(m_conn);
        // Backing store keeps the window's own pixels for Pixel while a window
        // of another test program (the suite runs in parallel on one display)
        // lies over it; GetImage would read that one's otherwise.
        uint32_t values[2] = {screen->black_pixel, XCB_BACKING_STORE_ALWAYS};
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0,
                          uint16_t(width), uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_BACKING_STORE, values);
        xcb_map_window(m_conn, m_window);
        Sync();
    }
    ~XOwner()
    {
        xcb_destroy_window(m_conn, m_window);
        Sync();
        xcb_disconnect(m_conn);
    }
    void Sync()
    {
        std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
    }
    OAHWND Handle() const { return OAHWND(m_window); }
    // The owner's pixel at (x, y) as the server has it: B, G, R.
    bool Pixel(int x, int y, uint8_t bgr[3])
    {
        Sync();
        xcb_get_image_reply_t* image =
            xcb_get_image_reply(m_conn,
                                xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window,
                                              int16_t(x), int16_t(y), 1, 1, ~0u),
                                nullptr);
        bool ok = image && image->depth >= 24 && xcb_get_image_data_length(image) >= 4;
        if (ok)
            std::copy_n(xcb_get_image_data(image), 3, bgr);
        std::free(image);
        return ok;
    }

private:
    xcb_connection_t* m_conn;
    uint32_t m_window;
};

} // namespace

TEST_F(VideoRendererTest, DrawsIntoAnX11ChildOfItsOwner)
{
    if (!TvGetX11Display())
        GTEST_SKIP() << "no X display";
    XOwner owner(160, 120);
    Connect(TvMakeYuy2Type(32, 16));
    IVideoWindow* window = Renderer<IVideoWindow>(IID_IVideoWindow);
    ASSERT_EQ(window->put_Owner(owner.Handle()), S_OK);
    ASSERT_EQ(window->put_WindowStyle(0x46000000), S_OK);
    ASSERT_EQ(window->SetWindowPosition(10, 20, 128, 64), S_OK);
    BOOL onScreen = FALSE;
    IOffscreenSnapshot* snap = Renderer<IOffscreenSnapshot>(IID_IOffscreenSnapshot);
    snap->GetSurfaceInfo(nullptr, nullptr, nullptr, &onScreen);
    EXPECT_TRUE(onScreen);
    snap->Release();

    Pause();
    Run();
    ASSERT_EQ(
        m_source->Deliver(Yuy2Picture(32, 16, [](int x, int) { return x < 16 ? kRed : kBlue; })),
        S_OK);
    // The snapshot returns once the picture is on screen.
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(120, 32), kBlueRgb, 8));
    uint8_t bgr[3];
    ASSERT_TRUE(owner.Pixel(10 + 10, 20 + 32, bgr));
    EXPECT_TRUE(PixelNear(bgr, kRedRgb, 8));
    ASSERT_TRUE(owner.Pixel(10 + 120, 20 + 32, bgr));
    EXPECT_TRUE(PixelNear(bgr, kBlueRgb, 8));
    ASSERT_TRUE(owner.Pixel(5, 5, bgr));
    EXPECT_TRUE(PixelNear(bgr, kBlackRgb, 0)) << "outside the video window: the owner";

    // Hiding the window uncovers the owner.
    ASSERT_EQ(window->put_Visible(OAFALSE), S_OK);
    ASSERT_TRUE(owner.Pixel(10 + 120, 20 + 32, bgr));
    EXPECT_TRUE(PixelNear(bgr, kBlackRgb, 0));
    window->Release();
}
