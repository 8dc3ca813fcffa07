// CoraAvcH264Decoder: "CoraAVC H264 Decoder Filter", the HD H.264 decoder of
// the chain, over libavcodec. It takes the splitter's AVC1 type (an
// MPEG2VIDEOINFO whose sequence header holds the parameter sets) with samples
// in start-code form, the length-prefixed form an AVC1 type may describe
// instead (the sequence header as 2-byte-length NAL units, samples with
// lengths of dwFlags bytes), and the "H264" FOURCCs with a VIDEOINFOHEADER(2).
// Everything else, threads and locks included, is CAvDecoderFilter's.
#pragma once

#include "AvDecoderFilter.h"

extern const AMOVIESETUP_FILTER sudCoraAvcH264Decoder;

class CoraAvcH264Decoder : public CAvDecoderFilter {
public:
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudCoraAvcH264Decoder; }

protected:
    bool AcceptsInput(const CMediaType& mt, const VideoFormat& f) const override;
    // The parameter sets in start-code form.
    bool CodecConfig(const VideoFormat& f, std::vector<uint8_t>* config) const override;
    // Length-prefixed samples in start-code form.
    std::span<const uint8_t> DecoderInput(std::span<const uint8_t> sample,
                                          std::vector<uint8_t>* scratch) override;
    // The splitter announces every HD stream as 1920 x 1080 and has the frame
    // processor cut the picture out of that frame (a 1600-wide picture, or
    // the size a QBox stream's device header gives): the frame stays.
    bool KeepsAgreedFrame() const override { return true; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CoraAvcH264Decoder(LPUNKNOWN pUnk, HRESULT* phr);
};
