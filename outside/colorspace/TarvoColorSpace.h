// TarvoColorSpace: "Tarvo Color Space" (a chain may add a second instance as
// "Tarvo Color Space2"). Two jobs, told apart by the input type:
//
//   YUY2 in (the frame processor's output): out as RGB32, top-down (offered
//     first), or as YUY2 unchanged (what the splitter's chain asks for: the
//     video renderer reduces and converts YUY2 itself, more cheaply);
//   RGB24 in (the Motion JPEG decoder's pictures, top-down or bottom-up, rows
//     packed or DIB-padded): out as YUY2 with FORMAT_VideoInfo2, what the
//     frame processor takes.
//
// The path is chosen once, when the output type is agreed (SetMediaType);
// Transform runs it with the vector conversions of ColorConvert.h. Both sides
// have the same picture size. Rows a short input sample lacks come out black.
//
// Threads and locks are CTransformFilter's: connection on the application
// thread (filter lock), Transform on the upstream streaming thread (receive
// lock). The path and geometry change only while connecting.
#pragma once

#include "TransformParts.h"

#include <streams.h>

extern const AMOVIESETUP_FILTER sudTarvoColorSpace;

class TarvoColorSpace : public CInOutTransformFilter {
public:
    enum class Path { None, Yuy2ToRgb32, Yuy2Copy, Rgb24ToYuy2 };

    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoColorSpace; }

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT BreakConnect(PIN_DIRECTION dir) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
    // A YUY2 picture that would leave as it came (the whole picture, rows as
    // the output lays them out, no new type on it) goes on as the same
    // sample when upstream has buffers to spare; everything else is Transform's.
    HRESULT Receive(IMediaSample* pSample) override;
    STDMETHODIMP Pause() override;

    // The path agreed (None while the output is unconnected).
    Path CurrentPath() const { return m_path; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    TarvoColorSpace(LPUNKNOWN pUnk, HRESULT* phr);
    bool CanPassOn(IMediaSample* pSample);
    void NoteUpstreamBuffers();

    // Filter lock; changed only while connecting.
    Path m_path = Path::None;
    int m_width = 0;
    int m_height = 0;
    bool m_inputBottomUp = false; // an RGB24 input with a positive biHeight
    // Upstream's allocator has buffers to spare (set by Pause from stopped,
    // under the filter lock; read by Receive while streaming).
    bool m_upstreamSpare = false;
};
