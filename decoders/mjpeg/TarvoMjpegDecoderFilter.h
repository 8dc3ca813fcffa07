// TarvoMjpegDecoderFilter: the Motion JPEG decoder ("Tarvo M-Jpeg Decoder").
// Each frame the splitter delivers on "Input" (MEDIASUBTYPE_TarvoMjpeg) becomes
// one top-down RGB24 picture on "Output", decoded by CMjpegFrameDecoder.
//
// Media types. The input's format block (FORMAT_VideoInfo or FORMAT_VideoInfo2)
// gives the picture size and the time per frame; a size that is not positive
// (or that no picture buffer could hold) falls back to 1216 x 1024. The output
// offers one type, at positions 0 and 1: RGB24, FORMAT_VideoInfo2, 16:9,
// biHeight = -height, biCompression 'RGB0', rows padded to 4 bytes as the
// bitmap header describes (for the usual widths, multiples of 4, the rows are
// exactly width x 3 bytes). Frames of another size are dropped, but for the
// two half-height field JPEGs of an interlaced camera, which are woven into
// one picture of the agreed size.
//
// Threads and locks are CTransformFilter's: connection and IMjpegDecoderControl
// on the application thread (filter lock), Transform on the upstream streaming
// thread (receive lock); m_formatLock (innermost) guards the agreed picture
// size, which a connection may set while another thread reads it.
#pragma once

#include "IMjpegDecoderControl.h"
#include "MjpegFrameDecoder.h"

#include <streams.h>

extern const AMOVIESETUP_FILTER sudTarvoMjpegDecoder;

class TarvoMjpegDecoderFilter : public CTransformFilter, public IMjpegDecoderControl {
public:
    static constexpr LONG kDefaultWidth = 1216;
    static constexpr LONG kDefaultHeight = 1024;
    static constexpr REFERENCE_TIME kDefaultTimePerFrame = 2000000;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoMjpegDecoder; }

    // "Input" and "Output".
    CBasePin* GetPin(int n) override;

    // MEDIATYPE_Video, FORMAT_VideoInfo or FORMAT_VideoInfo2, and
    // MEDIASUBTYPE_TarvoMjpeg, checked in that order (E_INVALIDARG); an
    // accepted type's size and time per frame are recorded.
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    // Position < 0: E_INVALIDARG; > 1: VFW_S_NO_MORE_ITEMS; 0 and 1: the
    // output type.
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    // One buffer of the picture's size; E_FAIL when the allocator grants less.
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    // S_OK with the picture's length set, S_FALSE to drop the frame, E_POINTER
    // without a sample.
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;

    // IMjpegDecoderControl.
    STDMETHODIMP SetOption(LONG value) override;

    struct PictureFormat {
        LONG width = kDefaultWidth;
        LONG height = kDefaultHeight;
        REFERENCE_TIME timePerFrame = kDefaultTimePerFrame;
        // Bytes per row (padded to 4) and of the whole picture.
        size_t Stride() const { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }
        size_t ImageSize() const { return Stride() * static_cast<size_t>(height); }
    };
    PictureFormat Format();

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    TarvoMjpegDecoderFilter(LPUNKNOWN pUnk, HRESULT* phr);

    // Streaming thread, receive lock.
    CMjpegFrameDecoder m_decoder;

    CCritSec m_formatLock;
    PictureFormat m_format; // guarded by m_formatLock
};
