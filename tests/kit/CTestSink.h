// CTestSink: a sink filter with one input pin "Input", built on the base
// classes, that records every sample and stream event it receives. It can
// keep the samples (to empty the upstream pool), block in Receive until it is
// flushed or stopped, keep every byte it receives, and hand each sample to a
// function of the test's.
//
// Threads: the setters are called while the filter is stopped, on the test
// thread (SetHoldSamples and SetBlockInReceive at any time); Receive and the
// stream events arrive on the upstream streaming thread; the readers, Pull
// and the Wait* calls may be called from any thread.
// Ownership: Create returns a reference the caller releases; held samples
// are released at ReleaseHeldSamples, at the stop, or with the filter.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <streams.h>

// A stream event as the sink saw it.
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
    std::vector<BYTE> bytes;  // the first bytes (SetKeepBytes: 16 unless set)
    bool typeChanged = false; // the sample carried a media type
    // NewSegment.
    REFERENCE_TIME segmentStart = 0;
    REFERENCE_TIME segmentStop = 0;
    double rate = 0.0;
};

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
    // How many bytes of each sample its event keeps (default 16; SIZE_MAX
    // keeps them all, which Bytes() then returns in order).
    void SetKeepBytes(size_t bytesPerSample);
    // Called on the streaming thread with every sample the pin accepts,
    // before it is recorded (for a check of the test's own).
    void SetReceiveHook(std::function<void(IMediaSample*)> hook);

    std::vector<TvStreamEvent> Events();
    std::vector<TvStreamEvent> Samples(); // only the Sample events
    size_t SampleCount();
    size_t EventCount(TvStreamEvent::Kind kind);
    // The kept bytes of every sample received, in order.
    std::string Bytes();
    size_t ByteCount(); // the size of Bytes()
    // The next sample not pulled before (in order), waiting up to timeoutMs
    // for it to arrive; nothing after the time-out.
    std::optional<TvStreamEvent> PullSample(DWORD timeoutMs = 10000);
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
