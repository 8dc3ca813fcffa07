// Allocators and samples: properties, commit/decommit, the blocking
// GetBuffer, samples returning to the pool, and the IMediaSample(2) contract.
#include <cstdint>
#include <cstring>
#include <thread>

#include "TestKit.h"

namespace {

// A memory allocator that lets the test see how many threads wait in GetBuffer.
class CWatchedAllocator : public CMemAllocator {
public:
    CWatchedAllocator(HRESULT* phr) : CMemAllocator(NAME("Watched allocator"), nullptr, phr) {}
    LONG Waiting()
    {
        CAutoLock lock(this);
        return m_lWaiting;
    }
    // Spins (yielding) until count threads are committed to waiting.
    bool WaitForWaiters(LONG count)
    {
        for (int i = 0; i < 200000; ++i) {
            if (Waiting() >= count)
                return true;
            std::this_thread::yield();
        }
        return false;
    }
};

class CoreAllocator : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        HRESULT hr = S_OK;
        m_watched = new CWatchedAllocator(&hr);
        ASSERT_EQ(hr, S_OK);
        m_watched->NonDelegatingAddRef();
        ASSERT_EQ(m_watched->QueryInterface(IID_IMemAllocator, reinterpret_cast<void**>(&m_alloc)),
                  S_OK);
        m_watched->NonDelegatingRelease();
    }
    void TearDown() override
    {
        if (m_alloc) {
            EXPECT_EQ(m_alloc->Release(), 0u);
        }
        TvLeakCheck::TearDown();
    }
    void Configure(LONG count, LONG size, LONG align = 1, LONG prefix = 0)
    {
        ALLOCATOR_PROPERTIES request{count, size, align, prefix};
        ALLOCATOR_PROPERTIES actual{};
        ASSERT_EQ(m_alloc->SetProperties(&request, &actual), S_OK);
    }

    CWatchedAllocator* m_watched = nullptr;
    IMemAllocator* m_alloc = nullptr;
};

TEST_F(CoreAllocator, SetPropertiesRules)
{
    ALLOCATOR_PROPERTIES request{4, 100, 3, 0};
    ALLOCATOR_PROPERTIES actual{9, 9, 9, 9};
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), VFW_E_BADALIGN);
    EXPECT_EQ(actual.cBuffers, 0);
    request.cbAlign = 0;
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), VFW_E_BADALIGN);
    request = ALLOCATOR_PROPERTIES{-1, 100, 1, 0};
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), E_INVALIDARG);
    request = ALLOCATOR_PROPERTIES{4, 100, 1, -1};
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), E_INVALIDARG);
    request = ALLOCATOR_PROPERTIES{0x7FFFFFFF, 0x7FFFFFF0, 1, 0};
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), E_OUTOFMEMORY);
    EXPECT_EQ(m_alloc->SetProperties(nullptr, &actual), E_POINTER);
    EXPECT_EQ(m_alloc->SetProperties(&request, nullptr), E_POINTER);
    EXPECT_EQ(m_alloc->GetProperties(nullptr), E_POINTER);

    // Prefix plus buffer fill whole alignment units; the buffer gets the slack.
    request = ALLOCATOR_PROPERTIES{3, 100, 64, 10};
    ASSERT_EQ(m_alloc->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(actual.cBuffers, 3);
    EXPECT_EQ(actual.cbBuffer, 118);
    EXPECT_EQ(actual.cbAlign, 64);
    EXPECT_EQ(actual.cbPrefix, 10);
    ALLOCATOR_PROPERTIES got{};
    ASSERT_EQ(m_alloc->GetProperties(&got), S_OK);
    EXPECT_EQ(got.cbBuffer, 118);

    // Not while committed, nor while a buffer is out.
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
    IMediaSample* sample = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), VFW_E_BUFFERS_OUTSTANDING);
    sample->Release();
    EXPECT_EQ(m_alloc->SetProperties(&request, &actual), S_OK);
}

TEST_F(CoreAllocator, CommitNeedsPropertiesAndGetBufferNeedsCommit)
{
    EXPECT_EQ(m_alloc->Commit(), VFW_E_SIZENOTSET);
    IMediaSample* sample = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(m_alloc->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(sample, nullptr);
    EXPECT_EQ(m_alloc->GetBuffer(nullptr, nullptr, nullptr, 0), E_POINTER);
    Configure(2, 32);
    EXPECT_EQ(m_alloc->Decommit(), S_OK); // nothing to decommit
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    EXPECT_EQ(m_alloc->Commit(), S_OK);
    // A committed allocator holds a reference on itself.
    EXPECT_EQ(RefCount(m_alloc), 2u);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    EXPECT_EQ(RefCount(m_alloc), 1u);
}

TEST_F(CoreAllocator, BuffersAreAlignedAfterTheirPrefix)
{
    Configure(3, 100, 64, 16);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* samples[3] = {};
    for (IMediaSample*& sample : samples) {
        ASSERT_EQ(m_alloc->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        BYTE* data = nullptr;
        ASSERT_EQ(sample->GetPointer(&data), S_OK);
        EXPECT_EQ(((uintptr_t)(data - 16)) % 64, 0u);
        EXPECT_EQ(sample->GetSize(), 112);
        memset(data - 16, 0xAB, 16 + 112); // prefix and buffer are ours to write
        EXPECT_EQ(sample->GetActualDataLength(), 0);
    }
    for (IMediaSample* sample : samples)
        sample->Release();
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
}

TEST_F(CoreAllocator, SamplesReturnToThePoolOnTheirLastRelease)
{
    Configure(2, 16);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* a = nullptr;
    IMediaSample* b = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(RefCount(a), 1u);
    ASSERT_EQ(m_alloc->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(m_watched->FreeCount(), 0);
    IMediaSample* none = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(m_alloc->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);
    EXPECT_EQ(none, nullptr);

    // Everything a user set is gone when the buffer comes back.
    REFERENCE_TIME start = 10;
    REFERENCE_TIME stop = 20;
    a->SetTime(&start, &stop);
    a->SetSyncPoint(TRUE);
    a->SetDiscontinuity(TRUE);
    a->SetPreroll(TRUE);
    a->SetMediaTime(&start, &stop);
    CMediaType type(&MEDIATYPE_Video);
    a->SetMediaType(&type);
    a->AddRef();
    EXPECT_EQ(a->Release(), 1u);
    EXPECT_EQ(m_watched->FreeCount(), 0);
    EXPECT_EQ(a->Release(), 0u);
    EXPECT_EQ(m_watched->FreeCount(), 1);

    IMediaSample* again = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&again, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    EXPECT_EQ(again, a); // the one just returned
    EXPECT_EQ(again->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(again->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(again->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(again->IsPreroll(), S_FALSE);
    EXPECT_EQ(again->GetMediaTime(&start, &stop), VFW_E_MEDIA_TIME_NOT_SET);
    AM_MEDIA_TYPE* noType = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    EXPECT_EQ(again->GetMediaType(&noType), S_FALSE);
    EXPECT_EQ(noType, nullptr);
    again->Release();
    b->Release();
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
}

TEST_F(CoreAllocator, GetBufferBlocksUntilABufferComesBack)
{
    Configure(1, 16);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&held, nullptr, nullptr, 0), S_OK);

    IMediaSample* got = nullptr;
    HRESULT result = E_FAIL;
    std::thread waiter([&] { result = m_alloc->GetBuffer(&got, nullptr, nullptr, 0); });
    ASSERT_TRUE(m_watched->WaitForWaiters(1));
    held->Release();
    waiter.join();
    EXPECT_EQ(result, S_OK);
    EXPECT_EQ(got, held);
    EXPECT_EQ(m_watched->Waiting(), 0);
    got->Release();
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
}

TEST_F(CoreAllocator, DecommitWakesEveryBlockedThreadWithNotCommitted)
{
    Configure(1, 16);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&held, nullptr, nullptr, 0), S_OK);

    IMediaSample* got[2] = {reinterpret_cast<IMediaSample*>(1), reinterpret_cast<IMediaSample*>(1)};
    HRESULT results[2] = {S_OK, S_OK};
    std::thread first([&] { results[0] = m_alloc->GetBuffer(&got[0], nullptr, nullptr, 0); });
    std::thread second([&] { results[1] = m_alloc->GetBuffer(&got[1], nullptr, nullptr, 0); });
    ASSERT_TRUE(m_watched->WaitForWaiters(2));
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    first.join();
    second.join();
    EXPECT_EQ(results[0], VFW_E_NOT_COMMITTED);
    EXPECT_EQ(results[1], VFW_E_NOT_COMMITTED);
    EXPECT_EQ(got[0], nullptr);
    EXPECT_EQ(got[1], nullptr);

    // The buffer still out keeps the pool (and the allocator) alive until it
    // comes back; then the decommit completes.
    EXPECT_EQ(RefCount(m_alloc), 2u);
    EXPECT_EQ(m_alloc->Release(), 1u); // the test's reference: only the pool's is left
    m_alloc = nullptr;
    EXPECT_EQ(held->Release(), 0u); // the last buffer back: the allocator goes
}

TEST_F(CoreAllocator, CommitCancelsAPendingDecommit)
{
    Configure(2, 16);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&held, nullptr, nullptr, 0), S_OK);
    BYTE* before = nullptr;
    held->GetPointer(&before);
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    ASSERT_EQ(m_alloc->Commit(), S_OK);
    EXPECT_EQ(RefCount(m_alloc), 2u); // one self-reference, not two
    held->Release();
    IMediaSample* sample = nullptr;
    ASSERT_EQ(m_alloc->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    BYTE* after = nullptr;
    sample->GetPointer(&after);
    EXPECT_EQ(after, before); // same pool, not reallocated
    sample->Release();
    ASSERT_EQ(m_alloc->Decommit(), S_OK);
    EXPECT_EQ(RefCount(m_alloc), 1u);
}

TEST_F(CoreAllocator, AllocatorInterfacesAndFactory)
{
    IUnknown* unknown = nullptr;
    ASSERT_EQ(m_alloc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    unknown->Release();
    IMediaSample* wrong = reinterpret_cast<IMediaSample*>(1);
    EXPECT_EQ(m_alloc->QueryInterface(IID_IMediaSample, reinterpret_cast<void**>(&wrong)),
              E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    IMemAllocator* made = nullptr;
    ASSERT_EQ(CreateMemoryAllocator(&made), S_OK);
    EXPECT_EQ(RefCount(made), 1u);
    EXPECT_EQ(made->Release(), 0u);
    EXPECT_EQ(CreateMemoryAllocator(nullptr), E_POINTER);
}

// ---- Samples ----

class CoreSample : public CoreAllocator {
protected:
    void SetUp() override
    {
        CoreAllocator::SetUp();
        Configure(1, 64);
        ASSERT_EQ(m_alloc->Commit(), S_OK);
        ASSERT_EQ(m_alloc->GetBuffer(&m_sample, nullptr, nullptr, 0), S_OK);
    }
    void TearDown() override
    {
        EXPECT_EQ(m_sample->Release(), 0u);
        EXPECT_EQ(m_alloc->Decommit(), S_OK);
        CoreAllocator::TearDown();
    }
    IMediaSample* m_sample = nullptr;
};

TEST_F(CoreSample, TimesAndMediaTimes)
{
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    EXPECT_EQ(m_sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(m_sample->GetTime(nullptr, &stop), E_POINTER);
    EXPECT_EQ(m_sample->GetTime(&start, nullptr), E_POINTER);

    REFERENCE_TIME s = 1000;
    REFERENCE_TIME e = 2000;
    ASSERT_EQ(m_sample->SetTime(&s, &e), S_OK);
    ASSERT_EQ(m_sample->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 2000);
    // A start without a stop: the stop reads as start + 1.
    ASSERT_EQ(m_sample->SetTime(&s, nullptr), S_OK);
    ASSERT_EQ(m_sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 1001);
    ASSERT_EQ(m_sample->SetTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(m_sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

    LONGLONG ms = 5;
    LONGLONG me = 9;
    EXPECT_EQ(m_sample->SetMediaTime(&ms, nullptr), E_POINTER);
    ASSERT_EQ(m_sample->SetMediaTime(&ms, &me), S_OK);
    LONGLONG gs = 0;
    LONGLONG ge = 0;
    ASSERT_EQ(m_sample->GetMediaTime(&gs, &ge), S_OK);
    EXPECT_EQ(gs, 5);
    EXPECT_EQ(ge, 9);
    ASSERT_EQ(m_sample->SetMediaTime(nullptr, nullptr), S_OK);
    EXPECT_EQ(m_sample->GetMediaTime(&gs, &ge), VFW_E_MEDIA_TIME_NOT_SET);
}

TEST_F(CoreSample, FlagsLengthAndPointer)
{
    EXPECT_EQ(m_sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(m_sample->SetSyncPoint(TRUE), S_OK);
    EXPECT_EQ(m_sample->IsSyncPoint(), S_OK);
    EXPECT_EQ(m_sample->SetSyncPoint(FALSE), S_OK);
    EXPECT_EQ(m_sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(m_sample->SetPreroll(TRUE), S_OK);
    EXPECT_EQ(m_sample->IsPreroll(), S_OK);
    EXPECT_EQ(m_sample->SetDiscontinuity(TRUE), S_OK);
    EXPECT_EQ(m_sample->IsDiscontinuity(), S_OK);

    EXPECT_EQ(m_sample->GetSize(), 64);
    EXPECT_EQ(m_sample->SetActualDataLength(64), S_OK);
    EXPECT_EQ(m_sample->GetActualDataLength(), 64);
    EXPECT_EQ(m_sample->SetActualDataLength(65), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(m_sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(m_sample->GetActualDataLength(), 64);
    EXPECT_EQ(m_sample->SetActualDataLength(0), S_OK);
    EXPECT_EQ(m_sample->GetPointer(nullptr), E_POINTER);
}

TEST_F(CoreSample, AttachedMediaTypeIsCopiedBothWays)
{
    CMediaType type = TvMakeVideoType(MEDIASUBTYPE_RGB32, 2, 2, 32, BI_RGB);
    ASSERT_EQ(m_sample->SetMediaType(&type), S_OK);
    type.SetSubtype(&MEDIASUBTYPE_RGB24); // the sample kept its own copy
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(m_sample->GetMediaType(&got), S_OK);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->subtype, MEDIASUBTYPE_RGB32);
    EXPECT_NE(got->pbFormat, nullptr);
    DeleteMediaType(got);
    EXPECT_EQ(m_sample->GetMediaType(nullptr), E_POINTER);
    ASSERT_EQ(m_sample->SetMediaType(nullptr), S_OK);
    EXPECT_EQ(m_sample->GetMediaType(&got), S_FALSE);
    EXPECT_EQ(got, nullptr);
}

TEST_F(CoreSample, Sample2PropertiesReadAndWrite)
{
    IMediaSample2* sample2 = nullptr;
    ASSERT_EQ(m_sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)),
              S_OK);
    EXPECT_EQ(RefCount(m_sample), 2u);

    REFERENCE_TIME s = 100;
    REFERENCE_TIME e = 200;
    m_sample->SetTime(&s, &e);
    m_sample->SetSyncPoint(TRUE);
    m_sample->SetActualDataLength(10);
    AM_SAMPLE2_PROPERTIES props{};
    ASSERT_EQ(sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)), S_OK);
    EXPECT_EQ(props.cbData, sizeof(props));
    EXPECT_EQ(props.dwSampleFlags,
              (DWORD)(AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID));
    EXPECT_EQ(props.lActual, 10);
    EXPECT_EQ(props.tStart, 100);
    EXPECT_EQ(props.tStop, 200);
    EXPECT_EQ(props.cbBuffer, 64);
    EXPECT_EQ(props.pMediaType, nullptr);
    BYTE* data = nullptr;
    m_sample->GetPointer(&data);
    EXPECT_EQ(props.pbBuffer, data);

    // Only the asked-for bytes are written.
    AM_SAMPLE2_PROPERTIES partial;
    memset(&partial, 0xEE, sizeof(partial));
    ASSERT_EQ(sample2->GetProperties(8, reinterpret_cast<BYTE*>(&partial)), S_OK);
    EXPECT_EQ(partial.cbData, 8u);
    EXPECT_EQ(partial.dwSampleFlags, 0xEEEEEEEEu);

    // Writing: a new time, a type, a length; the buffer cannot move.
    CMediaType type(&MEDIATYPE_Audio);
    AM_SAMPLE2_PROPERTIES in = props;
    in.dwSampleFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID | AM_SAMPLE_TYPECHANGED |
                       AM_SAMPLE_DATADISCONTINUITY;
    in.tStart = 300;
    in.tStop = 400;
    in.lActual = 20;
    in.pMediaType = &type;
    ASSERT_EQ(sample2->SetProperties(sizeof(in), reinterpret_cast<const BYTE*>(&in)), S_OK);
    REFERENCE_TIME gs = 0;
    REFERENCE_TIME ge = 0;
    ASSERT_EQ(m_sample->GetTime(&gs, &ge), S_OK);
    EXPECT_EQ(gs, 300);
    EXPECT_EQ(ge, 400);
    EXPECT_EQ(m_sample->GetActualDataLength(), 20);
    EXPECT_EQ(m_sample->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(m_sample->IsDiscontinuity(), S_OK);
    AM_MEDIA_TYPE* got = nullptr;
    ASSERT_EQ(m_sample->GetMediaType(&got), S_OK);
    EXPECT_EQ(got->majortype, MEDIATYPE_Audio);
    DeleteMediaType(got);

    AM_SAMPLE2_PROPERTIES bad = in;
    bad.pbBuffer = data + 1;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)),
              E_INVALIDARG);
    bad = in;
    bad.cbBuffer = 65;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)),
              E_INVALIDARG);
    bad = in;
    bad.lActual = 65;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)),
              E_INVALIDARG);
    bad = in;
    bad.dwSampleFlags = 0x20; // the media-time bit is not a property
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)),
              E_INVALIDARG);
    bad = in;
    bad.pMediaType = nullptr;
    EXPECT_EQ(sample2->SetProperties(sizeof(bad), reinterpret_cast<const BYTE*>(&bad)), E_POINTER);
    EXPECT_EQ(sample2->SetProperties(sizeof(in) + 4, reinterpret_cast<const BYTE*>(&in)),
              E_INVALIDARG);
    // Times declared valid must be given.
    AM_SAMPLE2_PROPERTIES shortRecord = in;
    shortRecord.cbData = offsetof(AM_SAMPLE2_PROPERTIES, tStart);
    EXPECT_EQ(
        sample2->SetProperties(shortRecord.cbData, reinterpret_cast<const BYTE*>(&shortRecord)),
        E_INVALIDARG);
    // Nothing changed by the refused calls.
    EXPECT_EQ(m_sample->GetActualDataLength(), 20);
    EXPECT_EQ(sample2->GetProperties(sizeof(props), nullptr), E_POINTER);

    // Flags without the type bit drop the type.
    in.dwSampleFlags = AM_SAMPLE_SPLICEPOINT;
    ASSERT_EQ(sample2->SetProperties(sizeof(in), reinterpret_cast<const BYTE*>(&in)), S_OK);
    EXPECT_EQ(m_sample->GetMediaType(&got), S_FALSE);
    EXPECT_EQ(m_sample->GetTime(&gs, &ge), VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(m_sample->IsSyncPoint(), S_OK);
    sample2->Release();
}

TEST(CoreSampleAlone, ASampleWithoutAnAllocatorDeletesItself)
{
    const LONG before = CBaseObject::ObjectsActive();
    BYTE buffer[8];
    HRESULT hr = S_OK;
    CMediaSample* sample =
        new CMediaSample(NAME("Loose sample"), nullptr, &hr, buffer, sizeof(buffer));
    EXPECT_EQ(hr, S_OK);
    sample->AddRef();
    EXPECT_EQ(sample->SetPointer(buffer, -1), E_INVALIDARG);
    EXPECT_EQ(sample->SetPointer(buffer, 4), S_OK);
    EXPECT_EQ(sample->GetSize(), 4);
    EXPECT_EQ(sample->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), before);
}

} // namespace
