// CTarvoSplitterAudioOutputPin: "Audio Out". The delivery thread hands it
// audio with AddAudio (16-bit PCM from decoded voice frames, or AAC as ADTS
// frames, which the pin decodes with faad2); the pin's own audio thread moves
// it into untimed samples and delivers them. While nothing is buffered the
// audio thread sleeps until AddAudio signals: a stream without sound costs no
// wake-ups. Only when the filter pauses (OnPaused) does it send one empty
// sample with nothing to play, because a paused renderer completes its pause
// on a sample. The first sample longer than 1 byte since
// construction or Stop sends EC_USER 10010; the delivered bytes are counted.
// Stop (Inactive) empties what is buffered. See CAudioBuffer for the buffering
// and decoding rules and CTarvoSplitterOutputPin for the rest.
//
// IStreamBuilder: Render adds the DirectSound renderer to the graph as
// "DirectSound Device" and connects this pin straight to its first free input
// pin; Backout holds nothing and answers S_OK.
//
// Threads: AddAudio on the splitter's delivery thread; the audio thread from
// construction to destruction; connection, Render, Active/Inactive and
// IMediaPosition on the application thread. m_audioLock guards the buffer and
// the AAC decoder and is never held while a sample goes downstream, so a
// renderer that blocks never holds up the delivery thread; m_streamLock is held
// by the audio thread for each turn and taken by Inactive after the allocator
// is decommitted, so no turn runs once the pin is inactive. Every wait of the
// audio thread ends at once on Stop (the inactive event) and on destruction.
#pragma once

#include <atomic>

#include "CAudioBuffer.h"
#include "CTarvoSplitterOutputPin.h"

class CTarvoSplitterAudioOutputPin : public CTarvoSplitterOutputPin {
public:
    static constexpr LONG kBufferSize = 512000;
    using AudioKind = ::AudioKind;

    CTarvoSplitterAudioOutputPin(CTarvoSplitterF* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CTarvoSplitterAudioOutputPin() override;

    // 16-bit PCM: stereo 48000 Hz for CodecKind 6 and 7, else mono 8000 Hz.
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Deliver(IMediaSample* pSample) override;

    // IStreamBuilder.
    STDMETHODIMP Render(IPin* ppinOut, IGraphBuilder* pGraph) override;
    STDMETHODIMP Backout(IPin* ppinOut, IGraphBuilder* pGraph) override;

    // Application thread, from the filter's Pause (from Stopped or Running):
    // the renderer downstream waits for a sample before its pause completes.
    void OnPaused();

    // Delivery thread: stores the block (CAudioBuffer::Add).
    void AddAudio(const BYTE* data, size_t length, AudioKind kind);

    // IMediaPosition: the getters answer as "Video Out" does; the setters
    // succeed without effect.
    STDMETHODIMP get_Duration(REFTIME* plength) override;
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override;
    STDMETHODIMP get_CurrentPosition(REFTIME* pllTime) override;
    STDMETHODIMP get_StopTime(REFTIME* pllTime) override;
    STDMETHODIMP put_StopTime(REFTIME llTime) override;
    STDMETHODIMP get_PrerollTime(REFTIME* pllTime) override;
    STDMETHODIMP put_PrerollTime(REFTIME llTime) override;
    STDMETHODIMP put_Rate(double dRate) override;
    STDMETHODIMP get_Rate(double* pdRate) override;

    size_t BufferedBytes();

private:
    static DWORD AudioThreadProc(LPVOID param);
    void AudioLoop();
    // Waits up to ms; false when the thread must end or the pin went inactive.
    bool WaitFor(DWORD ms);
    // Runs call on the video pin's IMediaPosition.
    template <typename Call> HRESULT ForwardToVideo(Call call);

    CCritSec m_audioLock;
    // guarded by m_audioLock
    CAudioBuffer m_buffer;

    CCritSec m_streamLock;
    CAMEvent m_threadStop{TRUE};
    CAMEvent m_activeEvent{TRUE};
    CAMEvent m_inactiveEvent{TRUE};
    // Auto-reset: set by AddAudio after it stored a block, and by OnPaused.
    CAMEvent m_audioArrived{FALSE};
    // Set by OnPaused, taken by the audio thread's next delivery.
    std::atomic<bool> m_feedRenderer{false};
    HANDLE m_hThread = nullptr;
};
