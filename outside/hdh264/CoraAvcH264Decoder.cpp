#include "CoraAvcH264Decoder.h"

#include "AvcFormat.h"
#include "OutsideFilterIds.h"

#include <fourcc.h>

#include <new>

// The creation template's form; nothing here can fail.
CoraAvcH264Decoder::CoraAvcH264Decoder(LPUNKNOWN pUnk, HRESULT*)
    : CAvDecoderFilter("CoraAVC H264 Decoder Filter", pUnk, CLSID_CoraAvcH264Decoder, "coraavc",
                       AV_CODEC_ID_H264)
{
}

bool CoraAvcH264Decoder::AcceptsInput(const CMediaType& mt, const VideoFormat&) const
{
    if (!TvIsFourccGuid(mt.subtype))
        return false;
    static const DWORD kFourccs[] = {
        MAKEFOURCC('A', 'V', 'C', '1'), MAKEFOURCC('a', 'v', 'c', '1'),
        MAKEFOURCC('H', '2', '6', '4'), MAKEFOURCC('h', '2', '6', '4'),
        MAKEFOURCC('X', '2', '6', '4'), MAKEFOURCC('x', '2', '6', '4'),
    };
    for (DWORD fourcc : kFourccs)
        if (mt.subtype.Data1 == fourcc)
            return true;
    return false;
}

bool CoraAvcH264Decoder::CodecConfig(const VideoFormat& f, std::vector<uint8_t>* config) const
{
    config->clear();
    return f.sequenceHeader.empty() || AvcSequenceHeaderToAnnexB(f.sequenceHeader, config);
}

std::span<const uint8_t> CoraAvcH264Decoder::DecoderInput(std::span<const uint8_t> sample,
                                                          std::vector<uint8_t>* scratch)
{
    const int lengthSize = static_cast<int>(InputFormat().mpeg2Flags);
    if ((lengthSize == 1 || lengthSize == 2 || lengthSize == 4) && !StartsWithStartCode(sample) &&
        LengthPrefixedToAnnexB(sample, lengthSize, scratch))
        return *scratch;
    return sample;
}
