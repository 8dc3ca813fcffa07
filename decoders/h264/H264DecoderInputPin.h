// H264DecoderInputPin: "Input" of the H.264 decoder filter. It accepts any
// media type (learning the picture size and the interlace flag from video
// formats), opens the decoder at connection and decodes each sample on the
// upstream streaming thread: every picture the decoder gives is converted to
// YUY2 (field pictures through the deinterlacer, frames line-doubled when the
// upstream type says interlaced) and delivered synchronously downstream.
//
// Threads: connection calls on the application thread (filter lock);
// Receive, EndOfStream and NewSegment on the streaming thread (receive lock);
// BeginFlush/EndFlush on the application thread (filter lock). Members below
// the receive-lock mark are touched only with the receive lock held.
#pragma once

#include "FieldDeinterlacer.h"
#include "Hi264Dec.h"

#include <streams.h>

#include <atomic>
#include <memory>
#include <vector>

class TarvoH264DecoderFilter;

class H264DecoderInputPin : public CBaseInputPin {
public:
    // Samples above this size are dropped unread.
    static constexpr LONG kMaxSampleBytes = 500000;
    // Deinterlaced frames are staged here; a larger one is refused.
    static constexpr size_t kStagingBytes = 2 * 1024 * 1024;
    // A decoder that keeps answering with anything but a picture or "used up"
    // is given up on for the sample after this many calls.
    static constexpr int kMaxRetries = 16;
    // Pictures taken from one sample at most (a sample holds one or two).
    static constexpr int kMaxPicturesPerSample = 64;

    H264DecoderInputPin(TarvoH264DecoderFilter* filter, HRESULT* phr);
    ~H264DecoderInputPin() override;

    HRESULT CheckMediaType(const CMediaType* mt) override;
    HRESULT SetMediaType(const CMediaType* mt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;

    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // Delivery resumes at the next intra-coded picture (any thread).
    void ResetDecodeStart() { m_skip.store(true); }
    // Closes the decoder and the deinterlacer (receive lock held by the caller).
    void ReleaseDecoder();
    void SetInputParameter(LONG value) { m_inputParameter.store(value); }

    bool Interlaced() const { return m_interlaced.load(); }
    bool Skipping() const { return m_skip.load(); }
    // Pictures handed downstream since the pin was made (any thread).
    LONGLONG DeliveredPictures() const { return m_delivered.load(); }
    // Decoder calls made since the pin was made (any thread).
    LONGLONG DecoderCalls() const { return m_decoderCalls.load(); }

private:
    bool OpenDecoder();
    HRESULT DecodeSample(const BYTE* data, LONG length);
    HRESULT HandlePicture(const Hi264DecPicture& picture);
    HRESULT HandleFrame(const Hi264DecPicture& picture);
    HRESULT HandleField(const Hi264DecPicture& picture);
    void Deliver(IMediaSample* sample);

    TarvoH264DecoderFilter* const m_pFilter;
    std::atomic<bool> m_interlaced{false};
    std::atomic<bool> m_skip{true};
    std::atomic<bool> m_raisePriority{false};
    std::atomic<LONG> m_inputParameter{0};
    std::atomic<LONGLONG> m_delivered{0};
    std::atomic<LONGLONG> m_decoderCalls{0};

    // Guarded by the filter's receive lock.
    HI264_HANDLE m_decoder = nullptr;
    Hi264DecAttr m_attr{};
    Hi264DecPicture m_picture{};
    std::unique_ptr<uint8_t[]> m_staging; // kStagingBytes while connected
    FieldDeinterlacer* m_deinterlacer = nullptr;
    std::vector<uint8_t> m_frameY, m_frameU, m_frameV;
};
