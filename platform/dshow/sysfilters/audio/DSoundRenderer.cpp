#include "audio/DSoundRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

bool PcmFromMediaType(const AM_MEDIA_TYPE& mt, PcmFormat* format)
{
    if (!IsEqualGUID(mt.majortype, MEDIATYPE_Audio) ||
        !IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx) || !mt.pbFormat || mt.cbFormat < 16)
        return false;
    // The first 16 bytes (PCMWAVEFORMAT) are all PCM needs; cbSize may be absent.
    WAVEFORMATEX wfx{};
    std::memcpy(&wfx, mt.pbFormat, std::min<size_t>(mt.cbFormat, sizeof(wfx)));
    if (wfx.wFormatTag != WAVE_FORMAT_PCM)
        return false;
    PcmFormat f{int(wfx.nSamplesPerSec), int(wfx.nChannels), int(wfx.wBitsPerSample)};
    if (!f.IsValid() || wfx.nBlockAlign != f.BlockAlign())
        return false;
    if (format)
        *format = f;
    return true;
}

// Hundredths of a decibel to a linear gain.
double Gain(LONG hundredthsDb)
{
    return hundredthsDb <= -10000 ? 0.0 : std::pow(10.0, double(hundredthsDb) / 2000.0);
}

} // namespace

CDSoundRenderer::CDSoundRenderer(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseRenderer(CLSID_DSoundRender, "DirectSound Renderer", pUnk, phr)
{
}

CDSoundRenderer::~CDSoundRenderer() = default;

STDMETHODIMP CDSoundRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IBasicAudio)
        return GetInterface(static_cast<IBasicAudio*>(this), ppv);
    return CBaseRenderer::NonDelegatingQueryInterface(riid, ppv);
}

std::shared_ptr<CAudioSink> CDSoundRenderer::Sink()
{
    std::lock_guard<std::mutex> guard(m_sinkLock);
    return m_sink;
}

const char* CDSoundRenderer::SinkKind()
{
    auto sink = Sink();
    return sink ? sink->Kind() : nullptr;
}

HRESULT CDSoundRenderer::CheckMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    return PcmFromMediaType(*pmt, nullptr) ? S_OK : E_FAIL;
}

HRESULT CDSoundRenderer::SetMediaType(const CMediaType* pmt)
{
    PcmFormat format;
    if (!PcmFromMediaType(*pmt, &format))
        return E_FAIL;
    std::lock_guard<std::mutex> guard(m_sinkLock);
    if (m_sink && (format.rate != m_format.rate || format.channels != m_format.channels))
        m_sink.reset();
    m_format = format;
    return S_OK;
}

HRESULT CDSoundRenderer::BreakConnect()
{
    std::shared_ptr<CAudioSink> old;
    {
        std::lock_guard<std::mutex> guard(m_sinkLock);
        old = std::move(m_sink);
    }
    return S_OK;
}

void CDSoundRenderer::OnStreamingSessionStart()
{
    // Stopped -> paused: a sink for the connection's format (made once and kept
    // while the format stays), cleared of any interruption.
    std::shared_ptr<CAudioSink> sink;
    {
        std::lock_guard<std::mutex> guard(m_sinkLock);
        if (!m_sink && m_format.IsValid())
            m_sink = CreateAudioSink(m_format, "Tarvo playback");
        sink = m_sink;
    }
    if (sink) {
        sink->Interrupt(false);
        sink->SetRunning(false);
    }
}

HRESULT CDSoundRenderer::OnStartStreaming()
{
    if (auto sink = Sink())
        sink->SetRunning(true);
    return S_OK;
}

HRESULT CDSoundRenderer::OnStopStreaming()
{
    if (auto sink = Sink())
        sink->SetRunning(false);
    return S_OK;
}

STDMETHODIMP CDSoundRenderer::Stop()
{
    // First release a writer blocked in the sink, then stop as usual.
    std::shared_ptr<CAudioSink> sink = Sink();
    if (sink)
        sink->Interrupt(true);
    HRESULT hr = CBaseRenderer::Stop();
    if (sink) {
        sink->SetRunning(false);
        sink->Flush();
    }
    return hr;
}

HRESULT CDSoundRenderer::BeginFlush()
{
    std::shared_ptr<CAudioSink> sink = Sink();
    if (sink) {
        sink->Interrupt(true);
        sink->Flush();
    }
    return CBaseRenderer::BeginFlush();
}

HRESULT CDSoundRenderer::EndFlush()
{
    if (auto sink = Sink())
        sink->Interrupt(false);
    return CBaseRenderer::EndFlush();
}

HRESULT CDSoundRenderer::EndOfStream()
{
    // The stream is complete when it has been heard: let the sink play out
    // (interrupted by Stop or flushing) before the base reports it.
    if (m_State == State_Running) {
        if (auto sink = Sink())
            sink->Drain();
    }
    return CBaseRenderer::EndOfStream();
}

HRESULT CDSoundRenderer::DoRenderSample(IMediaSample* pMediaSample)
{
    std::shared_ptr<CAudioSink> sink = Sink();
    if (!sink)
        return E_UNEXPECTED;
    BYTE* data = nullptr;
    if (FAILED(pMediaSample->GetPointer(&data)) || !data)
        return E_POINTER;
    LONG length = pMediaSample->GetActualDataLength();
    if (length <= 0)
        return S_OK;
    LONG volume = m_volume.load();
    LONG balance = m_balance.load();
    if (volume == 0 && balance == 0)
        return sink->Write(data, size_t(length));

    // Scale the samples: volume for both channels, balance attenuates one.
    double gain = Gain(volume);
    double left = gain * (balance > 0 ? Gain(-balance) : 1.0);
    double right = gain * (balance < 0 ? Gain(balance) : 1.0);
    int channels = m_format.channels;
    size_t count = size_t(length) / sizeof(int16_t);
    m_scaled.resize(count);
    for (size_t i = 0; i < count; ++i) {
        int16_t s;
        std::memcpy(&s, data + i * 2, 2);
        double g = channels == 2 ? ((i & 1) ? right : left) : gain;
        long v = std::lround(s * g);
        m_scaled[i] = int16_t(std::clamp<long>(v, -32768, 32767));
    }
    return sink->Write(reinterpret_cast<const uint8_t*>(m_scaled.data()), count * sizeof(int16_t));
}

// ---- IBasicAudio ----

STDMETHODIMP CDSoundRenderer::put_Volume(LONG lVolume)
{
    if (lVolume > 0 || lVolume < -10000)
        return E_INVALIDARG;
    m_volume = lVolume;
    return S_OK;
}

STDMETHODIMP CDSoundRenderer::get_Volume(LONG* plVolume)
{
    CheckPointer(plVolume, E_POINTER);
    *plVolume = m_volume.load();
    return S_OK;
}

STDMETHODIMP CDSoundRenderer::put_Balance(LONG lBalance)
{
    if (lBalance > 10000 || lBalance < -10000)
        return E_INVALIDARG;
    m_balance = lBalance;
    return S_OK;
}

STDMETHODIMP CDSoundRenderer::get_Balance(LONG* plBalance)
{
    CheckPointer(plBalance, E_POINTER);
    *plBalance = m_balance.load();
    return S_OK;
}
