// Pin connection and negotiation, queries and enumerators of the base classes,
// through the test source and sink.
#include <cwchar>

#include "TestKit.h"

namespace {

CMediaType Rgb32()
{
    return TvMakeVideoType(MEDIASUBTYPE_RGB32, 64, 48, 32, BI_RGB);
}
CMediaType Yuy2()
{
    return TvMakeVideoType(MEDIASUBTYPE_YUY2, 64, 48, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

class CorePins : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        m_source = CTestPushSource::Create({Yuy2(), Rgb32()});
        m_sink = CTestSink::Create(MEDIATYPE_Video);
    }
    void TearDown() override
    {
        m_source->Output()->Disconnect();
        m_sink->Input()->Disconnect();
        EXPECT_EQ(m_source->Release(), 0u);
        EXPECT_EQ(m_sink->Release(), 0u);
        TvLeakCheck::TearDown();
    }

    CTestPushSource* m_source = nullptr;
    CTestSink* m_sink = nullptr;
};

TEST_F(CorePins, ConnectAgreesOnTheFirstTypeBothSidesAccept)
{
    // The sink offers a partial type (major only) that the source refuses, so
    // the source's first type is the one agreed.
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);

    IPin* connected = nullptr;
    ASSERT_EQ(m_source->Output()->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected, m_sink->Input());
    connected->Release();
    ASSERT_EQ(m_sink->Input()->ConnectedTo(&connected), S_OK);
    EXPECT_EQ(connected, m_source->Output());
    connected->Release();

    AM_MEDIA_TYPE mt;
    ASSERT_EQ(m_sink->Input()->ConnectionMediaType(&mt), S_OK);
    EXPECT_TRUE(static_cast<CMediaType&>(mt) == Yuy2());
    FreeMediaType(mt);
    ASSERT_EQ(m_source->Output()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_YUY2);
    FreeMediaType(mt);
}

TEST_F(CorePins, ConnectWithACompleteTypeTriesOnlyThatType)
{
    CMediaType rgb = Rgb32();
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), &rgb), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(m_sink->Input()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(mt);
}

TEST_F(CorePins, ConnectWithAPartialTypeNegotiatesWithinIt)
{
    CMediaType partial(&MEDIATYPE_Video);
    partial.SetSubtype(&MEDIASUBTYPE_RGB32);
    ASSERT_TRUE(partial.IsPartiallySpecified());
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), &partial), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(m_sink->Input()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(mt.formattype, FORMAT_VideoInfo);
    FreeMediaType(mt);
}

TEST_F(CorePins, RefusedTypesLeaveBothPinsUnconnected)
{
    // A complete type the source does not offer: refused by the source itself.
    CMediaType other = TvMakeVideoType(MEDIASUBTYPE_RGB24, 64, 48, 24, BI_RGB);
    EXPECT_EQ(m_source->Output()->Connect(m_sink->Input(), &other), VFW_E_TYPE_NOT_ACCEPTED);

    // A sink that wants audio accepts none of the source's types.
    CTestSink* audio = CTestSink::Create(MEDIATYPE_Audio);
    EXPECT_EQ(m_source->Output()->Connect(audio->Input(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    IPin* connected = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(m_source->Output()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(connected, nullptr);
    EXPECT_EQ(audio->Input()->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);

    // ReceiveConnection with a type the sink refuses.
    CMediaType rgb = Rgb32();
    EXPECT_EQ(audio->Input()->ReceiveConnection(m_source->Output(), &rgb), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(RefCount(m_source), 1u); // no reference left behind
    EXPECT_EQ(audio->Release(), 0u);
}

TEST_F(CorePins, AcceptFunctionErrorsReachTheCaller)
{
    // A refusal that says more than "not this type" is what Connect reports.
    m_sink->SetAcceptFunction([](const CMediaType*) { return E_OUTOFMEMORY; });
    EXPECT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), E_OUTOFMEMORY);
    m_sink->SetAcceptFunction([](const CMediaType*) { return E_FAIL; });
    EXPECT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
    m_sink->SetAcceptFunction(
        [](const CMediaType* mt) { return *mt->Subtype() == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE; });
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(m_source->Output()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
    FreeMediaType(mt);
}

TEST_F(CorePins, ConnectionRulesAndResults)
{
    EXPECT_EQ(m_source->Output()->Connect(nullptr, nullptr), E_POINTER);
    // Output to output: the wrong direction.
    CTestPushSource* other = CTestPushSource::Create({Yuy2()});
    EXPECT_EQ(m_source->Output()->Connect(other->Output(), nullptr), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(other->Release(), 0u);

    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);
    EXPECT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), VFW_E_ALREADY_CONNECTED);
    CMediaType yuy2 = Yuy2();
    EXPECT_EQ(m_sink->Input()->ReceiveConnection(m_source->Output(), &yuy2),
              VFW_E_ALREADY_CONNECTED);

    // Not while the filter runs.
    ASSERT_EQ(m_sink->Pause(), S_OK);
    EXPECT_EQ(m_sink->Input()->Disconnect(), VFW_E_NOT_STOPPED);
    ASSERT_EQ(m_sink->Stop(), S_OK);

    EXPECT_EQ(m_sink->Input()->Disconnect(), S_OK);
    EXPECT_EQ(m_sink->Input()->Disconnect(), S_FALSE);
    EXPECT_EQ(m_source->Output()->Disconnect(), S_OK);

    AM_MEDIA_TYPE mt;
    mt.pbFormat = reinterpret_cast<BYTE*>(1);
    EXPECT_EQ(m_source->Output()->ConnectionMediaType(&mt), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(mt.pbFormat, nullptr);
    EXPECT_EQ(mt.majortype, GUID_NULL);
    EXPECT_EQ(m_source->Output()->ConnectionMediaType(nullptr), E_POINTER);
    EXPECT_EQ(m_source->Output()->ConnectedTo(nullptr), E_POINTER);

    // A stopped pair connects again.
    EXPECT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);
}

TEST_F(CorePins, ConnectedPinsHoldEachOthersFilter)
{
    EXPECT_EQ(RefCount(m_source), 1u);
    EXPECT_EQ(RefCount(m_sink), 1u);
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);
    // The output pin holds the input pin and its IMemInputPin, the input pin
    // holds the output pin; the allocator holds nothing.
    EXPECT_EQ(RefCount(m_sink), 3u);
    EXPECT_EQ(RefCount(m_source), 2u);
    ASSERT_EQ(m_source->Output()->Disconnect(), S_OK);
    ASSERT_EQ(m_sink->Input()->Disconnect(), S_OK);
    EXPECT_EQ(RefCount(m_sink), 1u);
    EXPECT_EQ(RefCount(m_source), 1u);
}

TEST_F(CorePins, AllocatorIsNegotiatedAtConnection)
{
    m_source->SetAllocatorRequest(3, 1001, 16, 8);
    ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK);
    const ALLOCATOR_PROPERTIES granted = m_source->GrantedProperties();
    EXPECT_EQ(granted.cBuffers, 3);
    EXPECT_EQ(granted.cbBuffer, 1016); // 8 + 1001 rounded up to 64 x 16, less the prefix
    EXPECT_EQ(granted.cbAlign, 16);
    EXPECT_EQ(granted.cbPrefix, 8);

    // The sink's allocator was taken: both pins hand out the same object.
    IMemInputPin* input = nullptr;
    ASSERT_EQ(m_sink->Input()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)),
              S_OK);
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ALLOCATOR_PROPERTIES props{};
    EXPECT_EQ(allocator->GetProperties(&props), S_OK);
    EXPECT_EQ(props.cBuffers, 3);
    EXPECT_EQ(props.cbBuffer, 1016);
    // Sink pin, source pin, this call.
    EXPECT_EQ(RefCount(allocator), 3u);
    allocator->Release();
    input->Release();
}

TEST_F(CorePins, QueryPinInfoIdAndDirection)
{
    PIN_INFO info;
    ASSERT_EQ(m_sink->Input()->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(m_sink));
    EXPECT_EQ(info.dir, PINDIR_INPUT);
    EXPECT_STREQ(info.achName, L"Input");
    EXPECT_EQ(RefCount(m_sink), 2u);
    info.pFilter->Release();

    LPWSTR id = nullptr;
    ASSERT_EQ(m_source->Output()->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Output");
    CoTaskMemFree(id);
    EXPECT_EQ(m_source->Output()->QueryId(nullptr), E_POINTER);

    PIN_DIRECTION dir;
    ASSERT_EQ(m_source->Output()->QueryDirection(&dir), S_OK);
    EXPECT_EQ(dir, PINDIR_OUTPUT);
    EXPECT_EQ(m_source->Output()->QueryDirection(nullptr), E_POINTER);
    EXPECT_EQ(m_source->Output()->QueryPinInfo(nullptr), E_POINTER);

    CMediaType yuy2 = Yuy2();
    CMediaType audio(&MEDIATYPE_Audio);
    EXPECT_EQ(m_source->Output()->QueryAccept(&yuy2), S_OK);
    EXPECT_EQ(m_source->Output()->QueryAccept(&audio), S_FALSE);
    EXPECT_EQ(m_source->Output()->QueryAccept(nullptr), E_POINTER);
    IPin* pins[2] = {nullptr, nullptr};
    ULONG n = 5;
    EXPECT_EQ(m_source->Output()->QueryInternalConnections(pins, &n), E_NOTIMPL);

    // A pin answers for its own interfaces, and its count is the filter's.
    IQualityControl* qc = nullptr;
    ASSERT_EQ(m_sink->Input()->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&qc)),
              S_OK);
    EXPECT_EQ(RefCount(m_sink), 2u);
    qc->Release();
    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_EQ(m_sink->Input()->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)),
              E_NOINTERFACE);
    EXPECT_EQ(filter, nullptr);
    IMemInputPin* mem = reinterpret_cast<IMemInputPin*>(1);
    EXPECT_EQ(m_source->Output()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&mem)),
              E_NOINTERFACE);
    EXPECT_EQ(mem, nullptr);
}

TEST_F(CorePins, EnumPinsAndFindPin)
{
    IEnumPins* pins = nullptr;
    ASSERT_EQ(m_source->EnumPins(&pins), S_OK);
    EXPECT_EQ(RefCount(m_source), 2u); // the enumerator holds the filter
    IPin* got[2] = {nullptr, nullptr};
    ULONG fetched = 9;
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], m_source->Output());
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(pins->Next(2, got, nullptr), E_INVALIDARG);
    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    EXPECT_EQ(pins->Skip(1), S_FALSE);
    EXPECT_EQ(pins->Reset(), S_OK);

    IEnumPins* clone = nullptr;
    ASSERT_EQ(pins->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0], m_source->Output());
    got[0]->Release();

    // A change of the pin set puts the enumerators out of step until Reset.
    m_source->IncrementPinVersion();
    EXPECT_EQ(pins->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    IEnumPins* none = reinterpret_cast<IEnumPins*>(1);
    EXPECT_EQ(pins->Clone(&none), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Next(1, got, nullptr), S_OK);
    got[0]->Release();
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(pins->Release(), 0u);
    EXPECT_EQ(m_source->EnumPins(nullptr), E_POINTER);

    IPin* pin = nullptr;
    ASSERT_EQ(m_sink->FindPin(L"Input", &pin), S_OK);
    EXPECT_EQ(pin, m_sink->Input());
    pin->Release();
    pin = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(m_sink->FindPin(L"Output", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(m_sink->FindPin(L"Input", nullptr), E_POINTER);
}

TEST_F(CorePins, EnumMediaTypesHandsOutOwnedCopies)
{
    IEnumMediaTypes* types = nullptr;
    ASSERT_EQ(m_source->Output()->EnumMediaTypes(&types), S_OK);
    EXPECT_EQ(RefCount(m_source), 2u); // through the pin
    AM_MEDIA_TYPE* got[3] = {nullptr, nullptr, nullptr};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(3, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_TRUE(*static_cast<CMediaType*>(got[0]) == Yuy2());
    EXPECT_TRUE(*static_cast<CMediaType*>(got[1]) == Rgb32());
    EXPECT_NE(got[0]->pbFormat, nullptr);
    DeleteMediaType(got[0]);
    DeleteMediaType(got[1]);

    EXPECT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(1), S_OK);
    ASSERT_EQ(types->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0]->subtype, MEDIASUBTYPE_RGB32);
    DeleteMediaType(got[0]);
    EXPECT_EQ(types->Skip(1), S_FALSE);
    EXPECT_EQ(types->Next(1, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(types->Next(2, got, nullptr), E_INVALIDARG);

    m_source->OutputPin()->IncrementTypeVersion();
    EXPECT_EQ(types->Next(1, got, nullptr), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(types->Reset(), S_OK);
    IEnumMediaTypes* clone = nullptr;
    ASSERT_EQ(types->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0]->subtype, MEDIASUBTYPE_YUY2);
    DeleteMediaType(got[0]);
    EXPECT_EQ(clone->Release(), 0u);
    EXPECT_EQ(types->Release(), 0u);

    // A pin without types enumerates nothing.
    CTestSink* any = CTestSink::Create(GUID_NULL);
    ASSERT_EQ(any->Input()->EnumMediaTypes(&types), S_OK);
    EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    types->Release();
    EXPECT_EQ(any->Release(), 0u);
}

TEST_F(CorePins, OutputPinsRefuseStreamEventsAndInputPinsRefuseBeforeConnection)
{
    EXPECT_EQ(m_source->Output()->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(m_source->Output()->BeginFlush(), E_UNEXPECTED);
    EXPECT_EQ(m_source->Output()->EndFlush(), E_UNEXPECTED);
    EXPECT_EQ(m_source->OutputPin()->DeliverEndOfStream(), VFW_E_NOT_CONNECTED);
    EXPECT_EQ(m_source->OutputPin()->DeliverNewSegment(0, 10, 1.0), VFW_E_NOT_CONNECTED);
    IMediaSample* sample = nullptr;
    EXPECT_EQ(m_source->OutputPin()->GetDeliveryBuffer(&sample, nullptr, nullptr, 0),
              E_NOINTERFACE);
    EXPECT_EQ(m_sink->InputPin()->CheckStreaming(), VFW_E_NOT_CONNECTED);
}

} // namespace
