// The splitter's output pins build their own downstream chains (IStreamBuilder)
// instead of leaving it to intelligent connect: a fixed chain per CodecKind for
// "Video Out" (decoder, frame processor, colour conversion, "Render"), the
// DirectSound renderer for "Audio Out". Every filter is created by CLSID
// through the registry and added under a fixed name; every connection is
// direct, without a media type.
//
// Add-or-reuse: a filter the builder already holds is added again when the
// graph takes it under its name; else a filter of that name already in the
// graph is taken; else a new one is created and added.
//
// Results of the video chain: 0, one of the codes below for the first step
// that failed, the HRESULT of a failure to create or add the renderer, or
// E_FAIL for a kind without a chain. Whatever is not 0 is also sent to the
// graph as EC_ERRORABORT with the result as first parameter. Filters added
// before the failing step stay in the graph and in the builder until Backout
// or RemoveDownstream.
//
// Threads: Render, Backout and ReleaseRenderer come from the application
// thread (directly or through the graph manager's Render, which may hold the
// graph's lock: the builder calls back into the graph on the same thread).
// m_lock guards the builder's members; it is never held by a streaming thread.
#pragma once

#include "CodecKind.h"

#include <streams.h>

#include <memory>

class CTarvoSplitterF;

// Result codes of the video chain.
enum ChainResult : HRESULT {
    kChainH264DecoderFailed = 10105,
    kChainMpeg2DecoderFailed = 10106,
    kChainMpeg4DecoderFailed = 10107,
    kChainJp2kDecoderFailed = 10108,
    kChainHdH264DecoderFailed = 10109,
    kChainMjpegTypeOrDeinterlacerFailed = 10110,
    kChainColorSpaceFailed = 10112,
    kChainMjpegDecoderFailed = 10121,
    kChainProcessorFailed = 10122,
    kChainNoProcesserCut = 10223,
    kChainVideoToDecoderFailed = 10301,
    kChainToRendererFailed = 10307,
    kChainMjpegToDeinterlacerFailed = 10310,
    kChainMjpegToColorSpaceFailed = 10311,
    kChainDecoderToProcessorFailed = 10314,
    kChainProcessorToColorSpaceFailed = 10315,
};

// What an output pin's IStreamBuilder does (the pin forwards its two calls).
class CStreamBuilder {
public:
    virtual ~CStreamBuilder() = default;
    virtual HRESULT Render(IPin* ppinOut, IGraphBuilder* pGraph) = 0;
    virtual HRESULT Backout(IPin* ppinOut, IGraphBuilder* pGraph) = 0;
    // After RemoveDownstream took the chain out of the graph: the renderer,
    // when held, is removed from graph and released; the rest stays held.
    virtual void ReleaseRenderer(IFilterGraph* graph) = 0;

    // The video chain of "Video Out" (pin) or the audio chain of "Audio Out".
    static std::unique_ptr<CStreamBuilder> ForVideo(CTarvoSplitterF* splitter, CBasePin* pin);
    static std::unique_ptr<CStreamBuilder> ForAudio(CTarvoSplitterF* splitter, CBasePin* pin);
};

// The HD decoder's settings, adjusted before its chain is built: in text of
// length bytes (the file's first 1536 at most), the character after "di="
// becomes '8', after "use_tray=" and "use_cuda=" '0', each where the key is
// present with a character behind it. Returns whether anything changed.
bool AdjustHdDecoderSettings(char* text, size_t length);
// The same on the settings file of the session's user ("C:\Documents and
// Settings\<user>\Application Data\coreavc.ini" through the drive mapping);
// any failure leaves everything as it is.
void AdjustHdDecoderSettingsFile();
