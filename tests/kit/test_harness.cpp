// The harness itself, around a transform filter written here on the base
// classes (it reverses each sample's bytes): pushing samples and stream
// events in, pulling what came out, the test clock, the real graph manager,
// and the refusals of a harness used wrongly. Every case ends with the
// fixture's leak check.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TestKit.h"

namespace {

class CReverser : public CTestVideoTransform {
public:
    static CReverser* Create()
    {
        auto* filter = new CReverser();
        filter->AddRef();
        return filter;
    }

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        in->GetPointer(&from);
        out->GetPointer(&to);
        const LONG length = in->GetActualDataLength();
        std::reverse_copy(from, from + length, to);
        return out->SetActualDataLength(length);
    }

private:
    CReverser() : CTestVideoTransform("Reverser") {}
};

const wchar_t kIn[] = L"XForm In";
const wchar_t kOut[] = L"XForm Out";

CMediaType PictureType()
{
    return TvMakeYuy2Type(4, 2);
}

TvTestSample Timed(std::vector<BYTE> bytes, REFERENCE_TIME start, REFERENCE_TIME stop,
                   bool syncPoint, bool discontinuity)
{
    TvTestSample sample = TvTimedSample(start, stop, std::move(bytes));
    sample.syncPoint = syncPoint;
    sample.discontinuity = discontinuity;
    return sample;
}

class HarnessTest : public TvHarnessTest {
protected:
    void SetUp() override
    {
        TvHarnessTest::SetUp();
        m_filter = CReverser::Create();
    }
    void TearDown() override
    {
        // The harness goes first: it gives back the references it took.
        m_harness.reset();
        if (m_filter) {
            EXPECT_EQ(m_filter->Release(), 0u);
        }
        TvHarnessTest::TearDown();
    }
    // The reverser on the harness with the source and a sink connected.
    TvHarness& Connected(TvHarness::Setting setting)
    {
        TvHarness& harness = Wrap(m_filter, L"Reverser", setting);
        EXPECT_EQ(harness.Result(), S_OK);
        EXPECT_EQ(harness.ConnectInput(PictureType(), kIn), S_OK);
        EXPECT_EQ(harness.ConnectOutput(kOut), S_OK);
        return harness;
    }

    CReverser* m_filter = nullptr;
};

TEST_F(HarnessTest, PushedSamplesComeOutInOrderWithTheirTimesAndFlags)
{
    TvHarness& h = Connected(TvHarness::Setting::TestGraph);
    ASSERT_EQ(h.Pause(), S_OK);
    ASSERT_EQ(h.Run(0), S_OK);
    const TvTestSample pushed[] = {
        Timed({1, 2, 3}, 0, 400000, true, true),
        Timed({4, 5}, 400000, 800000, false, false),
        Timed({6}, 800000, 1200000, true, false),
    };
    for (const TvTestSample& sample : pushed)
        ASSERT_EQ(h.Push(sample), S_OK);

    for (const TvTestSample& sample : pushed) {
        std::optional<TvStreamEvent> out = h.Pull(kOut);
        ASSERT_TRUE(out.has_value());
        EXPECT_EQ(out->timeResult, S_OK);
        EXPECT_EQ(out->start, sample.start);
        EXPECT_EQ(out->stop, sample.stop);
        EXPECT_EQ(out->syncPoint, sample.syncPoint);
        EXPECT_EQ(out->discontinuity, sample.discontinuity);
        EXPECT_EQ(out->bytes, std::vector<BYTE>(sample.bytes.rbegin(), sample.bytes.rend()));
    }
    EXPECT_FALSE(h.Pull(kOut, 0).has_value()) << "nothing more came out";
    // The sink still has every sample; pulling only moved along them.
    EXPECT_EQ(h.Sink(kOut)->SampleCount(), 3u);
    EXPECT_EQ(h.Sink()->Bytes(), std::string("\3\2\1\5\4\6"));
    EXPECT_EQ(h.Stop(), S_OK);
}

TEST_F(HarnessTest, StreamEventsReachTheOutputInOrder)
{
    TvHarness& h = Connected(TvHarness::Setting::TestGraph);
    ASSERT_EQ(h.Pause(), S_OK);
    ASSERT_EQ(h.PushNewSegment(100, 200, 2.0), S_OK);
    auto held = h.PushAsync(Timed({7, 8}, 0, 1, true, false));
    ASSERT_EQ(held.get(), S_OK) << "a paused transform passes samples on";
    ASSERT_EQ(h.PushBeginFlush(), S_OK);
    EXPECT_EQ(h.Push(std::vector<uint8_t>{9}), S_FALSE) << "refused while flushing";
    ASSERT_EQ(h.PushEndFlush(), S_OK);
    ASSERT_EQ(h.PushEndOfStream(), S_OK);
    ASSERT_TRUE(h.Sink(kOut)->WaitForEndOfStream());

    using Kind = TvStreamEvent::Kind;
    const std::vector<TvStreamEvent> events = h.Sink(kOut)->Events();
    std::vector<Kind> kinds;
    for (const TvStreamEvent& event : events)
        kinds.push_back(event.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::NewSegment, Kind::Sample, Kind::BeginFlush,
                                        Kind::EndFlush, Kind::EndOfStream}));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].segmentStart, 100);
    EXPECT_EQ(events[0].segmentStop, 200);
    EXPECT_EQ(events[0].rate, 2.0);
    EXPECT_TRUE(h.WaitForSamples(1, kOut));
}

TEST_F(HarnessTest, TheTestClockIsEveryFiltersClock)
{
    TvHarness& h = Connected(TvHarness::Setting::TestGraph);
    ASSERT_EQ(h.UseTestClock(5000000), S_OK);
    ASSERT_NE(h.Clock(), nullptr);
    ASSERT_EQ(h.UseTestClock(), S_OK);
    for (IBaseFilter* filter :
         {static_cast<IBaseFilter*>(m_filter), static_cast<IBaseFilter*>(h.Source()),
          static_cast<IBaseFilter*>(h.Sink(kOut))}) {
        IReferenceClock* clock = nullptr;
        ASSERT_EQ(filter->GetSyncSource(&clock), S_OK);
        EXPECT_EQ(clock, static_cast<IReferenceClock*>(h.Clock())) << "one clock for all";
        if (clock)
            clock->Release();
    }
    REFERENCE_TIME now = 0;
    EXPECT_EQ(h.Clock()->GetTime(&now), S_OK);
    EXPECT_EQ(now, 5000000);
    h.Clock()->Advance(10);
    EXPECT_EQ(h.Clock()->Now(), 5000010);
}

TEST_F(HarnessTest, InTheFilterGraphTheGraphManagerDrivesTheFilters)
{
    TvHarness& h = Connected(TvHarness::Setting::FilterGraph);
    ASSERT_NE(h.Graph(), nullptr);
    EXPECT_EQ(h.TestGraph(), nullptr);
    IBaseFilter* found = nullptr;
    ASSERT_EQ(h.Graph()->Builder()->FindFilterByName(L"Reverser", &found), S_OK);
    EXPECT_EQ(found, static_cast<IBaseFilter*>(m_filter));
    found->Release();
    ASSERT_EQ(h.UseTestClock(0), S_OK);
    IReferenceClock* graphClock = nullptr;
    ASSERT_EQ(h.Graph()->MediaFilter()->GetSyncSource(&graphClock), S_OK);
    EXPECT_EQ(graphClock, static_cast<IReferenceClock*>(h.Clock()));
    graphClock->Release();

    ASSERT_TRUE(SUCCEEDED(h.Run()));
    OAFilterState state = State_Stopped;
    ASSERT_EQ(h.Graph()->Control()->GetState(10000, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    ASSERT_EQ(h.Push(std::vector<uint8_t>{1, 2, 3, 4}), S_OK);
    std::optional<TvStreamEvent> out = h.Pull(kOut);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->bytes, (std::vector<BYTE>{4, 3, 2, 1}));
    EXPECT_EQ(h.Stop(), S_OK);
}

TEST_F(HarnessTest, WrongUseIsRefused)
{
    TvHarness& h = Wrap(m_filter, L"Reverser");
    ASSERT_EQ(h.Result(), S_OK);
    EXPECT_EQ(h.Push(std::vector<uint8_t>{1}), VFW_E_NOT_CONNECTED) << "no input connected";
    EXPECT_EQ(h.PushEndOfStream(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(h.ConnectOutput(L"No such pin"), VFW_E_NOT_FOUND);
    EXPECT_EQ(h.ConnectInput(PictureType(), kOut), VFW_E_NOT_FOUND) << "an output pin";
    EXPECT_EQ(h.Sink(kOut), nullptr);
    EXPECT_FALSE(h.Pull(kOut, 0).has_value());
    EXPECT_FALSE(h.WaitForSamples(1, kOut, 0));
    // A type the filter refuses leaves the source unconnected.
    EXPECT_NE(h.ConnectInput(CMediaType(&MEDIATYPE_Audio), kIn), S_OK);

    TvHarness nothing(static_cast<IBaseFilter*>(nullptr), L"None");
    EXPECT_EQ(nothing.Result(), E_POINTER);
    TvHarness unknown(GUID_NULL, L"Unknown");
    EXPECT_TRUE(FAILED(unknown.Result()));
    EXPECT_EQ(unknown.Filter(), nullptr);
    EXPECT_EQ(unknown.Pause(), E_UNEXPECTED);
}

} // namespace
