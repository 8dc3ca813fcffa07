// CTransformFilter between a test source and a test sink: connection order,
// what the output sample inherits from the input, dropped samples, stream
// events, state changes and stopping while a sample is stuck.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <set>

#include "TestKit.h"

namespace {

// Inverts every byte of the input into the output (so a test sees that the
// transform ran), drops the samples whose index is in dropIndices (S_FALSE)
// and fails the one at failIndex. The kit's frame gives it its connection
// rules and its allocator (outputBuffers buffers of 4096 bytes).
class CTestTransform : public CTestVideoTransform {
public:
    static CTestTransform* Create()
    {
        auto* filter = new CTestTransform();
        filter->AddRef();
        return filter;
    }

    // Configuration (before streaming).
    std::set<int> dropIndices;
    int failIndex = -1;
    HRESULT startResult = S_OK;
    HRESULT qualityResult = S_FALSE;

    // Observations.
    std::atomic<int> transforms{0};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> receivesEntered{0};
    std::vector<PIN_DIRECTION> typesSet;
    std::vector<Quality> qualities;
    // What the last output sample carried when Transform got it.
    HRESULT outMediaTimeResult = E_FAIL;
    LONGLONG outMediaStart = 0;
    LONGLONG outMediaStop = 0;
    DWORD outTypeSpecificFlags = 0;
    DWORD outSampleFlags = 0;

    IPin* Input() { return GetPin(0); }
    IPin* Output() { return GetPin(1); }

    HRESULT Receive(IMediaSample* sample) override
    {
        ++receivesEntered;
        return CTransformFilter::Receive(sample);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        outMediaTimeResult = out->GetMediaTime(&outMediaStart, &outMediaStop);
        IMediaSample2* out2 = nullptr;
        if (SUCCEEDED(out->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&out2)))) {
            AM_SAMPLE2_PROPERTIES props{};
            out2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
            outTypeSpecificFlags = props.dwTypeSpecificFlags;
            outSampleFlags = props.dwSampleFlags;
            out2->Release();
        }
        const int index = transforms++;
        if (index == failIndex)
            return E_FAIL;
        if (dropIndices.count(index))
            return S_FALSE;
        BYTE* src = nullptr;
        BYTE* dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const LONG length = in->GetActualDataLength();
        for (LONG i = 0; i < length; ++i)
            dst[i] = static_cast<BYTE>(~src[i]);
        out->SetActualDataLength(length);
        return S_OK;
    }
    HRESULT StartStreaming() override
    {
        ++starts;
        return startResult;
    }
    HRESULT StopStreaming() override
    {
        ++stops;
        return S_OK;
    }
    HRESULT AlterQuality(Quality q) override
    {
        qualities.push_back(q);
        return qualityResult;
    }
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType*) override
    {
        typesSet.push_back(direction);
        return S_OK;
    }

private:
    CTestTransform() : CTestVideoTransform("test transform") {}
};

CMediaType VideoType()
{
    return TvMakeVideoType(MEDIASUBTYPE_RGB32, 16, 16, 32, BI_RGB);
}

class TransformTest : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        source = CTestPushSource::Create({VideoType()});
        transform = CTestTransform::Create();
        sink = CTestSink::Create();
        graph = CTestGraph::Create();
        ASSERT_TRUE(source && transform && sink && graph);
        transform->JoinFilterGraph(static_cast<IFilterGraph*>(graph), L"transform");
    }
    void TearDown() override
    {
        StopAll();
        source->Output()->Disconnect();
        transform->Input()->Disconnect();
        transform->Output()->Disconnect();
        sink->Input()->Disconnect();
        transform->JoinFilterGraph(nullptr, nullptr);
        source->Release();
        transform->Release();
        sink->Release();
        graph->Release();
        TvLeakCheck::TearDown();
    }

    void Connect()
    {
        ASSERT_EQ(source->Output()->Connect(transform->Input(), nullptr), S_OK);
        ASSERT_EQ(transform->Output()->Connect(sink->Input(), nullptr), S_OK);
    }
    // Downstream first, as the graph manager orders a pause or a stop.
    HRESULT PauseAll()
    {
        HRESULT hr = sink->Pause();
        if (SUCCEEDED(hr))
            hr = transform->Pause();
        if (SUCCEEDED(hr))
            hr = source->Pause();
        return hr;
    }
    void StopAll()
    {
        sink->Stop();
        transform->Stop();
        source->Stop();
    }

    CTestPushSource* source = nullptr;
    CTestTransform* transform = nullptr;
    CTestSink* sink = nullptr;
    CTestGraph* graph = nullptr;
};

TEST_F(TransformTest, OutputConnectsOnlyAfterTheInput)
{
    // Nothing to offer and nothing accepted before the input has a type.
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(transform->Output()->EnumMediaTypes(&types), S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(1, &type, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    types->Release();
    EXPECT_TRUE(FAILED(transform->Output()->Connect(sink->Input(), nullptr)));
    EXPECT_FALSE(sink->InputPin()->IsConnected());

    // A type CheckInputType refuses.
    CTestPushSource* audio = CTestPushSource::Create({CMediaType(&MEDIATYPE_Audio)});
    EXPECT_TRUE(FAILED(audio->Output()->Connect(transform->Input(), nullptr)));
    audio->Release();

    Connect();
    EXPECT_EQ(transform->typesSet, (std::vector<PIN_DIRECTION>{PINDIR_INPUT, PINDIR_OUTPUT}));
    AM_MEDIA_TYPE connected{};
    ASSERT_EQ(transform->Output()->ConnectionMediaType(&connected), S_OK);
    EXPECT_EQ(connected.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(connected);
}

TEST_F(TransformTest, PinIdsAndFindPin)
{
    LPWSTR id = nullptr;
    ASSERT_EQ(transform->Input()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"In");
    CoTaskMemFree(id);
    ASSERT_EQ(transform->Output()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Out");
    CoTaskMemFree(id);

    IPin* pin = nullptr;
    ASSERT_EQ(transform->FindPin(L"Out", &pin), S_OK);
    EXPECT_EQ(pin, transform->Output());
    pin->Release();
    ASSERT_EQ(transform->FindPin(L"XForm In", &pin), S_OK);
    EXPECT_EQ(pin, transform->Input());
    pin->Release();
    EXPECT_EQ(transform->FindPin(L"Sideways", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(transform->GetPinCount(), 2);
    EXPECT_EQ(transform->GetPin(2), nullptr);
}

TEST_F(TransformTest, SamplesKeepTimesAndFlagsAndAreTransformed)
{
    Connect();
    std::vector<TvTestSample> samples(3);
    samples[0].hasTime = true;
    samples[0].start = 0;
    samples[0].stop = 400000;
    samples[0].syncPoint = true;
    samples[0].discontinuity = true;
    samples[1].hasTime = true;
    samples[1].start = 400000;
    samples[1].hasStop = false;
    samples[1].syncPoint = false;
    samples[2].hasTime = false;
    samples[2].syncPoint = false;
    samples[2].length = 5;
    source->SetSamples(samples, true);
    source->SetNewSegment(true, 1200000);

    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream());
    const auto events = sink->Events();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, TvStreamEvent::Kind::NewSegment);
    EXPECT_EQ(events[0].segmentStop, 1200000);
    EXPECT_EQ(events[4].kind, TvStreamEvent::Kind::EndOfStream);

    const TvStreamEvent& first = events[1];
    EXPECT_EQ(first.timeResult, S_OK);
    EXPECT_EQ(first.start, 0);
    EXPECT_EQ(first.stop, 400000);
    EXPECT_TRUE(first.syncPoint);
    EXPECT_TRUE(first.discontinuity);
    ASSERT_FALSE(first.bytes.empty());
    EXPECT_EQ(first.bytes[0], static_cast<BYTE>(~0));

    const TvStreamEvent& second = events[2];
    EXPECT_EQ(second.timeResult, VFW_S_NO_STOP_TIME);
    EXPECT_EQ(second.start, 400000);
    EXPECT_FALSE(second.syncPoint);
    EXPECT_FALSE(second.discontinuity);
    ASSERT_FALSE(second.bytes.empty());
    EXPECT_EQ(second.bytes[0], static_cast<BYTE>(~1));

    const TvStreamEvent& third = events[3];
    EXPECT_EQ(third.timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(third.length, 5);
    EXPECT_EQ(transform->starts.load(), 1);
}

TEST_F(TransformTest, PrerollMediaTimesAndTypeSpecificFlagsAreCopied)
{
    // The test pushes samples into the input pin itself, as an upstream
    // streaming thread would.
    Connect();
    source->SetSamples({}, false);
    ASSERT_EQ(PauseAll(), S_OK);

    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(CreateMemoryAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES request{1, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME start = 100, stop = 200;
    sample->SetTime(&start, &stop);
    LONGLONG mediaStart = 7, mediaStop = 8;
    sample->SetMediaTime(&mediaStart, &mediaStop);
    sample->SetPreroll(TRUE);
    sample->SetSyncPoint(TRUE);
    sample->SetActualDataLength(4);
    IMediaSample2* sample2 = nullptr;
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)), S_OK);
    AM_SAMPLE2_PROPERTIES props{};
    ASSERT_EQ(sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    props.dwTypeSpecificFlags = 0x2A;
    ASSERT_EQ(sample2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId),
                                     reinterpret_cast<const BYTE*>(&props)),
              S_OK);
    sample2->Release();

    // Keep the output sample to read what it inherited.
    sink->SetHoldSamples(true);
    IMemInputPin* input = nullptr;
    ASSERT_EQ(
        transform->Input()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)),
        S_OK);
    EXPECT_EQ(input->Receive(sample), S_OK);
    input->Release();
    sample->Release();
    ASSERT_EQ(sink->SampleCount(), 1u);
    const TvStreamEvent got = sink->Samples()[0];
    EXPECT_TRUE(got.preroll);
    EXPECT_TRUE(got.syncPoint);
    EXPECT_EQ(got.start, 100);
    EXPECT_EQ(got.stop, 200);
    EXPECT_EQ(got.length, 4);
    EXPECT_EQ(transform->outMediaTimeResult, S_OK);
    EXPECT_EQ(transform->outMediaStart, 7);
    EXPECT_EQ(transform->outMediaStop, 8);
    EXPECT_EQ(transform->outTypeSpecificFlags, 0x2Au);
    EXPECT_TRUE(transform->outSampleFlags & AM_SAMPLE_PREROLL);
    EXPECT_TRUE(transform->outSampleFlags & AM_SAMPLE_TIMEVALID);
    sink->ReleaseHeldSamples();

    allocator->Decommit();
    allocator->Release();
}

TEST_F(TransformTest, DroppedSamplesAreNotedOnceAndFailuresGoUpstream)
{
    Connect();
    transform->dropIndices = {1, 2};
    transform->failIndex = 4;
    std::vector<TvTestSample> samples(6);
    samples[3].discontinuity = true;
    source->SetSamples(samples, false);

    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(source->WaitUntilFinished());
    // 0 delivered, 1 and 2 dropped, 3 delivered, 4 fails (the source stops
    // delivering on the failure).
    const auto delivered = sink->Samples();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].bytes[0], static_cast<BYTE>(~0));
    EXPECT_EQ(delivered[1].bytes[0], static_cast<BYTE>(~3));
    const auto results = source->DeliverResults();
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[1], S_OK); // a drop is not an error upstream
    EXPECT_EQ(results[2], S_OK);
    EXPECT_EQ(results[4], E_FAIL);

    int qualityChanges = 0;
    for (const auto& event : graph->Events())
        qualityChanges += event.code == EC_QUALITY_CHANGE;
    EXPECT_EQ(qualityChanges, 1);
}

TEST_F(TransformTest, QualityChangeIsSentOncePerRun)
{
    Connect();
    auto qualityChanges = [this] {
        int count = 0;
        for (const auto& event : graph->Events())
            count += event.code == EC_QUALITY_CHANGE;
        return count;
    };
    transform->dropIndices = {0, 1, 3};
    source->SetSamples(std::vector<TvTestSample>(2), true);
    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream());
    EXPECT_EQ(qualityChanges(), 1);
    StopAll();

    sink->ClearEvents();
    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(sink->WaitForEndOfStream());
    EXPECT_EQ(qualityChanges(), 2);
    EXPECT_EQ(sink->SampleCount(), 1u); // index 2
}

TEST_F(TransformTest, FlushAndEndOfStreamReachTheSink)
{
    Connect();
    source->SetSamples({}, false);
    ASSERT_EQ(PauseAll(), S_OK);

    EXPECT_EQ(transform->Input()->BeginFlush(), S_OK);
    EXPECT_EQ(transform->Input()->EndFlush(), S_OK);
    EXPECT_EQ(transform->Input()->NewSegment(10, 20, 2.0), S_OK);
    EXPECT_EQ(transform->Input()->EndOfStream(), S_OK);
    const auto events = sink->Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, TvStreamEvent::Kind::BeginFlush);
    EXPECT_EQ(events[1].kind, TvStreamEvent::Kind::EndFlush);
    EXPECT_EQ(events[2].kind, TvStreamEvent::Kind::NewSegment);
    EXPECT_EQ(events[2].segmentStart, 10);
    EXPECT_EQ(events[2].rate, 2.0);
    EXPECT_EQ(events[3].kind, TvStreamEvent::Kind::EndOfStream);

    // While stopped, end of stream is refused at the input.
    StopAll();
    EXPECT_EQ(transform->Input()->EndOfStream(), VFW_E_WRONG_STATE);
    EXPECT_EQ(sink->EventCount(TvStreamEvent::Kind::EndOfStream), 1u);
}

TEST_F(TransformTest, FlushNeedsBothConnections)
{
    EXPECT_EQ(transform->Input()->BeginFlush(), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(source->Output()->Connect(transform->Input(), nullptr), S_OK);
    EXPECT_EQ(transform->Input()->BeginFlush(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(transform->Input()->EndFlush(), VFW_E_NOT_CONNECTED);
}

TEST_F(TransformTest, StreamingStartsAndStopsWithTheState)
{
    Connect();
    source->SetSamples({}, false);
    for (int round = 1; round <= 3; ++round) {
        ASSERT_EQ(PauseAll(), S_OK);
        EXPECT_EQ(transform->Run(0), S_OK);
        EXPECT_EQ(transform->Pause(), S_OK); // running to paused: no new start
        EXPECT_EQ(transform->starts.load(), round);
        StopAll();
        EXPECT_EQ(transform->stops.load(), round);
    }
    // Run from stopped pauses first.
    EXPECT_EQ(transform->Run(0), S_OK);
    EXPECT_EQ(transform->starts.load(), 4);
    EXPECT_EQ(transform->Stop(), S_OK);
    EXPECT_EQ(transform->Stop(), S_OK); // a second stop does nothing
    EXPECT_EQ(transform->stops.load(), 4);

    // A failing start fails the pause and leaves the filter stopped.
    transform->startResult = E_OUTOFMEMORY;
    EXPECT_EQ(transform->Pause(), E_OUTOFMEMORY);
    FILTER_STATE state = State_Running;
    EXPECT_EQ(transform->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
}

TEST_F(TransformTest, StopWhileTheTransformWaitsForAnOutputBuffer)
{
    // The sink keeps every sample: with two output buffers the third sample
    // blocks in GetBuffer inside Receive, under the receive lock. Stopping the
    // transform first (not the usual order) must still not deadlock.
    Connect();
    sink->SetHoldSamples(true);
    source->SetSamples(std::vector<TvTestSample>(5), true);
    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(sink->WaitForSamples(2));
    // The third sample is inside Receive (in GetBuffer or on its way there).
    for (int i = 0; i < 10000 && transform->receivesEntered.load() < 3; ++i)
        Sleep(1);
    ASSERT_EQ(transform->receivesEntered.load(), 3);
    EXPECT_EQ(transform->Stop(), S_OK);
    ASSERT_TRUE(source->WaitForDeliveries(3));
    EXPECT_EQ(source->DeliverResults()[2], VFW_E_NOT_COMMITTED);
    sink->ReleaseHeldSamples();
    StopAll();
}

TEST_F(TransformTest, StopInGraphOrderWhileTheSinkBlocks)
{
    Connect();
    sink->SetBlockInReceive(true);
    source->SetSamples(std::vector<TvTestSample>(3), true);
    ASSERT_EQ(PauseAll(), S_OK);
    ASSERT_TRUE(sink->WaitUntilBlocked());
    StopAll();
    EXPECT_FALSE(sink->BlockedInReceive());
    EXPECT_EQ(transform->stops.load(), 1);
}

TEST_F(TransformTest, PauseWithoutInputEndsTheStreamOnce)
{
    Connect();
    ASSERT_EQ(source->Output()->Disconnect(), S_OK);
    ASSERT_EQ(transform->Input()->Disconnect(), S_OK);
    ASSERT_EQ(sink->Pause(), S_OK);
    EXPECT_EQ(transform->Pause(), S_OK);
    EXPECT_EQ(transform->Run(0), S_OK);
    EXPECT_EQ(transform->Pause(), S_OK);
    EXPECT_EQ(sink->EventCount(TvStreamEvent::Kind::EndOfStream), 1u);
    EXPECT_EQ(transform->starts.load(), 0);
}

TEST_F(TransformTest, QualityMessagesGoToAlterQualityThenUpstream)
{
    Connect();
    source->SetSamples({}, false);
    ASSERT_EQ(PauseAll(), S_OK);
    Quality late{Famine, 900, 200000, 400000};
    // Not handled here: passed upstream, whose answer comes back (the test
    // source's output pin does not act on quality).
    EXPECT_EQ(sink->SendQuality(late), E_NOTIMPL);
    transform->qualityResult = S_OK;
    EXPECT_EQ(sink->SendQuality(late), S_OK);
    ASSERT_EQ(transform->qualities.size(), 2u);
    EXPECT_EQ(transform->qualities[0].Late, 200000);
    EXPECT_EQ(transform->qualities[0].TimeStamp, 400000);
}

TEST_F(TransformTest, OutputPinOffersSeekingThroughThePassThrough)
{
    Connect();
    IMediaSeeking* seeking = nullptr;
    ASSERT_EQ(
        transform->Output()->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)),
        S_OK);
    IMediaPosition* position = nullptr;
    ASSERT_EQ(transform->Output()->QueryInterface(IID_IMediaPosition,
                                                  reinterpret_cast<void**>(&position)),
              S_OK);
    // The pass-through is part of the pin: asking it for IPin gives the pin.
    IPin* pin = nullptr;
    ASSERT_EQ(seeking->QueryInterface(IID_IPin, reinterpret_cast<void**>(&pin)), S_OK);
    EXPECT_EQ(pin, transform->Output());
    pin->Release();
    // The test source does not seek: the upstream answer is "not implemented".
    LONGLONG duration = 0;
    EXPECT_EQ(seeking->GetDuration(&duration), E_NOTIMPL);
    const ULONG before = RefCount(static_cast<IBaseFilter*>(transform));
    seeking->Release();
    position->Release();
    EXPECT_EQ(RefCount(static_cast<IBaseFilter*>(transform)), before - 2);
}

} // namespace
