// Test kit for the DirectShow runtime tests (static library tvdshow_testkit,
// include "TestFilters.h"). Everything here is built on the base classes, so a
// test that uses these filters also exercises CBaseFilter, the pins and the
// allocators.
//
//   TvDshowLeakCheck   a fixture that fails a test which leaves COM objects
//                      alive (every CUnknown, enumerator, allocator and sample
//                      counts, see CBaseObject::ObjectsActive), and RefCount()
//                      to read an object's reference count exactly.
//   CTestPushSource    a source with one output pin "Output" and its own
//                      streaming thread: from the moment it is paused it
//                      delivers the samples it was given (times, flags, bytes),
//                      then optionally end of stream.
//   CTestSink          a sink with one input pin "Input" that records every
//                      sample and stream event it receives; it can hold the
//                      samples (to empty the upstream pool) or block in Receive
//                      until it is flushed or stopped.
//   CTestGraph         a stand-in graph for JoinFilterGraph: IFilterGraph (only
//                      Reconnect is answered) and IMediaEventSink, recording
//                      the events filters send.
//   CTestClock         an IReferenceClock whose time the test sets; advise
//                      requests fire when the time passes them.
//   TvMakeVideoType    VIDEOINFOHEADER / VIDEOINFOHEADER2 types for tests.
//
// Waiting helpers take a time-out only as a safety net against a hung test
// (they return false when it passes); no test result depends on timing.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <streams.h>

// ---- Leak checking and reference counts ----

// The reference count of an object right now (AddRef, then Release).
ULONG RefCount(IUnknown* unknown);

// Derive test fixtures from this: TearDown fails the test when the number of
// live COM objects (CBaseObject::ObjectsActive) differs from SetUp's.
class TvDshowLeakCheck : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    LONG m_objectsAtStart = 0;
};

// ---- Media types ----

// MEDIATYPE_Video, the given subtype, FORMAT_VideoInfo with a VIDEOINFOHEADER:
// width x height, bitCount bits, biCompression (BI_RGB or a FOURCC),
// biSizeImage = GetBitmapSize, AvgTimePerFrame avgTimePerFrame; fixed-size
// samples of biSizeImage.
CMediaType TvMakeVideoType(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                           DWORD compression, REFERENCE_TIME avgTimePerFrame = 400000);
// The same with FORMAT_VideoInfo2 and a VIDEOINFOHEADER2.
CMediaType TvMakeVideoType2(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                            DWORD compression, REFERENCE_TIME avgTimePerFrame = 400000);

// ---- A stream event as the sink saw it ----

struct TvStreamEvent {
    enum class Kind { Sample, EndOfStream, BeginFlush, EndFlush, NewSegment };
    Kind kind = Kind::Sample;
    // Sample.
    HRESULT timeResult = VFW_E_SAMPLE_TIME_NOT_SET; // IMediaSample::GetTime
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    LONG length = 0;          // actual data length
    std::vector<BYTE> bytes;  // the first bytes (up to 16, see CTestSink::SetKeepBytes)
    bool typeChanged = false; // the sample carried a media type
    CMediaType type;          // that type
    // NewSegment.
    REFERENCE_TIME segmentStart = 0;
    REFERENCE_TIME segmentStop = 0;
    double rate = 0.0;
};

// ---- Source ----

// One sample the source delivers.
struct TvTestSample {
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    bool hasStop = true; // with hasTime: SetTime(start, stop) or SetTime(start, null)
    REFERENCE_TIME stop = 0;
    bool syncPoint = true;
    bool discontinuity = false;
    LONG length = 16;                    // bytes filled (value: the sample's index, wrapping)
    std::vector<BYTE> bytes;             // when not empty: the sample's bytes (length unused)
    const AM_MEDIA_TYPE* type = nullptr; // attached with SetMediaType when set
};

class CTestPushSource : public CBaseFilter {
public:
    // A filter with a reference count of 1 (the caller releases it). types: the
    // output pin's media types in preference order (positions 0..n-1).
    static CTestPushSource* Create(const std::vector<CMediaType>& types, HRESULT* phr = nullptr);

    // Before pausing: what the streaming thread delivers each time the filter
    // goes from stopped to paused; endOfStream adds EndOfStream after the last
    // sample; newSegment first sends NewSegment(0, stop, 1.0) when set.
    void SetSamples(const std::vector<TvTestSample>& samples, bool endOfStream = true);
    void SetNewSegment(bool send, REFERENCE_TIME stop = 0x7FFFFFFFFFFFFFFFLL);
    // What DecideBufferSize asks for (default 2 buffers of 1024 bytes, align 1).
    void SetAllocatorRequest(LONG buffers, LONG bufferSize, LONG align = 1, LONG prefix = 0);
    // The properties the allocator actually granted at the last connection.
    ALLOCATOR_PROPERTIES GrantedProperties();

    // Streaming-thread outcome of the current (or last) run from pause to
    // stop, readable from any thread.
    // Results of every Deliver call, in order.
    std::vector<HRESULT> DeliverResults();
    // The last failure of GetDeliveryBuffer (S_OK when none), e.g.
    // VFW_E_NOT_COMMITTED when a stop woke the thread blocked in it.
    HRESULT LastBufferResult();
    // Whether the thread is blocked in GetDeliveryBuffer right now.
    bool WaitingForBuffer();
    // Waits until n Deliver calls have returned, or until the thread blocks
    // for a buffer, or until it has finished (false after timeoutMs).
    bool WaitForDeliveries(size_t n, DWORD timeoutMs = 10000);
    bool WaitUntilWaitingForBuffer(DWORD timeoutMs = 10000);
    bool WaitUntilFinished(DWORD timeoutMs = 10000);

    CBaseOutputPin* OutputPin();
    IPin* Output(); // not add-referenced

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

private:
    class COutput;
    class CStreamThread;
    CTestPushSource(const std::vector<CMediaType>& types, HRESULT* phr);
    ~CTestPushSource() override;

    CCritSec m_filterLock;
    COutput* m_pOutput = nullptr;
    CStreamThread* m_pThread = nullptr;
};

// ---- Sink ----

class CTestSink : public CBaseFilter {
public:
    // acceptedMajor: the major type the pin accepts (GUID_NULL: any type). The
    // pin offers exactly one type (position 0) with that major type when it
    // is not GUID_NULL, none otherwise.
    static CTestSink* Create(const GUID& acceptedMajor = GUID_NULL, HRESULT* phr = nullptr);

    // Decides acceptance instead of the major type (called on the thread that
    // connects, with the filter lock held).
    void SetAcceptFunction(std::function<HRESULT(const CMediaType*)> accept);
    // What GetAllocatorRequirements answers (default E_NOTIMPL).
    void SetAllocatorRequirements(const ALLOCATOR_PROPERTIES& props);
    // Keep a reference to every sample received until ReleaseHeldSamples or
    // until the sink stops (default false).
    void SetHoldSamples(bool hold);
    void ReleaseHeldSamples();
    // Block in Receive (after recording the sample) until the pin is flushed
    // or the filter stops; that Receive then returns S_FALSE (default false).
    void SetBlockInReceive(bool block);
    // Whether a streaming thread is blocked in Receive right now.
    bool BlockedInReceive();
    // Send EC_COMPLETE to the graph on EndOfStream (default false).
    void SetNotifyComplete(bool notify);
    // How many of each sample's first bytes the events keep (default 16).
    void SetKeepBytes(LONG bytes);

    std::vector<TvStreamEvent> Events();
    std::vector<TvStreamEvent> Samples(); // only the Sample events
    size_t SampleCount();
    size_t EventCount(TvStreamEvent::Kind kind);
    // Waits until n samples were recorded / an EndOfStream arrived / a thread
    // blocks in Receive (false after timeoutMs).
    bool WaitForSamples(size_t n, DWORD timeoutMs = 10000);
    bool WaitForEndOfStream(DWORD timeoutMs = 10000);
    bool WaitUntilBlocked(DWORD timeoutMs = 10000);
    void ClearEvents();

    // Sends a quality message upstream from the input pin (to the connected
    // output pin's IQualityControl), as a renderer does; the upstream answer.
    HRESULT SendQuality(const Quality& q);

    CBaseInputPin* InputPin();
    IPin* Input(); // not add-referenced

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

private:
    class CInput;
    CTestSink(const GUID& acceptedMajor, HRESULT* phr);
    ~CTestSink() override;

    CCritSec m_filterLock;
    CInput* m_pInput = nullptr;
};

// ---- Graph stand-in ----

struct TvGraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class CTestGraph : public CUnknown, public IFilterGraph, public IMediaEventSink {
public:
    // Reference count 1.
    static CTestGraph* Create();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph: E_NOTIMPL except Reconnect (recorded, S_OK).
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IMediaEventSink: records the event (any thread), S_OK.
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    std::vector<TvGraphEvent> Events();
    bool WaitForEvent(LONG code, DWORD timeoutMs = 10000);
    std::vector<IPin*> Reconnects(); // not add-referenced

private:
    CTestGraph();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<TvGraphEvent> m_events; // guarded by m_lock
    std::vector<IPin*> m_reconnects;    // guarded by m_lock
};

// ---- Clock ----

class CTestClock : public CUnknown, public IReferenceClock {
public:
    // Reference count 1; the time starts at start.
    static CTestClock* Create(REFERENCE_TIME start = 0);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
    // Signals hEvent (an event handle) once baseTime + streamTime is reached.
    // E_INVALIDARG for a null event or a time below 0.
    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                            DWORD_PTR* pdwAdviseCookie) override;
    // Releases hSemaphore once at startTime and every periodTime after it.
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    // S_FALSE for an unknown cookie.
    STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

    // Moves the time (forward or back) and fires what has become due.
    void SetTime(REFERENCE_TIME now);
    void Advance(REFERENCE_TIME delta);
    size_t PendingAdvises();

private:
    explicit CTestClock(REFERENCE_TIME start);

    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        REFERENCE_TIME period; // 0: one-shot event
        HANDLE handle;
    };
    void FireDueLocked();

    std::mutex m_lock;
    REFERENCE_TIME m_now;          // guarded by m_lock
    DWORD_PTR m_nextCookie = 1;    // guarded by m_lock
    std::vector<Advise> m_advises; // guarded by m_lock
};
