// CSource and CSourceStream: the streaming thread across state changes in
// every order, stopping while the thread waits for a buffer or for the sink,
// the end of the stream, errors, pin bookkeeping and the single media type.
#include <gtest/gtest.h>

#include <atomic>

#include "TestKit.h"

namespace {

CMediaType StreamType()
{
    return TvMakeVideoType(MEDIASUBTYPE_YUY2, 8, 4, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

class CCountingStream;

// A source with one pin (or more) that counts the thread's callbacks.
class CCountingSource : public CSource {
public:
    // oldStyle: allocate the pin array first and store the pin into it, as
    // older filters do.
    static CCountingSource* Create(int pins = 1, bool oldStyle = false);

    CCountingStream* Stream(int n = 0);
    IPin* Pin(int n = 0) { return GetPin(n); }

private:
    CCountingSource(int pins, bool oldStyle);
};

class CCountingStream : public CSourceStream {
public:
    CCountingStream(HRESULT* phr, CSource* filter, LPCWSTR name)
        : CSourceStream("counting stream", phr, filter, name)
    {
    }

    // Configuration.
    std::atomic<int> endAfter{-1}; // FillBuffer gives S_FALSE from this sample on
    std::atomic<HRESULT> createResult{S_OK};
    std::atomic<HRESULT> fillFailure{S_OK}; // returned by FillBuffer when not S_OK
    std::atomic<DWORD> fillSleepMs{0};      // paces a free-running stream

    // Observations.
    std::atomic<int> creates{0};
    std::atomic<int> destroys{0};
    std::atomic<int> startPlays{0};
    std::atomic<int> fills{0};
    std::atomic<int> loopsEntered{0};
    std::atomic<int> loopsLeft{0};
    std::atomic<HRESULT> lastLoopResult{E_FAIL};

    bool WaitForFills(int n) { return WaitFor(fills, n); }
    bool WaitForLoopsLeft(int n) { return WaitFor(loopsLeft, n); }

protected:
    static bool WaitFor(const std::atomic<int>& counter, int n)
    {
        for (int i = 0; i < 10000 && counter.load() < n; ++i)
            Sleep(1);
        return counter.load() >= n;
    }
    HRESULT DoBufferProcessingLoop() override
    {
        ++loopsEntered;
        const HRESULT hr = CSourceStream::DoBufferProcessingLoop();
        lastLoopResult = hr;
        ++loopsLeft;
        return hr;
    }
    HRESULT FillBuffer(IMediaSample* sample) override
    {
        if (fillSleepMs.load())
            Sleep(fillSleepMs.load());
        const int index = fills++;
        if (fillFailure.load() != S_OK)
            return fillFailure.load();
        if (endAfter.load() >= 0 && index >= endAfter.load())
            return S_FALSE;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        data[0] = static_cast<BYTE>(index);
        sample->SetActualDataLength(1);
        REFERENCE_TIME start = index * 400000LL;
        REFERENCE_TIME stop = start + 400000;
        sample->SetTime(&start, &stop);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override
    {
        request->cBuffers = 2;
        request->cbBuffer = 64;
        if (request->cbAlign < 1)
            request->cbAlign = 1;
        ALLOCATOR_PROPERTIES actual{};
        return allocator->SetProperties(request, &actual);
    }
    HRESULT GetMediaType(CMediaType* mt) override
    {
        *mt = StreamType();
        return S_OK;
    }
    using CSourceStream::GetMediaType;
    HRESULT OnThreadCreate() override
    {
        ++creates;
        return createResult.load();
    }
    HRESULT OnThreadDestroy() override
    {
        ++destroys;
        return S_OK;
    }
    HRESULT OnThreadStartPlay() override
    {
        ++startPlays;
        return S_OK;
    }
};

CCountingSource::CCountingSource(int pins, bool oldStyle)
    : CSource("counting source", nullptr, GUID_NULL)
{
    HRESULT hr = S_OK;
    if (oldStyle) {
        m_paStreams = new CSourceStream*[pins];
        for (int i = 0; i < pins; ++i)
            m_paStreams[i] = new CCountingStream(&hr, this, L"Out");
    } else {
        for (int i = 0; i < pins; ++i)
            new CCountingStream(&hr, this, L"Out");
    }
}

CCountingStream* CCountingSource::Stream(int n)
{
    return static_cast<CCountingStream*>(m_paStreams[n]);
}

CCountingSource* CCountingSource::Create(int pins, bool oldStyle)
{
    auto* filter = new CCountingSource(pins, oldStyle);
    filter->AddRef();
    return filter;
}

class SourceTest : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        source = CCountingSource::Create();
        sink = CTestSink::Create();
        graph = CTestGraph::Create();
        source->JoinFilterGraph(static_cast<IFilterGraph*>(graph), L"source");
    }
    void TearDown() override
    {
        sink->Stop();
        source->Stop();
        source->Pin()->Disconnect();
        sink->Input()->Disconnect();
        source->JoinFilterGraph(nullptr, nullptr);
        source->Release();
        sink->Release();
        graph->Release();
        TvLeakCheck::TearDown();
    }
    void Connect() { ASSERT_EQ(source->Pin()->Connect(sink->Input(), nullptr), S_OK); }
    CCountingStream& Stream() { return *source->Stream(); }

    CCountingSource* source = nullptr;
    CTestSink* sink = nullptr;
    CTestGraph* graph = nullptr;
};

TEST_F(SourceTest, PauseStartsTheThreadAndFillBufferEndsTheStream)
{
    Connect();
    Stream().endAfter = 3;
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream());
    const auto samples = sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(samples[i].start, i * 400000LL);
        EXPECT_EQ(samples[i].bytes[0], i);
    }
    EXPECT_EQ(Stream().creates.load(), 1);
    EXPECT_EQ(Stream().startPlays.load(), 1);
    // After the end the thread waits for requests; stopping ends it.
    ASSERT_EQ(source->Stop(), S_OK);
    EXPECT_FALSE(Stream().ThreadExists());
    EXPECT_EQ(Stream().destroys.load(), 1);
}

TEST_F(SourceTest, StateChangesInEveryOrder)
{
    Connect();
    Stream().fillSleepMs = 1;
    ASSERT_EQ(sink->Run(0), S_OK);
    struct Step {
        char op; // 's'top, 'p'ause, 'r'un
        bool threadAfter;
    };
    const std::vector<Step> steps = {
        {'p', true},  {'r', true}, {'p', true},  {'s', false}, {'r', true},  {'s', false},
        {'s', false}, {'p', true}, {'p', true},  {'s', false}, {'r', true},  {'r', true},
        {'p', true},  {'r', true}, {'s', false}, {'p', true},  {'s', false},
    };
    int threadsStarted = 0;
    bool running = false;
    for (size_t i = 0; i < steps.size(); ++i) {
        HRESULT hr = S_OK;
        if (steps[i].op == 's')
            hr = source->Stop();
        else if (steps[i].op == 'p')
            hr = source->Pause();
        else
            hr = source->Run(0);
        ASSERT_EQ(hr, S_OK) << "step " << i;
        if (steps[i].threadAfter && !running)
            ++threadsStarted;
        running = steps[i].threadAfter;
        EXPECT_EQ(Stream().ThreadExists() != FALSE, steps[i].threadAfter) << "step " << i;
        EXPECT_EQ(Stream().creates.load(), threadsStarted) << "step " << i;
        EXPECT_EQ(Stream().destroys.load(), threadsStarted - (running ? 1 : 0)) << "step " << i;
        if (running) {
            // The thread streams in this state.
            const int fills = Stream().fills.load();
            EXPECT_TRUE(Stream().WaitForFills(fills + 2)) << "step " << i;
        }
    }
}

TEST_F(SourceTest, StopWhileTheThreadWaitsForABuffer)
{
    // The sink keeps both buffers: the thread blocks in GetDeliveryBuffer.
    Connect();
    sink->SetHoldSamples(true);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_TRUE(sink->WaitForSamples(2));
    ASSERT_EQ(source->Stop(), S_OK);
    EXPECT_FALSE(Stream().ThreadExists());
    EXPECT_EQ(Stream().fills.load(), 2);
    sink->ReleaseHeldSamples();
    // And it starts again from there.
    ASSERT_EQ(source->Pause(), S_OK);
    EXPECT_TRUE(sink->WaitForSamples(4));
}

TEST_F(SourceTest, StopInGraphOrderWhileTheSinkBlocks)
{
    Connect();
    sink->SetBlockInReceive(true);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_TRUE(sink->WaitUntilBlocked());
    ASSERT_EQ(sink->Stop(), S_OK);
    ASSERT_EQ(source->Stop(), S_OK);
    EXPECT_FALSE(Stream().ThreadExists());
}

TEST_F(SourceTest, DownstreamRefusalEndsDeliveryUntilTheNextStart)
{
    Connect();
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_TRUE(sink->WaitForSamples(1));
    // A flush downstream: Deliver returns S_FALSE and the loop ends (S_OK,
    // not the S_FALSE of a stop request); the thread waits for requests.
    ASSERT_EQ(sink->Input()->BeginFlush(), S_OK);
    ASSERT_TRUE(Stream().WaitForLoopsLeft(1));
    EXPECT_EQ(Stream().lastLoopResult.load(), S_OK);
    EXPECT_EQ(Stream().loopsEntered.load(), 1);
    ASSERT_EQ(sink->Input()->EndFlush(), S_OK);

    // The owner restarts it with a request.
    const size_t before = sink->SampleCount();
    EXPECT_EQ(Stream().Pause(), S_OK);
    EXPECT_TRUE(sink->WaitForSamples(before + 1));
    EXPECT_EQ(Stream().startPlays.load(), 2);
    ASSERT_EQ(source->Stop(), S_OK);
    EXPECT_EQ(Stream().lastLoopResult.load(), S_FALSE);
    EXPECT_EQ(Stream().loopsLeft.load(), 2);
    EXPECT_FALSE(Stream().ThreadExists());
}

TEST_F(SourceTest, FillBufferFailureAbortsTheStream)
{
    Connect();
    Stream().fillFailure = E_OUTOFMEMORY;
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
    ASSERT_TRUE(graph->WaitForEvent(EC_ERRORABORT));
    ASSERT_TRUE(sink->WaitForEndOfStream());
    bool found = false;
    for (const auto& event : graph->Events()) {
        if (event.code == EC_ERRORABORT) {
            EXPECT_EQ(event.param1, E_OUTOFMEMORY);
            found = true;
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(sink->SampleCount(), 0u);
}

TEST_F(SourceTest, ThreadCreationFailureFailsThePause)
{
    Connect();
    Stream().createResult = E_ACCESSDENIED;
    EXPECT_EQ(source->Pause(), E_ACCESSDENIED);
    EXPECT_FALSE(Stream().ThreadExists());
    EXPECT_EQ(Stream().destroys.load(), 1);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(source->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    // It can be tried again.
    Stream().createResult = S_OK;
    EXPECT_EQ(source->Pause(), S_OK);
    EXPECT_TRUE(Stream().ThreadExists());
}

TEST_F(SourceTest, UnconnectedPinHasNoThread)
{
    EXPECT_EQ(source->Pause(), S_OK);
    EXPECT_EQ(source->Run(0), S_OK);
    EXPECT_FALSE(Stream().ThreadExists());
    EXPECT_EQ(Stream().creates.load(), 0);
    EXPECT_EQ(source->Stop(), S_OK);
}

TEST_F(SourceTest, CommandsBeforeInitAreRefused)
{
    Connect();
    ASSERT_TRUE(Stream().Create());
    EXPECT_EQ(Stream().Pause(), E_UNEXPECTED);
    EXPECT_EQ(Stream().Init(), S_OK);
    EXPECT_EQ(Stream().Stop(), S_OK);
    EXPECT_EQ(Stream().Exit(), S_OK);
    Stream().Close();
    EXPECT_EQ(Stream().creates.load(), 1);
    EXPECT_EQ(Stream().destroys.load(), 1);
}

TEST_F(SourceTest, SingleMediaTypeAndPinIds)
{
    CBasePin* pin = source->GetPin(0);
    CMediaType type;
    EXPECT_EQ(pin->GetMediaType(0, &type), S_OK);
    EXPECT_EQ(type, StreamType());
    EXPECT_EQ(pin->GetMediaType(1, &type), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(pin->GetMediaType(-1, &type), E_INVALIDARG);
    CMediaType same = StreamType();
    EXPECT_EQ(pin->CheckMediaType(&same), S_OK);
    CMediaType other = TvMakeVideoType(MEDIASUBTYPE_RGB32, 8, 4, 32, BI_RGB);
    EXPECT_EQ(pin->CheckMediaType(&other), E_FAIL);

    LPWSTR id = nullptr;
    ASSERT_EQ(source->Pin()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"1");
    CoTaskMemFree(id);
    IPin* found = nullptr;
    ASSERT_EQ(source->FindPin(L"1", &found), S_OK);
    EXPECT_EQ(found, source->Pin());
    found->Release();
    EXPECT_EQ(source->FindPin(L"2", &found), VFW_E_NOT_FOUND);
    EXPECT_EQ(source->FindPinNumber(source->Pin()), 0);
    EXPECT_EQ(source->FindPinNumber(sink->Input()), -1);
}

TEST(SourcePins, PinsRegisterThemselvesAndGoAway)
{
    const LONG objects = CBaseObject::ObjectsActive();
    for (bool oldStyle : {false, true}) {
        CCountingSource* source = CCountingSource::Create(3, oldStyle);
        EXPECT_EQ(source->GetPinCount(), 3);
        LPWSTR id = nullptr;
        ASSERT_EQ(source->Pin(2)->QueryId(&id), S_OK);
        EXPECT_STREQ(id, L"3");
        CoTaskMemFree(id);

        // A pin deleted on its own leaves the array.
        CCountingStream* middle = source->Stream(1);
        IPin* last = source->Pin(2);
        delete middle;
        EXPECT_EQ(source->GetPinCount(), 2);
        EXPECT_EQ(source->Pin(1), last);
        EXPECT_EQ(source->RemovePin(middle), S_FALSE);
        source->Release();
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects);
}

} // namespace
