// TarvoJp2kDecoder: "Tarvo Jp2k Decoder". JPEG 2000 field pairs in on
// "Input" (each sample both fields of a frame with their 144-byte headers),
// YUY2 pictures of both fields woven out on "Output", and before each picture
// its 128-byte frame information packet (the first 128 bytes of the first
// field's header) on "Info". The decoding is CJp2kPictureDecoder's, at the
// spatial reduce level set through IJp2kDecoderControl.
//
// The output offers the picture size the input type's field size makes at the
// current reduce level, and follows a later size (another field size, another
// level) through CPictureOutputPin.
//
// Threads and locks (CTransformFilter's): m_csFilter on the application
// thread (connection, state; Stop also deactivates "Info"); m_csReceive on
// the upstream streaming thread (Receive, EndOfStream), taken by Stop after
// the pins went inactive and by EndFlush; both outputs deliver on the
// streaming thread, the packet first. m_sizeLock (innermost) guards the field
// size the output offers; the reduce level is an atomic any thread sets.
#pragma once

#include "IJp2kDecoderControl.h"
#include "Jp2kInfoPin.h"
#include "Jp2kPictureDecoder.h"
#include "PictureOutputPin.h"

#include <streams.h>

#include <atomic>

extern const AMOVIESETUP_FILTER sudTarvoJp2kDecoder;

class TarvoJp2kDecoder : public CTransformFilter, public IJp2kDecoderControl {
public:
    // The field size offered before any picture when the input type names none.
    static constexpr int kDefaultFieldWidth = 704;
    static constexpr int kDefaultFieldHeight = 288;

    // CTransformFilter deletes the input and picture pins; "Info" is ours.
    ~TarvoJp2kDecoder() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoJp2kDecoder; }

    // "Input", "Output", "Info".
    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int n) override;
    STDMETHODIMP Stop() override;

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT StopStreaming() override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IJp2kDecoderControl.
    STDMETHODIMP SetReduceLevel(int level) override;
    STDMETHODIMP GetReduceLevel(int* level) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    TarvoJp2kDecoder(LPUNKNOWN pUnk, HRESULT* phr);

    CPictureOutputPin* m_pPicture = nullptr;
    CJp2kInfoPin* m_pInfo = nullptr;

    std::atomic<int> m_reduceLevel{0};
    REFERENCE_TIME m_avgTimePerFrame = 0; // filter lock; set while connecting

    CCritSec m_sizeLock; // guards the two below
    int m_fieldWidth = kDefaultFieldWidth;
    int m_fieldHeight = kDefaultFieldHeight;

    CJp2kPictureDecoder m_decoder; // guarded by m_csReceive
};
