// TarvoH264DecoderFilter: the H.264 decoder filter ("Tarvo H264 Decoder
// Filter"). Device H.264 samples in on "Input", YUY2 pictures out on "Output";
// the decoding itself is the device decoder library's (Hi264Dec.h), field
// pictures are merged by the FieldDeinterlacer.
//
// Threads and locks, outermost first:
//  - m_filterLock: the filter state, the connection calls, allocator
//    notification, flushing (application thread). Never taken on the
//    streaming thread.
//  - m_receiveLock: everything Receive uses (decoder, deinterlacer, buffers,
//    the output sample); held by Receive, EndOfStream and NewSegment on the
//    upstream streaming thread, and taken after the filter lock by Stop,
//    BreakConnect and IH264DecoderControl::ReleaseDecoder, which so wait for
//    a picture in progress instead of pulling its objects away.
//  - m_sizeLock (innermost): the output picture size.
// Pictures are delivered synchronously into the downstream pin on the
// streaming thread, which holds only the receive lock meanwhile.
#pragma once

#include "Hi264Dec.h"
#include "IH264DecoderControl.h"

#include <streams.h>

class H264DecoderInputPin;
class H264DecoderOutputPin;

extern const AMOVIESETUP_FILTER sudTarvoH264Decoder;

// The decoder library's three calls; tests put decoders of their own here.
struct H264DecoderLibrary {
    HI264_HANDLE (*create)(const Hi264DecAttr* attr);
    int32_t (*frame)(HI264_HANDLE handle, const uint8_t* data, uint32_t length, uint64_t pts,
                     Hi264DecPicture* picture, uint32_t flags);
    void (*destroy)(HI264_HANDLE handle);
};
const H264DecoderLibrary& DeviceH264Library();

class TarvoH264DecoderFilter : public CBaseFilter,
                               public IH264DecoderControl,
                               public ISpecifyPropertyPages {
public:
    static CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);
    // The filter over another decoder library (reference count 0, as from
    // CreateInstance).
    static TarvoH264DecoderFilter* CreateWithLibrary(const H264DecoderLibrary& library,
                                                     HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoH264Decoder; }

    // Stop waits for a Receive in progress before the output pin goes
    // inactive; Pause and Run send end of stream when the input is unconnected.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    // IH264DecoderControl (slot order as declared there).
    STDMETHODIMP SetParameters(LONG first, LONG second) override;
    STDMETHODIMP SetPictureSize(LONG width, LONG height) override;
    STDMETHODIMP ResetDecodeStart() override;
    STDMETHODIMP ReleaseDecoder() override;
    STDMETHODIMP SetInputParameter(LONG value) override;

    // ISpecifyPropertyPages: the "TarvoH264Dec" page, so that a person tuning
    // a running player finds the decoder among the filters with pages.
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // The output picture size (any thread).
    void PictureSize(UINT* width, UINT* height);
    // Sets the size as it is, without the field-size corrections: the size of
    // pictures actually decoded (streaming thread).
    void SetDecodedSize(UINT width, UINT height);
    // The output media type for a size.
    static void MakeOutputType(CMediaType* mt, UINT width, UINT height);

    CCritSec* FilterLock() { return &m_filterLock; }
    CCritSec* ReceiveLock() { return &m_receiveLock; }
    const H264DecoderLibrary& Library() const { return m_library; }
    H264DecoderInputPin* Input() { return m_pInput; }
    H264DecoderOutputPin* Output() { return m_pOutput; }

    // The allocator the input pin was given, passed on downstream (filter lock).
    void SetUpstreamAllocator(IMemAllocator* allocator);
    IMemAllocator* UpstreamAllocator() { return m_pUpstreamAllocator; } // not add-referenced

private:
    TarvoH264DecoderFilter(LPUNKNOWN pUnk, const H264DecoderLibrary& library, HRESULT* phr);
    ~TarvoH264DecoderFilter() override;

    CCritSec m_filterLock;
    CCritSec m_receiveLock;
    H264DecoderLibrary m_library;
    H264DecoderInputPin* m_pInput = nullptr;
    H264DecoderOutputPin* m_pOutput = nullptr;

    IMemAllocator* m_pUpstreamAllocator = nullptr; // guarded by m_filterLock

    CCritSec m_sizeLock; // guards the two below
    UINT m_width = 352;
    UINT m_height = 288;

    LONG m_parameters[2] = {0, 0}; // guarded by m_filterLock
};
