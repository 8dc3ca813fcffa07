// Binary layout: the base classes' interfaces called through the raw vtable
// slot numbers a DirectShow binary uses.
#include <cwchar>

#include "TestKit.h"

namespace {

// Calls slot `slot` of the interface's vtable (IUnknown takes 0 to 2).
template <typename R, typename... Args> R CallSlot(void* iface, int slot, Args... args)
{
    using Fn = R (*)(void*, Args...);
    void** vtable = *static_cast<void***>(iface);
    return reinterpret_cast<Fn>(vtable[slot])(iface, args...);
}

using CoreVtable = TvLeakCheck;

TEST_F(CoreVtable, MediaSampleAndAllocatorSlots)
{
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(CreateMemoryAllocator(&allocator), S_OK);
    IMediaSample* sample = nullptr;
    // GetBuffer is slot 7 and refuses while decommitted.
    EXPECT_EQ((CallSlot<HRESULT, IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD>(
                  allocator, 7, &sample, nullptr, nullptr, 0)),
              VFW_E_NOT_COMMITTED);
    ALLOCATOR_PROPERTIES request{1, 32, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    EXPECT_EQ((CallSlot<HRESULT, ALLOCATOR_PROPERTIES*, ALLOCATOR_PROPERTIES*>(allocator, 3,
                                                                               &request, &actual)),
              S_OK);
    ALLOCATOR_PROPERTIES props{};
    EXPECT_EQ((CallSlot<HRESULT, ALLOCATOR_PROPERTIES*>(allocator, 4, &props)), S_OK);
    EXPECT_EQ(props.cbBuffer, 32);
    EXPECT_EQ((CallSlot<HRESULT>(allocator, 5)), S_OK); // Commit
    ASSERT_EQ((CallSlot<HRESULT, IMediaSample**, REFERENCE_TIME*, REFERENCE_TIME*, DWORD>(
                  allocator, 7, &sample, nullptr, nullptr, 0)),
              S_OK);

    EXPECT_EQ((CallSlot<LONG>(sample, 4)), 32);                  // GetSize
    EXPECT_EQ((CallSlot<HRESULT, LONG>(sample, 12, 9)), S_OK);   // SetActualDataLength
    EXPECT_EQ((CallSlot<LONG>(sample, 11)), 9);                  // GetActualDataLength
    EXPECT_EQ((CallSlot<HRESULT, BOOL>(sample, 8, TRUE)), S_OK); // SetSyncPoint
    EXPECT_EQ((CallSlot<HRESULT>(sample, 7)), S_OK);             // IsSyncPoint
    EXPECT_EQ((CallSlot<HRESULT>(sample, 15)), S_FALSE);         // IsDiscontinuity
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    EXPECT_EQ((CallSlot<HRESULT, REFERENCE_TIME*, REFERENCE_TIME*>(sample, 5, &start, &stop)),
              VFW_E_SAMPLE_TIME_NOT_SET); // GetTime
    LONGLONG ms = 1;
    LONGLONG me = 2;
    EXPECT_EQ((CallSlot<HRESULT, LONGLONG*, LONGLONG*>(sample, 18, &ms, &me)),
              S_OK); // SetMediaTime
    LONGLONG gs = 0;
    LONGLONG ge = 0;
    EXPECT_EQ((CallSlot<HRESULT, LONGLONG*, LONGLONG*>(sample, 17, &gs, &ge)),
              S_OK); // GetMediaTime
    EXPECT_EQ(ge, 2);

    IMediaSample2* sample2 = nullptr;
    ASSERT_EQ(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)), S_OK);
    AM_SAMPLE2_PROPERTIES sp{};
    EXPECT_EQ((CallSlot<HRESULT, DWORD, BYTE*>(sample2, 19, (DWORD)sizeof(sp),
                                               reinterpret_cast<BYTE*>(&sp))),
              S_OK); // GetProperties
    EXPECT_EQ(sp.lActual, 9);
    sample2->Release();

    EXPECT_EQ((CallSlot<ULONG>(sample, 2)), 0u);        // Release: back to the pool
    EXPECT_EQ((CallSlot<HRESULT>(allocator, 6)), S_OK); // Decommit
    EXPECT_EQ((CallSlot<ULONG>(allocator, 2)), 0u);
}

TEST_F(CoreVtable, FilterPinAndEnumeratorSlots)
{
    CTestSink* sink = CTestSink::Create(MEDIATYPE_Video);
    IBaseFilter* filter = sink;
    CLSID clsid = GUID_NULL;
    EXPECT_EQ((CallSlot<HRESULT, CLSID*>(filter, 3, &clsid)), S_OK); // GetClassID
    EXPECT_NE(clsid, GUID_NULL);
    EXPECT_EQ((CallSlot<HRESULT, REFERENCE_TIME>(filter, 6, 0)), S_OK); // Run
    FILTER_STATE state = State_Stopped;
    EXPECT_EQ((CallSlot<HRESULT, DWORD, FILTER_STATE*>(filter, 7, 0, &state)), S_OK); // GetState
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ((CallSlot<HRESULT>(filter, 4)), S_OK); // Stop
    IPin* pin = nullptr;
    EXPECT_EQ((CallSlot<HRESULT, LPCWSTR, IPin**>(filter, 11, L"Input", &pin)), S_OK); // FindPin
    ASSERT_EQ(pin, sink->Input());
    LPWSTR vendor = nullptr;
    EXPECT_EQ((CallSlot<HRESULT, LPWSTR*>(filter, 14, &vendor)), E_NOTIMPL); // QueryVendorInfo

    PIN_DIRECTION dir = PINDIR_OUTPUT;
    EXPECT_EQ((CallSlot<HRESULT, PIN_DIRECTION*>(pin, 9, &dir)), S_OK); // QueryDirection
    EXPECT_EQ(dir, PINDIR_INPUT);
    LPWSTR id = nullptr;
    EXPECT_EQ((CallSlot<HRESULT, LPWSTR*>(pin, 10, &id)), S_OK); // QueryId
    EXPECT_STREQ(id, L"Input");
    CoTaskMemFree(id);
    EXPECT_EQ((CallSlot<HRESULT, REFERENCE_TIME, REFERENCE_TIME, double>(pin, 17, 5, 50, 2.0)),
              S_OK); // NewSegment
    EXPECT_EQ(sink->InputPin()->CurrentRate(), 2.0);
    EXPECT_EQ(sink->InputPin()->CurrentStopTime(), 50);
    EXPECT_EQ((CallSlot<HRESULT>(pin, 15)), S_OK); // BeginFlush
    EXPECT_TRUE(sink->InputPin()->IsFlushing());
    EXPECT_EQ((CallSlot<HRESULT>(pin, 16)), S_OK); // EndFlush
    EXPECT_FALSE(sink->InputPin()->IsFlushing());

    IMemInputPin* mem = nullptr;
    ASSERT_EQ(pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&mem)), S_OK);
    ALLOCATOR_PROPERTIES props{};
    EXPECT_EQ((CallSlot<HRESULT, ALLOCATOR_PROPERTIES*>(mem, 5, &props)), E_NOTIMPL);
    EXPECT_EQ((CallSlot<HRESULT>(mem, 8)), S_OK);                              // ReceiveCanBlock
    EXPECT_EQ((CallSlot<HRESULT, IMediaSample*>(mem, 6, nullptr)), E_POINTER); // Receive
    mem->Release();

    IQualityControl* qc = nullptr;
    ASSERT_EQ(pin->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&qc)), S_OK);
    EXPECT_EQ((CallSlot<HRESULT, IQualityControl*>(qc, 4, nullptr)), S_OK); // SetSink
    qc->Release();
    pin->Release();

    IEnumPins* pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    EXPECT_EQ((CallSlot<HRESULT, ULONG>(pins, 4, 1)), S_OK); // Skip
    EXPECT_EQ((CallSlot<HRESULT, ULONG>(pins, 4, 1)), S_FALSE);
    EXPECT_EQ((CallSlot<HRESULT>(pins, 5)), S_OK); // Reset
    IPin* got = nullptr;
    ULONG fetched = 0;
    EXPECT_EQ((CallSlot<HRESULT, ULONG, IPin**, ULONG*>(pins, 3, 1, &got, &fetched)), S_OK); // Next
    EXPECT_EQ(got, sink->Input());
    got->Release();
    pins->Release();

    CTestClock* clock = CTestClock::Create(1234);
    REFERENCE_TIME now = 0;
    EXPECT_EQ((CallSlot<HRESULT, REFERENCE_TIME*>(static_cast<IReferenceClock*>(clock), 3, &now)),
              S_OK);
    EXPECT_EQ(now, 1234);
    EXPECT_EQ(clock->Release(), 0u);
    EXPECT_EQ(sink->Release(), 0u);
}

} // namespace
