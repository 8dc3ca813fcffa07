// The DirectSound renderer (CLSID_DSoundRender), the graph's audio output.
//
// Input "Audio Input pin (rendered)": MEDIATYPE_Audio, FORMAT_WaveFormatEx,
// 16-bit PCM, mono or stereo, 8000 to 48000 Hz. Samples are written to an audio
// sink (audio/AudioSink.h): PulseAudio when a server answers, otherwise a
// clocked null sink that consumes the bytes at the rate they would play, so
// a graph on a machine without sound still runs at pace. The sink's bounded
// buffer paces the delivering thread; Stop and flushing interrupt the sink
// first, so they never wait on it.
//
// IBasicAudio: volume in hundredths of a decibel, -10000 (silence) to 0 (full),
// and balance -10000 (left only) to 10000 (right only); values outside give
// E_INVALIDARG. Both are applied to the samples before they reach the sink.
//
// The renderer offers no IReferenceClock: the system's sources deliver audio
// without time stamps and pace it themselves, so an audio clock would give the
// graph nothing the system clock does not, and a server clock that stalls
// with the sound device would stall the pictures too.
//
// End of stream: EC_COMPLETE once the sink has played everything queued.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/AudioSink.h"
#include "streams.h"

class CDSoundRenderer final : public CBaseRenderer, public CDispatchStub<IBasicAudio> {
public:
    ~CDSoundRenderer() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseRenderer.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT BreakConnect() override;
    HRESULT DoRenderSample(IMediaSample* pMediaSample) override;
    LPCWSTR InputPinName() const override { return L"Audio Input pin (rendered)"; }
    void OnStreamingSessionStart() override;
    HRESULT OnStartStreaming() override;
    HRESULT OnStopStreaming() override;
    STDMETHODIMP Stop() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT EndOfStream() override;

    // IBasicAudio (any thread).
    STDMETHODIMP put_Volume(LONG lVolume) override;
    STDMETHODIMP get_Volume(LONG* plVolume) override;
    STDMETHODIMP put_Balance(LONG lBalance) override;
    STDMETHODIMP get_Balance(LONG* plBalance) override;

    // The sink kind in use ("pulse", "null"), or null before the first pause
    // (for diagnostics and tests).
    const char* SinkKind();

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CDSoundRenderer(LPUNKNOWN pUnk, HRESULT* phr);
    std::shared_ptr<CAudioSink> Sink();

    std::atomic<LONG> m_volume{0};
    std::atomic<LONG> m_balance{0};
    std::mutex m_sinkLock;
    // guarded by m_sinkLock; replaced only while stopped
    std::shared_ptr<CAudioSink> m_sink;
    PcmFormat m_format;
    // Streaming thread only.
    std::vector<int16_t> m_scaled;
};
