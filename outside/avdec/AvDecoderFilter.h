// CAvDecoderFilter: the transform filter the libavcodec decoders of the chain
// share ("Tarvo Mpeg2 Decoder", "Tarvo Mpeg4 Decoder", "CoraAVC H264 Decoder
// Filter"). Compressed samples in on "Input" as the splitter's "Video Out"
// cuts them, YUY2 pictures out on "Output" (FORMAT_VideoInfo2, what the frame
// processor takes), untimed like the samples they come from.
//
// A derived filter names its codec and the input types it takes, and may
// rewrite the codec configuration and the samples into the form libavcodec
// reads; everything else is here:
//   - the decoder opens when the input connects (with the configuration the
//     input type carries); a decoder that cannot open refuses the connection;
//   - each sample goes through the decoder (CAvVideoDecoder), which may give
//     no picture or several; each picture goes out in a buffer of the output
//     pin (CPictureOutputPin), which follows a change of picture size with a
//     new output type or leaves the picture out;
//   - pictures start at a key picture, after a pause from stopped, a flush
//     and a bitstream error alike;
//   - end of stream first hands out the pictures the decoder still holds.
//
// Threads and locks (CTransformFilter's): m_csFilter on the application
// thread (connection, state); m_csReceive on the upstream streaming thread
// (Receive, EndOfStream), taken by Stop after the pins went inactive and by
// EndFlush, so the decoder is only ever used under it. m_sizeLock (innermost)
// guards the picture size the output offers.
#pragma once

#include "AvPictureConverter.h"
#include "AvVideoDecoder.h"
#include "PictureOutputPin.h"
#include "VideoFormat.h"

#include <streams.h>

#include <span>
#include <vector>

class CAvDecoderFilter : public CTransformFilter {
public:
    // The size offered before any picture when the input type names none.
    static constexpr int kDefaultWidth = 704;
    static constexpr int kDefaultHeight = 576;

    CBasePin* GetPin(int n) override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT CompleteConnect(PIN_DIRECTION direction, IPin* pReceivePin) override;
    HRESULT BreakConnect(PIN_DIRECTION dir) override;
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT EndFlush() override;

    // The decoder's counters (any thread; a snapshot taken under the receive
    // lock).
    CAvVideoDecoder::Counters DecoderCounters();

protected:
    CAvDecoderFilter(const char* objectName, LPUNKNOWN pUnk, REFCLSID clsid, const char* channel,
                     AVCodecID codec);

    // Whether this input type is one the filter decodes (the format block is
    // already read into f).
    virtual bool AcceptsInput(const CMediaType& mt, const VideoFormat& f) const = 0;
    // The codec configuration to open the decoder with: by default the
    // sequence header an MPEG2VIDEOINFO carries. False: the type's
    // configuration is unusable.
    virtual bool CodecConfig(const VideoFormat& f, std::vector<uint8_t>* config) const;
    // The sample's bytes as the decoder reads them; scratch may hold a
    // rewritten copy. By default the bytes as they are.
    virtual std::span<const uint8_t> DecoderInput(std::span<const uint8_t> sample,
                                                  std::vector<uint8_t>* scratch);
    // Whether a picture smaller than the agreed output size goes out in a
    // frame of that size (at its top left, black around it) instead of a new
    // output type. By default a new type follows the picture.
    virtual bool KeepsAgreedFrame() const { return false; }
    // The input type's format (set while connecting; its sequence header is
    // not kept: the configuration CodecConfig made of it is).
    const VideoFormat& InputFormat() const { return m_inputFormat; }

    const char* const m_channel;

private:
    bool DeliverPicture(const AVFrame& picture);
    void SetPictureSize(int width, int height);

    const AVCodecID m_codec;
    CPictureOutputPin* m_pPictureOutput = nullptr;

    // Set while connecting (filter lock); read by the streaming thread.
    VideoFormat m_inputFormat;
    std::vector<uint8_t> m_config;

    // Guarded by m_csReceive.
    CAvVideoDecoder m_decoder;
    CAvPictureConverter m_converter;
    std::vector<uint8_t> m_scratch;
    HRESULT m_hrDeliver = S_OK; // the first failure of this sample's deliveries

    CCritSec m_sizeLock; // guards the two below
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;
};
