// TarvoMpeg2Decoder: "Tarvo Mpeg2 Decoder", MPEG-2 video to YUY2 pictures
// over libavcodec. It takes the splitter's MPEG-2 type (MEDIASUBTYPE_MPEG2_VIDEO
// with an MPEG2VIDEOINFO carrying the sequence header), and the same subtype
// with a VIDEOINFOHEADER(2), whose stream brings its own sequence headers.
// Everything else, threads and locks included, is CAvDecoderFilter's.
#pragma once

#include "AvDecoderFilter.h"

extern const AMOVIESETUP_FILTER sudTarvoMpeg2Decoder;

class TarvoMpeg2Decoder : public CAvDecoderFilter {
public:
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoMpeg2Decoder; }

protected:
    bool AcceptsInput(const CMediaType& mt, const VideoFormat& f) const override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    TarvoMpeg2Decoder(LPUNKNOWN pUnk, HRESULT* phr);
};
