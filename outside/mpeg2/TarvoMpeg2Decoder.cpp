#include "TarvoMpeg2Decoder.h"

#include "OutsideFilterIds.h"

#include <uuids.h>

#include <new>

CUnknown* TarvoMpeg2Decoder::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    auto* filter = new (std::nothrow) TarvoMpeg2Decoder(pUnk);
    if (!filter && phr)
        *phr = E_OUTOFMEMORY;
    return filter;
}

TarvoMpeg2Decoder::TarvoMpeg2Decoder(LPUNKNOWN pUnk)
    : CAvDecoderFilter("Tarvo Mpeg2 Decoder", pUnk, CLSID_TarvoMpeg2Decoder, "mpeg2dec",
                       AV_CODEC_ID_MPEG2VIDEO)
{
}

bool TarvoMpeg2Decoder::AcceptsInput(const CMediaType& mt, const VideoFormat&) const
{
    return IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
}
