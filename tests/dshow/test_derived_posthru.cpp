// CPosPassThru, CRendererPosPassThru, CreatePosPassThru and the minimal
// IDispatch of CMediaPosition.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctlutil.h"
#include "posthru.h"
#include "DerivedMocks.h"
#include "TestKit.h"

using tvtest::MockSample;

namespace {

// An upstream output pin that positions the stream: it answers IMediaSeeking
// (always) and IMediaPosition (unless told not to) and records each call.
class SeekingPin final : public tvtest::StubPin, public IMediaSeeking, public IMediaPosition {
public:
    bool offerPosition = true;
    GUID timeFormat = TIME_FORMAT_MEDIA_TIME;
    LONGLONG current = 111;
    LONGLONG stop = 900000000; // 90 s
    std::vector<std::string> calls;
    LONGLONG setCurrent = -1;
    DWORD setCurrentFlags = 0;
    double rate = 1.0;
    REFTIME position = 0;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPin)
            *ppv = static_cast<IPin*>(this);
        else if (riid == IID_IMediaSeeking)
            *ppv = static_cast<IMediaSeeking*>(this);
        else if (riid == IID_IMediaPosition && offerPosition)
            *ppv = static_cast<IMediaPosition*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;

    // IMediaSeeking
    HRESULT GetCapabilities(DWORD* caps) override
    {
        calls.push_back("GetCapabilities");
        *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanGetDuration;
        return S_OK;
    }
    HRESULT CheckCapabilities(DWORD* caps) override
    {
        calls.push_back("CheckCapabilities");
        *caps &= AM_SEEKING_CanSeekAbsolute;
        return S_FALSE;
    }
    HRESULT IsFormatSupported(const GUID* f) override
    {
        return *f == TIME_FORMAT_MEDIA_TIME || *f == TIME_FORMAT_FRAME ? S_OK : S_FALSE;
    }
    HRESULT QueryPreferredFormat(GUID* f) override
    {
        *f = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    HRESULT GetTimeFormat(GUID* f) override
    {
        *f = timeFormat;
        return S_OK;
    }
    HRESULT IsUsingTimeFormat(const GUID* f) override { return *f == timeFormat ? S_OK : S_FALSE; }
    HRESULT SetTimeFormat(const GUID* f) override
    {
        if (IsFormatSupported(f) != S_OK)
            return E_INVALIDARG;
        timeFormat = *f;
        return S_OK;
    }
    HRESULT GetDuration(LONGLONG* d) override
    {
        calls.push_back("GetDuration");
        *d = 1200000000;
        return S_OK;
    }
    HRESULT GetStopPosition(LONGLONG* s) override
    {
        *s = stop;
        return S_OK;
    }
    HRESULT GetCurrentPosition(LONGLONG* c) override
    {
        calls.push_back("GetCurrentPosition");
        *c = current;
        return S_OK;
    }
    // Frames at 25 per second.
    HRESULT ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                              const GUID* sourceFormat) override
    {
        calls.push_back("ConvertTimeFormat");
        if (*targetFormat == TIME_FORMAT_FRAME && *sourceFormat == TIME_FORMAT_MEDIA_TIME) {
            *target = source / 400000;
            return S_OK;
        }
        return E_INVALIDARG;
    }
    HRESULT SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD) override
    {
        calls.push_back("SetPositions");
        setCurrent = c ? *c : -1;
        setCurrentFlags = cf;
        if (s)
            stop = *s;
        return S_OK;
    }
    HRESULT GetPositions(LONGLONG* c, LONGLONG* s) override
    {
        if (c)
            *c = current;
        if (s)
            *s = stop;
        return S_OK;
    }
    HRESULT GetAvailable(LONGLONG* e, LONGLONG* l) override
    {
        *e = 0;
        *l = stop;
        return S_OK;
    }
    HRESULT SetRate(double r) override
    {
        calls.push_back("SetRate");
        rate = r;
        return S_OK;
    }
    HRESULT GetRate(double* r) override
    {
        *r = rate;
        return S_OK;
    }
    HRESULT GetPreroll(LONGLONG* p) override
    {
        *p = 5;
        return S_OK;
    }

    // IMediaPosition (seconds)
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT get_Duration(REFTIME* d) override
    {
        calls.push_back("get_Duration");
        *d = 120.0;
        return S_OK;
    }
    HRESULT put_CurrentPosition(REFTIME t) override
    {
        calls.push_back("put_CurrentPosition");
        position = t;
        return S_OK;
    }
    HRESULT get_CurrentPosition(REFTIME* t) override
    {
        calls.push_back("get_CurrentPosition");
        *t = position;
        return S_OK;
    }
    HRESULT get_StopTime(REFTIME* t) override
    {
        *t = 90.0;
        return S_OK;
    }
    HRESULT put_StopTime(REFTIME) override { return S_OK; }
    HRESULT get_PrerollTime(REFTIME* t) override
    {
        *t = 0.5;
        return S_OK;
    }
    HRESULT put_PrerollTime(REFTIME) override { return S_OK; }
    HRESULT put_Rate(double r) override
    {
        calls.push_back("put_Rate");
        rate = r;
        return S_OK;
    }
    HRESULT get_Rate(double* r) override
    {
        *r = rate;
        return S_OK;
    }
    HRESULT CanSeekForward(LONG* b) override
    {
        *b = OATRUE;
        return S_OK;
    }
    HRESULT CanSeekBackward(LONG* b) override
    {
        *b = OAFALSE;
        return S_OK;
    }
};

// The filter's own input pin: only ConnectedTo matters to the pass-through.
class InputPin final : public tvtest::StubPin {
public:
    IPin* peer = nullptr;

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IPin) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;

    HRESULT ConnectedTo(IPin** pp) override
    {
        *pp = peer;
        if (!peer)
            return VFW_E_NOT_CONNECTED;
        peer->AddRef();
        return S_OK;
    }
};

class PosPassThruTest : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        input.peer = &upstream;
        ASSERT_EQ(CreatePosPassThru(nullptr, FALSE, &input, &unknown), S_OK);
        ASSERT_EQ(unknown->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)),
                  S_OK);
        ASSERT_EQ(unknown->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&position)),
                  S_OK);
    }
    void TearDown() override
    {
        if (seeking)
            seeking->Release();
        if (position)
            position->Release();
        if (unknown) {
            EXPECT_EQ(unknown->Release(), 0u);
        }
        TvLeakCheck::TearDown();
        // Every reference the pass-through took on the pins was given back.
        EXPECT_EQ(upstream.refs, 1u);
        EXPECT_EQ(input.refs, 1u);
    }

    SeekingPin upstream;
    InputPin input;
    IUnknown* unknown = nullptr;
    IMediaSeeking* seeking = nullptr;
    IMediaPosition* position = nullptr;
};

TEST_F(PosPassThruTest, SeekingCallsReachTheUpstreamPeer)
{
    LONGLONG value = 0;
    EXPECT_EQ(seeking->GetDuration(&value), S_OK);
    EXPECT_EQ(value, 1200000000);

    LONGLONG target = 50000000;
    EXPECT_EQ(seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                    AM_SEEKING_NoPositioning),
              S_OK);
    EXPECT_EQ(upstream.setCurrent, 50000000);
    EXPECT_EQ(upstream.setCurrentFlags, static_cast<DWORD>(AM_SEEKING_AbsolutePositioning));

    DWORD caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(seeking->CheckCapabilities(&caps), S_FALSE);
    EXPECT_EQ(caps, static_cast<DWORD>(AM_SEEKING_CanSeekAbsolute));

    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_FRAME), S_OK);
    EXPECT_EQ(seeking->IsUsingTimeFormat(&TIME_FORMAT_FRAME), S_OK);
    EXPECT_EQ(seeking->SetTimeFormat(&TIME_FORMAT_BYTE), E_INVALIDARG);

    EXPECT_EQ(seeking->SetRate(2.0), S_OK);
    double rate = 0;
    EXPECT_EQ(seeking->GetRate(&rate), S_OK);
    EXPECT_EQ(rate, 2.0);

    EXPECT_EQ(seeking->GetCurrentPosition(&value), S_OK);
    EXPECT_EQ(value, 111);

    LONGLONG earliest = -1, latest = -1;
    EXPECT_EQ(seeking->GetAvailable(&earliest, &latest), S_OK);
    EXPECT_EQ(latest, upstream.stop);
}

TEST_F(PosPassThruTest, PositionCallsReachTheUpstreamPeer)
{
    REFTIME seconds = 0;
    EXPECT_EQ(position->get_Duration(&seconds), S_OK);
    EXPECT_EQ(seconds, 120.0);
    EXPECT_EQ(position->put_CurrentPosition(42.5), S_OK);
    EXPECT_EQ(upstream.position, 42.5);
    EXPECT_EQ(position->get_CurrentPosition(&seconds), S_OK);
    EXPECT_EQ(seconds, 42.5);
    EXPECT_EQ(position->put_Rate(0.5), S_OK);
    EXPECT_EQ(upstream.rate, 0.5);
    LONG can = 0;
    EXPECT_EQ(position->CanSeekForward(&can), S_OK);
    EXPECT_EQ(can, OATRUE);
    EXPECT_EQ(position->CanSeekBackward(&can), S_OK);
    EXPECT_EQ(can, OAFALSE);
    EXPECT_EQ(position->get_PrerollTime(&seconds), S_OK);
    EXPECT_EQ(seconds, 0.5);
    EXPECT_EQ(upstream.calls, (std::vector<std::string>{"get_Duration", "put_CurrentPosition",
                                                        "get_CurrentPosition", "put_Rate"}));
}

TEST_F(PosPassThruTest, WithoutAPeerOrItsInterfaceCallsAreNotImplemented)
{
    upstream.offerPosition = false;
    REFTIME seconds = 0;
    EXPECT_EQ(position->get_Duration(&seconds), E_NOTIMPL);
    LONGLONG value = 0;
    EXPECT_EQ(seeking->GetDuration(&value), S_OK); // seeking is still there

    input.peer = nullptr; // disconnected
    EXPECT_EQ(seeking->GetDuration(&value), E_NOTIMPL);
    EXPECT_EQ(position->put_CurrentPosition(1.0), E_NOTIMPL);
    EXPECT_EQ(upstream.calls, std::vector<std::string>{"GetDuration"});

    // Reconnected: calls follow the new peer.
    SeekingPin other;
    input.peer = &other;
    EXPECT_EQ(position->put_CurrentPosition(3.0), S_OK);
    EXPECT_EQ(other.position, 3.0);
    input.peer = &upstream;
    EXPECT_EQ(other.refs, 1u);
}

TEST_F(PosPassThruTest, NullOutPointersAndBadRates)
{
    EXPECT_EQ(seeking->GetDuration(nullptr), E_POINTER);
    EXPECT_EQ(seeking->GetCurrentPosition(nullptr), E_POINTER);
    EXPECT_EQ(seeking->GetTimeFormat(nullptr), E_POINTER);
    EXPECT_EQ(position->get_Duration(nullptr), E_POINTER);
    EXPECT_EQ(position->get_CurrentPosition(nullptr), E_POINTER);
    EXPECT_EQ(position->CanSeekForward(nullptr), E_POINTER);
    EXPECT_EQ(position->put_Rate(0.0), E_INVALIDARG);
    EXPECT_EQ(seeking->SetRate(0.0), E_INVALIDARG);
    EXPECT_TRUE(upstream.calls.empty());
}

TEST_F(PosPassThruTest, DispatchWithoutTypeInformation)
{
    // IDispatch is the same object as IMediaPosition.
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(position->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    IUnknown* identity1 = nullptr;
    IUnknown* identity2 = nullptr;
    dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity1));
    seeking->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity2));
    EXPECT_EQ(identity1, unknown);
    EXPECT_EQ(identity2, unknown);
    identity1->Release();
    identity2->Release();

    UINT count = 7;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), E_NOTIMPL);
    EXPECT_EQ(info, nullptr);
    wchar_t name[] = L"Duration";
    LPOLESTR names[] = {name};
    DISPID id = 5;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_NOTIMPL);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
    dispatch->Release();
}

TEST(PosPassThruCreation, ArgumentsAndAggregation)
{
    IUnknown* out = reinterpret_cast<IUnknown*>(1);
    InputPin input;
    EXPECT_EQ(CreatePosPassThru(nullptr, FALSE, nullptr, &out), E_POINTER);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CreatePosPassThru(nullptr, FALSE, &input, nullptr), E_POINTER);

    // Aggregated in an outer object (as an output pin holds it): the
    // interfaces count references on, and answer for, the outer object.
    struct Outer : IUnknown {
        HRESULT QueryInterface(REFIID riid, void** ppv) override
        {
            asked.push_back(riid);
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return ++refs; }
        ULONG Release() override { return --refs; }
        ULONG refs = 1;
        std::vector<GUID> asked;
    } outer;
    const LONG objects = CBaseObject::ObjectsActive();
    IUnknown* inner = nullptr;
    ASSERT_EQ(CreatePosPassThru(&outer, FALSE, &input, &inner), S_OK);
    IMediaSeeking* seeking = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    void* other = nullptr;
    EXPECT_EQ(seeking->QueryInterface(IID_IBaseFilter, &other), E_NOINTERFACE);
    ASSERT_EQ(outer.asked.size(), 1u);
    EXPECT_EQ(outer.asked[0], IID_IBaseFilter);
    seeking->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), objects);
}

class RendererPassThruTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        input.peer = &upstream;
        HRESULT hr = S_OK;
        passThru = new CRendererPosPassThru("test", nullptr, &hr, &input);
        EXPECT_EQ(hr, S_OK);
        passThru->NonDelegatingAddRef();
    }
    void TearDown() override
    {
        EXPECT_EQ(passThru->NonDelegatingRelease(), 0u);
        EXPECT_EQ(upstream.refs, 1u);
    }

    SeekingPin upstream;
    InputPin input;
    CRendererPosPassThru* passThru = nullptr;
};

TEST_F(RendererPassThruTest, CurrentPositionFollowsThePresentedSample)
{
    LONGLONG value = 0;
    // Nothing presented yet: the upstream position is reported.
    EXPECT_EQ(passThru->GetCurrentPosition(&value), S_OK);
    EXPECT_EQ(value, 111);

    MockSample* sample = new MockSample(1);
    EXPECT_EQ(passThru->RegisterMediaTime(sample), VFW_E_MEDIA_TIME_NOT_SET);
    sample->SetMediaTimes(70000000, 70400000);
    EXPECT_EQ(passThru->RegisterMediaTime(sample), S_OK);
    sample->Release();

    upstream.calls.clear();
    EXPECT_EQ(passThru->GetCurrentPosition(&value), S_OK);
    EXPECT_EQ(value, 70000000);
    REFTIME seconds = 0;
    EXPECT_EQ(passThru->get_CurrentPosition(&seconds), S_OK);
    EXPECT_DOUBLE_EQ(seconds, 7.0);
    EXPECT_TRUE(upstream.calls.empty()) << "asked upstream although the time was known";

    // In frames when the caller chose frames upstream.
    upstream.timeFormat = TIME_FORMAT_FRAME;
    EXPECT_EQ(passThru->GetCurrentPosition(&value), S_OK);
    EXPECT_EQ(value, 175);

    // A reset (stop, flush) hands the question back upstream.
    upstream.timeFormat = TIME_FORMAT_MEDIA_TIME;
    EXPECT_EQ(passThru->ResetMediaTime(), S_OK);
    EXPECT_EQ(passThru->GetCurrentPosition(&value), S_OK);
    EXPECT_EQ(value, 111);
}

TEST_F(RendererPassThruTest, EndOfStreamMovesThePositionToTheStop)
{
    EXPECT_EQ(passThru->EOS(), E_FAIL); // nothing presented since the reset
    EXPECT_EQ(passThru->RegisterMediaTime(10, 20), S_OK);
    EXPECT_EQ(passThru->EOS(), S_OK);
    LONGLONG start = 0, end = 0;
    EXPECT_EQ(passThru->GetMediaTime(&start, &end), S_OK);
    EXPECT_EQ(start, upstream.stop);
    EXPECT_EQ(end, upstream.stop);
}

} // namespace
