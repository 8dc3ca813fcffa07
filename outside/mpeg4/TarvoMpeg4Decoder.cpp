#include "TarvoMpeg4Decoder.h"

#include "OutsideFilterIds.h"

#include <fourcc.h>

#include <new>

// The creation template's form; nothing here can fail.
TarvoMpeg4Decoder::TarvoMpeg4Decoder(LPUNKNOWN pUnk, HRESULT*)
    : CAvDecoderFilter("Tarvo Mpeg4 Decoder", pUnk, CLSID_TarvoMpeg4Decoder, "mpeg4dec",
                       AV_CODEC_ID_MPEG4)
{
}

bool TarvoMpeg4Decoder::AcceptsInput(const CMediaType& mt, const VideoFormat&) const
{
    if (!TvIsFourccGuid(mt.subtype))
        return false;
    static const DWORD kFourccs[] = {
        MAKEFOURCC('d', 'i', 'v', 'x'), MAKEFOURCC('D', 'I', 'V', 'X'),
        MAKEFOURCC('X', 'V', 'I', 'D'), MAKEFOURCC('x', 'v', 'i', 'd'),
        MAKEFOURCC('D', 'X', '5', '0'), MAKEFOURCC('M', 'P', '4', 'V'),
        MAKEFOURCC('m', 'p', '4', 'v'), MAKEFOURCC('F', 'M', 'P', '4'),
    };
    for (DWORD fourcc : kFourccs)
        if (mt.subtype.Data1 == fourcc)
            return true;
    return false;
}
