// TarvoMpeg4Decoder: "Tarvo Mpeg4 Decoder", MPEG-4 Part 2 video to YUY2
// pictures over libavcodec. It takes the splitter's MPEG-4 type (the FOURCC
// subtype "divx" with a VIDEOINFOHEADER) and the usual FOURCCs of MPEG-4
// Part 2 streams; the video object layer header comes in the stream.
// Everything else, threads and locks included, is CAvDecoderFilter's.
#pragma once

#include "AvDecoderFilter.h"

extern const AMOVIESETUP_FILTER sudTarvoMpeg4Decoder;

class TarvoMpeg4Decoder : public CAvDecoderFilter {
public:
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudTarvoMpeg4Decoder; }

protected:
    bool AcceptsInput(const CMediaType& mt, const VideoFormat& f) const override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    TarvoMpeg4Decoder(LPUNKNOWN pUnk, HRESULT* phr);
};
