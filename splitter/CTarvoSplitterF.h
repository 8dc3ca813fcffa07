// CTarvoSplitterF: the stream splitter ("New Tarvo Splitter Filter"). It takes
// the encoder's byte stream either pushed by the network source (push mode)
// or pulled from a record file through the file reader's IAsyncReader (pull
// mode), recognises the stream, cuts it into frames, paces their delivery and
// delivers untimed samples on "Video Out" and PCM on "Audio Out". The player
// drives it through ITarvoSplt.
//
// Threads and what they run:
//   application thread  graph control (Stop, Pause, Run, connections, the
//                       pins' CheckConnect/BreakConnect/Active/Inactive),
//                       ITarvoSplt, the video pin's IMediaPosition, GetMediaType
//   upstream streaming  the input pin's Receive: appends to the receive ring
//   thread              and, while "Video Out" is unconnected, runs stream
//                       detection; with CodecKind 512, CFrameQueue::AddFrame
//   delivery thread     one per filter, from construction to destruction: one
//                       live step (push mode), file step (pull mode) or frame
//                       queue step (CodecKind 512) per turn, then the wait the
//                       step asks for; it delivers on "Video Out" and hands
//                       audio to "Audio Out" (AddAudio)
//   output queue thread the video pin's COutputQueue (created in Active): calls
//                       the downstream pin's Receive
//   audio thread        the audio pin's (see CTarvoSplitterAudioOutputPin.h)
//   request thread      the frame queue's (see CFrameQueue.h)
//
// Locks (outermost first; a thread never takes an outer lock while holding an
// inner one):
//   m_filterLock   the CBaseFilter lock, shared by the pins: state, connections,
//                  IMediaPosition. Never taken by the delivery, audio or
//                  upstream streaming thread.
//   m_streamLock   held by the delivery thread for each step; Stop takes it
//                  after the pins went inactive (which wakes a step blocked
//                  for a buffer or sleeping), so that no step runs once Stop
//                  returns and the pins may be disconnected.
//   m_parserLock   the parser and file-mode frame reads.
//   m_ringLock     the receive ring, the kinds, the sequence header, the
//                  stream format, the live-step state, the TS parser and the
//                  frame queue pointer. Never held while waiting: not for a
//                  buffer, not for pacing, not while delivering.
// The frame queue, the pins' output queue and the audio pin have locks of
// their own, taken inside these.
//
// Waits of the delivery thread end at once when the filter stops (the inactive
// event) or is destroyed (the thread-stop event).
#pragma once

#include "CBaseParser.h"
#include "CClockPacer.h"
#include "CFrameQueue.h"
#include "CLiveStep.h"
#include "CReceiveRing.h"
#include "HiVoiceDec.h"
#include "ITarvoSplt.h"
#include "SequenceHeader.h"
#include "StreamInfo.h"
#include "TSParser.h"

#include <streams.h>

#include <atomic>
#include <memory>

class CTarvoSplitterInputPin;
class CTarvoSplitterVideoOutputPin;
class CTarvoSplitterAudioOutputPin;

extern const AMOVIESETUP_FILTER sudTarvoSplitter;

// Graph events the splitter sends (EC_USER with these as the first parameter).
inline constexpr LONG_PTR kSplitterEventEndOfFile = 10001;
inline constexpr LONG_PTR kSplitterEventFirstAudio = 10010;
inline constexpr LONG_PTR kSplitterEventFirstVideo = 10011;

// A snapshot of what the splitter knows of the stream (GetStreamState).
struct SplitterStreamState {
    int32_t codecKind = 0;
    int32_t containerKind = 0;
    int32_t sequenceHeaderLength = 0;
    StreamFormat format;
    int32_t interlaced = 1;
};

class CTarvoSplitterF : public CBaseFilter, public ITarvoSplt {
public:
    static constexpr size_t kRingSize = CReceiveRing::kDefaultSize;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // ITarvoSplt (application thread; slot order as declared there).
    STDMETHODIMP SetStreamType(int codecKind) override;
    STDMETHODIMP RemoveDownstream() override;
    STDMETHODIMP GetReceiveRates(UINT milliseconds, int* videoBytes, int* audioBytes) override;
    STDMETHODIMP SetNoWait(int noWait) override;
    STDMETHODIMP GetVodRange(int* range) override;
    STDMETHODIMP SetVodRange(int start, int end) override;
    STDMETHODIMP SetVodCallback(VodRequestCallback callback, int context) override;
    STDMETHODIMP ResumeVodRequests(int ignored) override;
    STDMETHODIMP SetPlayMode(int playMode) override;

    // CBaseFilter. Pins: 0 "Input", 1 "Video Out", 2 "Audio Out".
    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int n) override;
    // Resets the ring, the live-step state and the frame queue first, then the
    // base Stop, then waits until no delivery step runs.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoSplitter; }

    // ---- For the pins ----

    // Push mode (upstream streaming thread): the sample's bytes.
    void ReceiveBytes(const BYTE* data, LONG length);
    // Pull mode (application thread, filter lock held): windowed detection over
    // the file and the parser for it. S_OK when a parser was created and opened.
    HRESULT ProbeFile(IAsyncReader* reader, const char* fileName);
    // BreakConnect of the input pin: ring and queue emptied as by Stop, kinds
    // back to 0 (through SetStreamType).
    void ResetInput();
    // The frame queue when there is one (it lives as long as the filter).
    CFrameQueue* FrameQueue();
    // Builds the video pin's media type (position 0) from the stream state.
    HRESULT VideoMediaType(CMediaType* pmt);
    SplitterStreamState GetStreamState();

    // File-mode positioning for the video pin's IMediaPosition (filter lock
    // held by the caller). False without a parser in pull mode.
    bool HasFileParser();
    // Each runs fn on the parser under the parser lock; false without one.
    template <typename Fn> bool WithParser(Fn fn)
    {
        CAutoLock lock(&m_parserLock);
        if (!m_parser)
            return false;
        fn(*m_parser);
        return true;
    }
    // A seek or rate change: the next file frame is delivered without waiting.
    void MarkNewSegment() { m_newSegment = true; }
    void SetPlayDirection(int direction) { m_playDirection = direction; }

    // Where file parsers come from (the record-file parsers by default).
    void SetParserFactory(ParserFactory factory);

    // The live step's prebuffer threshold now (for the configuration tests).
    size_t PrebufferThreshold();
    // Turns of the delivery thread in push mode so far (for measurements and
    // the tests of its waits). Any thread.
    LONGLONG LiveSteps() const { return m_liveSteps.load(std::memory_order_relaxed); }

    // A live turn that finds nothing to cut and would sleep less than this
    // waits instead for the next bytes to come, up to this long.
    static constexpr DWORD kWaitForBytesMs = 40;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CTarvoSplitterF(LPUNKNOWN pUnk, HRESULT* phr);
    ~CTarvoSplitterF() override;

    // Ring lock held: detection, sequence header and stream format over bytes
    // (streamEnd: they reach the end of a file, no more will come). True once
    // the kinds are known and a sequence header is kept.
    bool AnalyseLocked(std::span<const uint8_t> bytes, bool streamEnd = false);
    // Ring lock held: a new stream (other kinds): header, format and live-step
    // state start afresh.
    void ResetStreamLocked();

    // Delivery thread.
    static DWORD DeliveryThreadProc(LPVOID param);
    void DeliveryLoop();
    void LiveStep();
    void FileStep();
    void QueueStep(IMediaSample* sample);
    // Waits up to ms; false when the thread must end or the filter stopped.
    bool WaitFor(DWORD ms);
    // As WaitFor, and ends early when Receive brings bytes.
    bool WaitForBytes(DWORD ms);
    // Decodes one live voice frame into 800 samples and hands the PCM to
    // "Audio Out"; a frame that fails or gives no samples is dropped.
    void DeliverVoice(const std::vector<uint8_t>& payload);

    // ---- members, grouped by what guards them ----

    // Written under m_ringLock once (SetStreamType(512)); lives until destruction.
    std::unique_ptr<CFrameQueue> m_frameQueue;

    CCritSec m_filterLock;
    // Created in the constructor, deleted in the destructor; never change.
    CTarvoSplitterInputPin* m_pInput = nullptr;
    CTarvoSplitterVideoOutputPin* m_pVideo = nullptr;
    CTarvoSplitterAudioOutputPin* m_pAudio = nullptr;

    CCritSec m_streamLock;

    CCritSec m_ringLock;
    // guarded by m_ringLock
    CReceiveRing m_ring;
    TSParser m_tsParser;
    int32_t m_codecKind = 0;
    int32_t m_containerKind = 0;
    SequenceHeader m_sequenceHeader;
    StreamFormat m_format;
    // 1 until the stream says otherwise (QBox kinds 6 and 7 take it only from a
    // device header, so without one it stays as it was).
    int32_t m_interlaced = 1;
    CLiveStep m_liveStep;

    CCritSec m_parserLock;
    // guarded by m_parserLock
    std::unique_ptr<CBaseParser> m_parser;
    ParserFactory m_parserFactory;

    // Any thread.
    std::atomic<int> m_playMode{0};
    std::atomic<bool> m_noWait{false};
    std::atomic<bool> m_newSegment{true};
    std::atomic<int> m_playDirection{1}; // 1 forward, 4 reverse

    // Delivery thread only.
    CClockPacer m_pacer;
    int64_t m_prevFrameTime = 0;   // 100 ns, file mode
    int64_t m_lastDeliveryMs = -1; // GetTickCount64 of the last file frame
    std::vector<uint8_t> m_stepAudio;
    // The voice decoder's state for live voice frames (reset in the constructor).
    HI_VOICE_DEC_STATE m_voiceState{};

    // Manual-reset events: the thread's end (destruction), the filter active
    // (paused or running) and the filter stopped.
    CAMEvent m_threadStop{TRUE};
    CAMEvent m_activeEvent{TRUE};
    CAMEvent m_inactiveEvent{TRUE};
    // Auto-reset: set by each Receive that appended bytes to the ring.
    CAMEvent m_bytesEvent{FALSE};
    std::atomic<LONGLONG> m_liveSteps{0};
    HANDLE m_hThread = nullptr;
};
