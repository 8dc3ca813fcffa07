// CTarvoSplitterAudioOutputPin: "Audio Out". The delivery thread hands it
// audio with AddAudio (16-bit PCM from decoded voice frames, or AAC as ADTS
// frames); the pin's own audio thread moves it into untimed samples and
// delivers them, an empty sample about every 10 ms while nothing arrives.
// The first sample longer than 1 byte since construction or Stop sends
// EC_USER 10010; the delivered bytes are counted. See CTarvoSplitterOutputPin
// for the rest.
//
// Not built yet (it comes with the sound path): decoding AAC. Until then AAC
// blocks are dropped by the audio thread as undecodable, so only PCM reaches
// the renderer.
//
// Threads: AddAudio on the splitter's delivery thread; the audio thread from
// construction to destruction; connection, Active/Inactive and IMediaPosition
// on the application thread. m_audioLock guards the buffers and is never held
// while a sample goes downstream; m_streamLock is held by the audio thread for
// each turn and taken by Inactive after the allocator is decommitted, so no
// turn runs once the pin is inactive.
#pragma once

#include "CTarvoSplitterOutputPin.h"

#include <vector>

class CTarvoSplitterAudioOutputPin : public CTarvoSplitterOutputPin {
public:
    static constexpr LONG kBufferSize = 512000;
    static constexpr size_t kInputSize = 512000;
    static constexpr size_t kWorkSize = 102400;
    // The work buffer goes out once it holds more than this.
    static constexpr size_t kWorkThreshold = 239;

    enum class AudioKind { Pcm = 0, Aac = 1 };

    CTarvoSplitterAudioOutputPin(CTarvoSplitterF* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CTarvoSplitterAudioOutputPin() override;

    // 16-bit PCM: stereo 48000 Hz for CodecKind 6 and 7, else mono 8000 Hz.
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    HRESULT Deliver(IMediaSample* pSample) override;

    // Delivery thread: stores the block. One longer than the buffer empties
    // it; one that fits behind the fill is appended; otherwise it replaces
    // what is buffered.
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
    // One turn: fills sample from the buffer (audio lock held); its length.
    LONG FillSampleLocked(BYTE* out, LONG size);
    // Waits up to ms; false when the thread must end or the pin went inactive.
    bool WaitFor(DWORD ms);
    // Runs call on the video pin's IMediaPosition.
    template <typename Call> HRESULT ForwardToVideo(Call call);

    CCritSec m_audioLock;
    // guarded by m_audioLock
    std::vector<uint8_t> m_input;
    size_t m_inputFill = 0;
    AudioKind m_kind = AudioKind::Pcm;
    std::vector<uint8_t> m_work;
    size_t m_workFill = 0;

    CCritSec m_streamLock;
    CAMEvent m_threadStop{TRUE};
    CAMEvent m_activeEvent{TRUE};
    CAMEvent m_inactiveEvent{TRUE};
    HANDLE m_hThread = nullptr;
};
