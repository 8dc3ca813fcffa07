#include "TarvoMpeg2Decoder.h"

#include "OutsideFilterIds.h"

#include <uuids.h>

#include <new>

// The creation template's form; nothing here can fail.
TarvoMpeg2Decoder::TarvoMpeg2Decoder(LPUNKNOWN pUnk, HRESULT*)
    : CAvDecoderFilter("Tarvo Mpeg2 Decoder", pUnk, CLSID_TarvoMpeg2Decoder, "mpeg2dec",
                       AV_CODEC_ID_MPEG2VIDEO)
{
}

bool TarvoMpeg2Decoder::AcceptsInput(const CMediaType& mt, const VideoFormat&) const
{
    return IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
}
