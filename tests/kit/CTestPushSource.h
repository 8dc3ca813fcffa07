// CTestPushSource: a source filter with one output pin "Output", built on the
// base classes. Two ways to feed it:
//   - scripted: SetSamples before pausing; its own streaming thread (started
//     on every stop -> pause) delivers them, then optionally end of stream;
//   - pushed: the test calls Deliver* itself, on its own thread or through
//     DeliverAsync; UseOwnThread(false) keeps the scripted thread from
//     starting (TvHarness does this).
// Quality messages that reach the output pin are recorded.
//
// Threads: the setters are called while the filter is stopped, on the test
// thread; Deliver* run on the calling thread and block as the downstream pin
// blocks; the readers and Wait* may be called from any thread.
// Ownership: Create returns a reference the caller releases; samples carrying
// a media type (TvTestSample::type) must outlive the delivery.
#pragma once

#include <future>
#include <optional>
#include <vector>

#include <streams.h>

// One sample the source delivers.
struct TvTestSample {
    bool hasTime = false;
    REFERENCE_TIME start = 0;
    bool hasStop = true; // with hasTime: SetTime(start, stop) or SetTime(start, null)
    REFERENCE_TIME stop = 0;
    bool syncPoint = true;
    bool discontinuity = false;
    // The content: these bytes (cut to the buffer's size) when not empty, else
    // `length` bytes of the sample's index (wrapping at 256).
    std::vector<BYTE> bytes;
    LONG length = 16;
    const AM_MEDIA_TYPE* type = nullptr; // attached with SetMediaType when set
};

// A sample with start and stop times (and those bytes when given, else the
// default length of index bytes); a sync point, no discontinuity.
TvTestSample TvTimedSample(REFERENCE_TIME start, REFERENCE_TIME stop, std::vector<BYTE> bytes = {});

class CTestPushSource : public CBaseFilter {
public:
    // A filter with a reference count of 1 (the caller releases it). types: the
    // output pin's media types in preference order (positions 0..n-1).
    static CTestPushSource* Create(const std::vector<CMediaType>& types, HRESULT* phr = nullptr);

    // ---- Scripted delivery (own streaming thread) ----

    // Before pausing: what the streaming thread delivers each time the filter
    // goes from stopped to paused; endOfStream adds EndOfStream after the last
    // sample; newSegment first sends NewSegment(0, stop, 1.0) when set.
    void SetSamples(const std::vector<TvTestSample>& samples, bool endOfStream = true);
    void SetNewSegment(bool send, REFERENCE_TIME stop = 0x7FFFFFFFFFFFFFFFLL);
    // False: no streaming thread of its own; only Deliver* deliver (default true).
    void UseOwnThread(bool own);

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

    // ---- Pushed delivery (the caller's thread) ----

    // Takes a buffer (blocking while every buffer is out), fills it and
    // delivers it; the downstream answer, or the buffer failure.
    HRESULT Deliver(const TvTestSample& sample);
    // Only bytes, no sync point: a null start sends no times, a null stop
    // the start alone; newType is attached to the sample when given.
    HRESULT Deliver(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start = nullptr,
                    const REFERENCE_TIME* stop = nullptr, const AM_MEDIA_TYPE* newType = nullptr);
    // The same on a thread of its own (for a downstream pin that may block).
    std::future<HRESULT> DeliverAsync(TvTestSample sample);
    std::future<HRESULT> DeliverAsync(std::vector<uint8_t> bytes,
                                      std::optional<REFERENCE_TIME> start = {},
                                      std::optional<REFERENCE_TIME> stop = {});
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    // ---- Allocator and quality ----

    // What DecideBufferSize asks for (default 2 buffers of 1024 bytes, align 1).
    void SetAllocatorRequest(LONG buffers, LONG bufferSize, LONG align = 1, LONG prefix = 0);
    // The properties the allocator actually granted at the last connection.
    ALLOCATOR_PROPERTIES GrantedProperties();
    // What the output pin answers IQualityControl::Notify with (default
    // E_NOTIMPL, as a pin that does not act on quality).
    void SetQualityAnswer(HRESULT answer);
    // Every quality message the output pin received, in order.
    std::vector<Quality> QualityMessages();

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
