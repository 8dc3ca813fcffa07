// DeInterLaceFilter: "DeInterLace Filter", between the Motion JPEG decoder and
// the colour-space converter when the stream is interlaced (MJPF). Woven
// frames in, progressive frames of the same type out (CombDeinterlace.h):
// RGB24 as the decoder gives it (rows packed or DIB-padded, top-down or
// bottom-up), RGB32 or YUY2. Output samples keep the input's layout and
// length, so the converter after it reads them as it would read the decoder's.
//
// Threads and locks are CTransformFilter's: connection on the application
// thread (filter lock), Transform on the upstream streaming thread (receive
// lock). The geometry changes only while connecting.
#pragma once

#include "TransformParts.h"

#include <streams.h>

extern const AMOVIESETUP_FILTER sudDeInterLaceFilter;

class DeInterLaceFilter : public CInOutTransformFilter {
public:
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudDeInterLaceFilter; }

    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    DeInterLaceFilter(LPUNKNOWN pUnk, HRESULT* phr);

    // Filter lock; changed only while connecting.
    int m_width = 0;
    int m_height = 0;
    int m_bytesPerPixel = 0;
    bool m_bottomUp = false;
};
