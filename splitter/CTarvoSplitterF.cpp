#include "CTarvoSplitterF.h"

#include "CTarvoSplitterAudioOutputPin.h"
#include "CTarvoSplitterInputPin.h"
#include "CTarvoSplitterVideoOutputPin.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "SplitterConfig.h"
#include "SplitterMediaTypes.h"
#include "StreamDetect.h"
#include "TarvoGuids.h"

#include "win32/msgbox.h"
#include "win32/timefn.h"
#include "win32/trace.h"

#include <pthread.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <new>

namespace {

constexpr const char* kMessageCaption = "TarvoSplt";
// Live voice frames decode into a buffer of this many samples.
constexpr uint32_t kLiveVoiceSamples = 800;
// Every ITarvoSplt call is traced here with its arguments, its result and what
// it gives back.
constexpr const char* kTraceChannel = "splitter";
// The file probe reads the file in windows of the ring's size, up to five.
constexpr LONGLONG kProbeLimit = 0x1400000;

int64_t UtcNowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int ToInt(LONGLONG value)
{
    return static_cast<int>(std::clamp<LONGLONG>(value, INT32_MIN, INT32_MAX));
}

// Disconnects and removes every filter downstream of out, the farthest first.
void RemoveFiltersBehind(IFilterGraph* graph, IPin* out)
{
    IPin* in = nullptr;
    if (FAILED(out->ConnectedTo(&in)) || !in)
        return;
    PIN_INFO info{};
    if (SUCCEEDED(in->QueryPinInfo(&info)) && info.pFilter) {
        IEnumPins* pins = nullptr;
        if (SUCCEEDED(info.pFilter->EnumPins(&pins)) && pins) {
            IPin* pin = nullptr;
            while (pins->Next(1, &pin, nullptr) == S_OK) {
                PIN_DIRECTION direction = PINDIR_INPUT;
                if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT)
                    RemoveFiltersBehind(graph, pin);
                pin->Release();
            }
            pins->Release();
        }
        graph->Disconnect(out);
        graph->Disconnect(in);
        graph->RemoveFilter(info.pFilter);
        info.pFilter->Release();
    }
    in->Release();
}

} // namespace

CTarvoSplitterF::CTarvoSplitterF(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter("New Tarvo Splitter Filter", pUnk, &m_filterLock, CLSID_TarvoSplitterF, phr),
      m_ring(kRingSize), m_parserFactory(CreateFileParser)
{
    m_pInput = new (std::nothrow) CTarvoSplitterInputPin(this, &m_filterLock, phr);
    m_pVideo = new (std::nothrow) CTarvoSplitterVideoOutputPin(this, &m_filterLock, phr);
    m_pAudio = new (std::nothrow) CTarvoSplitterAudioOutputPin(this, &m_filterLock, phr);
    if ((!m_pInput || !m_pVideo || !m_pAudio) && phr)
        *phr = E_OUTOFMEMORY;

    if (HI_VOICE_DecReset(&m_voiceState, HI_VOICE_RESET_DECODE) != HI_VOICE_OK)
        MessageBoxA(nullptr, "音频解码初始化失败", kMessageCaption, MB_OK);

    PrebufferLevels levels;
    levels.initial = ReadPrebufferThreshold(kSplitterConfigPath, kRingSize);
    m_liveStep.SetPrebufferLevels(levels);

    m_inactiveEvent.Set();
    m_hThread = CreateThread(nullptr, 0, DeliveryThreadProc, this, 0, nullptr);
    if (!m_hThread) {
        MessageBoxA(nullptr, "fail to create thread.", kMessageCaption, MB_OK);
        if (phr)
            *phr = E_FAIL;
    }
}

CTarvoSplitterF::~CTarvoSplitterF()
{
    if (!IsStopped())
        Stop();
    m_threadStop.Set();
    m_inactiveEvent.Set();
    if (m_hThread) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
    delete m_pAudio;
    delete m_pVideo;
    delete m_pInput;
    {
        CAutoLock lock(&m_parserLock);
        m_parser.reset();
    }
    m_frameQueue.reset();
}

STDMETHODIMP CTarvoSplitterF::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_ITarvoSplt)
        return GetInterface(static_cast<ITarvoSplt*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* CTarvoSplitterF::GetPin(int n)
{
    switch (n) {
    case 0:
        return m_pInput;
    case 1:
        return m_pVideo;
    case 2:
        return m_pAudio;
    default:
        return nullptr;
    }
}

// ---- state ----

STDMETHODIMP CTarvoSplitterF::Stop()
{
    CAutoLock lock(&m_filterLock);
    // Ends the delivery thread's waits at once.
    m_activeEvent.Reset();
    m_inactiveEvent.Set();
    {
        CAutoLock ring(&m_ringLock);
        m_ring.Reset();
        m_liveStep.Reset();
    }
    if (CFrameQueue* queue = FrameQueue())
        queue->Clear();
    m_pVideo->ClearFirstSample();
    m_pAudio->ClearFirstSample();
    HRESULT hr = CBaseFilter::Stop();
    // The pins are inactive: a step waiting for a buffer got none. Once the
    // step in progress ends, none starts until the filter is active again.
    CAutoLock stream(&m_streamLock);
    return hr;
}

STDMETHODIMP CTarvoSplitterF::Pause()
{
    CAutoLock lock(&m_filterLock);
    const bool wasStopped = IsStopped();
    HRESULT hr = CBaseFilter::Pause();
    if (SUCCEEDED(hr) && wasStopped) {
        m_inactiveEvent.Reset();
        m_activeEvent.Set();
    }
    if (SUCCEEDED(hr) && m_pAudio)
        m_pAudio->OnPaused();
    return hr;
}

// ---- ITarvoSplt ----

STDMETHODIMP CTarvoSplitterF::SetStreamType(int codecKind)
{
    CTvTraceCall trace(kTraceChannel, "SetStreamType(%d)", codecKind);
    if (m_pVideo->IsOutputConnected())
        return trace(E_FAIL);
    CAutoLock ring(&m_ringLock);
    const int32_t container = (codecKind == CodecDeviceH264Clocked || codecKind == CodecFrameQueue)
                                  ? ContainerRaw
                                  : ContainerUnknown;
    const bool changed = codecKind != m_codecKind || container != m_containerKind;
    m_codecKind = codecKind;
    m_containerKind = container;
    if (codecKind == CodecFrameQueue && !m_frameQueue) {
        m_frameQueue = std::make_unique<CFrameQueue>();
        m_frameQueue->SetInterruptEvent(m_inactiveEvent);
    }
    if (changed)
        ResetStreamLocked();
    return trace(S_OK);
}

STDMETHODIMP CTarvoSplitterF::RemoveDownstream()
{
    CTvTraceCall trace(kTraceChannel, "RemoveDownstream()");
    if (IFilterGraph* graph = GetFilterGraph()) {
        RemoveFiltersBehind(graph, m_pVideo);
        RemoveFiltersBehind(graph, m_pAudio);
        // The builder keeps its other filters until Backout.
        m_pVideo->StreamBuilder().ReleaseRenderer(graph);
    }
    return trace(E_FAIL);
}

STDMETHODIMP CTarvoSplitterF::GetReceiveRates(UINT milliseconds, int* videoBytes, int* audioBytes)
{
    CTvTraceCall trace(kTraceChannel, "GetReceiveRates(%u, %p, %p)", milliseconds,
                       static_cast<void*>(videoBytes), static_cast<void*>(audioBytes));
    if (!videoBytes || !audioBytes)
        return trace(E_POINTER);
    if (milliseconds < 1 || milliseconds > 10000)
        return trace(E_INVALIDARG);
    const LONGLONG video0 = m_pVideo->DeliveredBytes();
    const LONGLONG audio0 = m_pAudio->DeliveredBytes();
    Sleep(milliseconds);
    const LONGLONG video1 = m_pVideo->DeliveredBytes();
    const LONGLONG audio1 = m_pAudio->DeliveredBytes();
    // A counter that went back was cleared meanwhile: count from 0.
    *videoBytes = ToInt(video1 - (video1 >= video0 ? video0 : 0));
    *audioBytes = ToInt(audio1 - (audio1 >= audio0 ? audio0 : 0));
    if (trace.On())
        trace.Detail("video %d, audio %d", *videoBytes, *audioBytes);
    return trace(S_OK);
}

STDMETHODIMP CTarvoSplitterF::SetNoWait(int noWait)
{
    CTvTraceCall trace(kTraceChannel, "SetNoWait(%d)", noWait);
    m_noWait = noWait != 0;
    return trace(S_OK);
}

STDMETHODIMP CTarvoSplitterF::GetVodRange(int* range)
{
    CTvTraceCall trace(kTraceChannel, "GetVodRange(%p)", static_cast<void*>(range));
    CFrameQueue* queue = FrameQueue();
    if (!queue)
        return trace(E_FAIL);
    if (!range)
        return trace(E_POINTER);
    queue->GetVodRange(&range[0], &range[1]);
    if (trace.On())
        trace.Detail("%d, %d", range[0], range[1]);
    return trace(S_OK);
}

STDMETHODIMP CTarvoSplitterF::SetVodRange(int start, int end)
{
    CTvTraceCall trace(kTraceChannel, "SetVodRange(%d, %d)", start, end);
    CFrameQueue* queue = FrameQueue();
    return trace(queue ? queue->SetVodRange(start, end) : E_FAIL);
}

STDMETHODIMP CTarvoSplitterF::SetVodCallback(VodRequestCallback callback, int context)
{
    CTvTraceCall trace(kTraceChannel, "SetVodCallback(%p, %d)", reinterpret_cast<void*>(callback),
                       context);
    CFrameQueue* queue = FrameQueue();
    if (!queue)
        return trace(E_FAIL);
    return trace(callback ? queue->SetVodCallback(callback, context) : -1);
}

STDMETHODIMP CTarvoSplitterF::ResumeVodRequests(int ignored)
{
    CTvTraceCall trace(kTraceChannel, "ResumeVodRequests(%d)", ignored);
    CFrameQueue* queue = FrameQueue();
    if (!queue)
        return trace(E_FAIL);
    queue->ResumeVodRequests();
    return trace(S_OK);
}

STDMETHODIMP CTarvoSplitterF::SetPlayMode(int playMode)
{
    CTvTraceCall trace(kTraceChannel, "SetPlayMode(%d)", playMode);
    m_playMode = playMode;
    return trace(S_OK);
}

// ---- stream state ----

CFrameQueue* CTarvoSplitterF::FrameQueue()
{
    CAutoLock ring(&m_ringLock);
    return m_frameQueue.get();
}

void CTarvoSplitterF::ResetStreamLocked()
{
    m_sequenceHeader.length = 0;
    m_format = StreamFormat{};
    m_interlaced = 1;
    m_liveStep.Configure(m_codecKind, m_containerKind, m_tsParser.VideoPid());
}

bool CTarvoSplitterF::AnalyseLocked(std::span<const uint8_t> bytes, bool streamEnd)
{
    if (m_codecKind == CodecUnknown || m_containerKind == ContainerUnknown) {
        StreamKinds kinds{m_codecKind, m_containerKind};
        DetectStream(bytes, kinds, m_tsParser, streamEnd);
        if (kinds.codecKind != m_codecKind || kinds.containerKind != m_containerKind) {
            m_codecKind = kinds.codecKind;
            m_containerKind = kinds.containerKind;
            ResetStreamLocked();
        }
    }
    // Whether device H.264 comes in frames is learnt here, from the stream's
    // first bytes, while they are all in the ring. The first bytes the
    // delivery thread looks at may come after a stop that emptied the ring
    // (the player stops the graph to build the chain) and begin inside a
    // frame, with no header in sight: judged from those alone, a framed
    // stream was cut as bare H.264 for good.
    if (m_codecKind == CodecDeviceH264 && m_liveStep.Framing() == DeviceFraming::Undecided &&
        CLiveStep::HasDeviceFrameHeader(bytes))
        m_liveStep.SetFraming(DeviceFraming::Device);
    if (m_codecKind != CodecUnknown && m_sequenceHeader.length == 0) {
        size_t n =
            ExtractSequenceHeader(bytes, m_codecKind, m_containerKind, m_sequenceHeader.data);
        StreamFormat format;
        // A header the stream description cannot read is not kept: a later one may be.
        if (n > 0 && DescribeStream(bytes, m_codecKind, m_containerKind,
                                    std::span<const uint8_t>(m_sequenceHeader.data, n), format)) {
            m_sequenceHeader.length = static_cast<int32_t>(n);
            m_format = format;
            DeviceGeometry geometry;
            const bool qboxKind = m_containerKind == ContainerQBox &&
                                  (m_codecKind == CodecHDH264 || m_codecKind == CodecMjpeg);
            if (!qboxKind || FindDeviceGeometry(bytes, geometry))
                m_interlaced = format.interlaced;
        }
    }
    return m_codecKind != CodecUnknown && m_sequenceHeader.length > 0;
}

SplitterStreamState CTarvoSplitterF::GetStreamState()
{
    CAutoLock ring(&m_ringLock);
    SplitterStreamState s;
    s.codecKind = m_codecKind;
    s.containerKind = m_containerKind;
    s.sequenceHeaderLength = m_sequenceHeader.length;
    s.format = m_format;
    s.interlaced = m_interlaced;
    return s;
}

HRESULT CTarvoSplitterF::VideoMediaType(CMediaType* pmt)
{
    CAutoLock ring(&m_ringLock);
    return BuildVideoMediaType(
        m_codecKind, m_format, m_interlaced,
        std::span<const uint8_t>(m_sequenceHeader.data,
                                 static_cast<size_t>(m_sequenceHeader.length)),
        pmt);
}

size_t CTarvoSplitterF::PrebufferThreshold()
{
    CAutoLock ring(&m_ringLock);
    return m_liveStep.PrebufferThreshold();
}

// ---- push mode ----

void CTarvoSplitterF::ReceiveBytes(const BYTE* data, LONG length)
{
    if (!data || length <= 0 || static_cast<size_t>(length) >= kRingSize)
        return;
    const bool videoConnected = m_pVideo->IsOutputConnected();
    CFrameQueue* queue = nullptr;
    {
        CAutoLock ring(&m_ringLock);
        if (m_codecKind == CodecFrameQueue && m_frameQueue && videoConnected) {
            queue = m_frameQueue.get();
        } else {
            if (m_ring.Append({data, static_cast<size_t>(length)}) ==
                CReceiveRing::AppendResult::Overflow) {
                std::fputs("warning: buffer overflow.\n", stdout);
                std::fflush(stdout);
            }
            // Nothing is consumed before "Video Out" connects: detection looks at
            // everything received so far.
            if (!videoConnected)
                AnalyseLocked(m_ring.Content());
        }
    }
    if (queue)
        queue->AddFrame(data, length);
    else
        m_bytesEvent.Set();
}

void CTarvoSplitterF::ResetInput()
{
    {
        CAutoLock ring(&m_ringLock);
        m_ring.Reset();
        m_liveStep.Reset();
    }
    if (CFrameQueue* queue = FrameQueue())
        queue->Clear();
    SetStreamType(CodecUnknown);
}

// ---- pull mode ----

HRESULT CTarvoSplitterF::ProbeFile(IAsyncReader* reader, const char* fileName)
{
    if (!reader)
        return E_FAIL;
    ParserStreamSetup setup;
    SequenceHeader header;
    {
        CAutoLock ring(&m_ringLock);
        LONGLONG total = 0, available = 0;
        if (FAILED(reader->Length(&total, &available)))
            return E_FAIL;
        bool complete = false;
        for (LONGLONG offset = 0; offset < kProbeLimit && offset < total && !complete;
             offset += static_cast<LONGLONG>(kRingSize)) {
            const LONG n = static_cast<LONG>(std::min<LONGLONG>(total - offset, kRingSize));
            HRESULT hr = reader->SyncRead(offset, n, m_ring.Storage().data());
            if (FAILED(hr)) {
                m_ring.Reset();
                return E_FAIL;
            }
            m_ring.SetContent(static_cast<size_t>(n));
            // The window that reaches the file's end is all there is: a short
            // record may hold a single sequence header.
            complete = AnalyseLocked(m_ring.Content(), offset + n >= total);
        }
        // The ring served as the read window; push mode starts empty.
        m_ring.Reset();
        if (!complete)
            return E_FAIL;
        header = m_sequenceHeader;
        setup.codecKind = m_codecKind;
        setup.containerKind = m_containerKind;
        setup.frameDuration = m_format.frameDuration;
        setup.width = m_format.width;
        setup.height = m_format.height;
        setup.videoPid = m_tsParser.VideoPid();
    }
    setup.sequenceHeader =
        std::span<const uint8_t>(header.data, static_cast<size_t>(header.length));
    CAutoLock lock(&m_parserLock);
    m_parser.reset();
    std::unique_ptr<CBaseParser> parser = m_parserFactory ? m_parserFactory(setup) : nullptr;
    if (!parser || parser->SetFileName(fileName) != 0 || parser->Open(reader) != 0)
        return E_FAIL;
    m_parser = std::move(parser);
    m_newSegment = true;
    return S_OK;
}

bool CTarvoSplitterF::HasFileParser()
{
    if (!m_pInput->IsPullMode())
        return false;
    CAutoLock lock(&m_parserLock);
    return m_parser != nullptr;
}

void CTarvoSplitterF::SetParserFactory(ParserFactory factory)
{
    CAutoLock lock(&m_parserLock);
    m_parserFactory = std::move(factory);
}

// ---- delivery thread ----

DWORD CTarvoSplitterF::DeliveryThreadProc(LPVOID param)
{
    pthread_setname_np(pthread_self(), "tv-splitter"); // found by name in per-thread CPU figures
    static_cast<CTarvoSplitterF*>(param)->DeliveryLoop();
    return 0;
}

bool CTarvoSplitterF::WaitFor(DWORD ms)
{
    HANDLE handles[2] = {m_threadStop, m_inactiveEvent};
    return WaitForMultipleObjects(2, handles, FALSE, ms) == WAIT_TIMEOUT;
}

bool CTarvoSplitterF::WaitForBytes(DWORD ms)
{
    HANDLE handles[3] = {m_threadStop, m_inactiveEvent, m_bytesEvent};
    const DWORD woken = WaitForMultipleObjects(3, handles, FALSE, ms);
    return woken == WAIT_TIMEOUT || woken == WAIT_OBJECT_0 + 2;
}

void CTarvoSplitterF::DeliveryLoop()
{
    // Named so measurements and debuggers find it among the graph's threads.
    pthread_setname_np(pthread_self(), "tv-splitter");
    HANDLE idle[2] = {m_threadStop, m_activeEvent};
    for (;;) {
        if (WaitForMultipleObjects(2, idle, FALSE, INFINITE) == WAIT_OBJECT_0)
            return;
        bool ready = false;
        {
            CAutoLock stream(&m_streamLock);
            if (!m_activeEvent.Check())
                continue;
            ready = m_pInput->IsInputConnected() && m_pVideo->IsOutputConnected();
            if (ready) {
                if (m_pInput->IsPullMode())
                    FileStep();
                else
                    LiveStep();
            }
        }
        // Pins connect and disconnect only while the filter is stopped, so an
        // active filter without its pins stays so until it stops: wait for
        // that rather than look again every millisecond (the wall of players
        // waiting for streams that have not started sits here).
        if (!ready)
            WaitFor(INFINITE);
    }
}

void CTarvoSplitterF::LiveStep()
{
    m_liveSteps.fetch_add(1, std::memory_order_relaxed);
    IMediaSample* sample = nullptr;
    if (FAILED(m_pVideo->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
        WaitFor(1);
        return;
    }
    sample->SetActualDataLength(0);
    sample->SetTime(nullptr, nullptr);
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const std::span<uint8_t> buffer(out, out ? static_cast<size_t>(sample->GetSize()) : 0);

    CFrameQueue* queue = nullptr;
    LiveStepResult step;
    {
        CAutoLock ring(&m_ringLock);
        if (m_codecKind == CodecFrameQueue)
            queue = m_frameQueue.get();
        else
            step = m_liveStep.Step(m_ring, buffer, m_stepAudio);
    }
    if (queue) {
        QueueStep(sample);
        return;
    }
    switch (step.kind) {
    case LiveStepResult::Kind::Video:
        if (step.clocked) {
            const uint32_t wait = m_pacer.Pace(step.captureTimeUs, UtcNowUs());
            if (wait > 0 && !WaitFor(wait))
                break; // stopped while pacing: the frame goes with the stream
        }
        sample->SetActualDataLength(static_cast<LONG>(step.sampleLength));
        m_pVideo->Deliver(sample);
        break;
    case LiveStepResult::Kind::Voice:
        DeliverVoice(m_stepAudio);
        break;
    case LiveStepResult::Kind::Aac:
        m_pAudio->AddAudio(m_stepAudio.data(), m_stepAudio.size(),
                           CTarvoSplitterAudioOutputPin::AudioKind::Aac);
        break;
    default:
        break;
    }
    sample->Release();
    if (step.kind == LiveStepResult::Kind::Wait && step.sleepMs < kWaitForBytesMs) {
        // Nothing to cut from the bytes there are, and the next turn finds the
        // same until more come: wait for them rather than look again every
        // millisecond or two (a wall of players would wake a thousand times a
        // second each between their frames). The bound keeps a turn coming
        // for any rule that moves on without new bytes.
        WaitForBytes(kWaitForBytesMs);
    } else if (step.sleepMs > 0) {
        WaitFor(step.sleepMs);
    }
}

void CTarvoSplitterF::QueueStep(IMediaSample* sample)
{
    CFrameQueue* queue = FrameQueue();
    FrameElement element;
    if (!queue || !queue->GetNextFrame(element)) {
        sample->Release();
        WaitFor(20);
        return;
    }
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const size_t length = static_cast<size_t>(std::max(element.length, 0));
    if (out && length > 0 && length <= element.buffer.size() &&
        length <= static_cast<size_t>(sample->GetSize()) && m_activeEvent.Check()) {
        std::memcpy(out, element.buffer.data(), length);
        sample->SetActualDataLength(static_cast<LONG>(length));
        m_pVideo->Deliver(sample);
    }
    sample->Release();
}

void CTarvoSplitterF::DeliverVoice(const std::vector<uint8_t>& payload)
{
    int16_t pcm[kLiveVoiceSamples];
    uint32_t count = kLiveVoiceSamples;
    if (HI_VOICE_DecodeFrame(&m_voiceState, payload.data(), static_cast<uint32_t>(payload.size()),
                             pcm, &count) != HI_VOICE_OK)
        return;
    const size_t samples = count & 0xFFFF;
    if (samples > 0)
        m_pAudio->AddAudio(reinterpret_cast<const BYTE*>(pcm), samples * sizeof(int16_t),
                           CTarvoSplitterAudioOutputPin::AudioKind::Pcm);
}

void CTarvoSplitterF::FileStep()
{
    IMediaSample* sample = nullptr;
    if (FAILED(m_pVideo->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample) {
        WaitFor(1);
        return;
    }
    sample->SetActualDataLength(0);
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const LONG size = out ? sample->GetSize() : 0;

    bool haveFrame = false, copied = false, indexing = false;
    int64_t timestamp = 0;
    double rate = 1.0;
    int32_t parserKind = 0;
    m_stepAudio.clear();
    {
        CAutoLock lock(&m_parserLock);
        if (m_parser) {
            ParsedFrame* frame =
                m_playDirection == 4 ? m_parser->ReadPrevKeyFrame() : m_parser->ReadNextFrame();
            indexing = m_parser->IsIndexing();
            rate = m_parser->GetRate();
            parserKind = m_parser->GetCodecKind();
            if (frame) {
                haveFrame = true;
                timestamp = frame->timestamp;
                if (frame->data && frame->videoLength >= 0 && frame->videoLength <= size) {
                    std::memcpy(out, frame->data, static_cast<size_t>(frame->videoLength));
                    sample->SetActualDataLength(frame->videoLength);
                    copied = true;
                }
                if (frame->audioData && frame->audioLength > 0)
                    m_stepAudio.assign(frame->audioData, frame->audioData + frame->audioLength);
            }
        }
    }
    if (!haveFrame) {
        sample->Release();
        if (!WaitFor(10))
            return;
        if (!indexing && m_playDirection != 4)
            NotifyEvent(EC_USER, kSplitterEventEndOfFile, 0);
        return;
    }
    if (copied) {
        const int64_t now = static_cast<int64_t>(GetTickCount64());
        const int64_t wait = FileFrameWaitMs(timestamp, m_prevFrameTime, true, rate, m_newSegment,
                                             m_lastDeliveryMs, now);
        if (!m_noWait && wait > 0 && !WaitFor(static_cast<DWORD>(wait))) {
            sample->Release();
            return;
        }
        m_lastDeliveryMs = static_cast<int64_t>(GetTickCount64());
        m_newSegment = false;
        m_prevFrameTime = timestamp;
    }
    sample->SetTime(nullptr, nullptr);
    m_pVideo->Deliver(sample);
    sample->Release();
    if (!m_stepAudio.empty())
        m_pAudio->AddAudio(m_stepAudio.data(), m_stepAudio.size(),
                           parserKind == CodecDeviceH264
                               ? CTarvoSplitterAudioOutputPin::AudioKind::Pcm
                               : CTarvoSplitterAudioOutputPin::AudioKind::Aac);
}
