// The module of "CoraAVC H264 Decoder Filter": its registration data and class
// table.
#include "CoraAvcH264Decoder.h"
#include "OutsideFilterIds.h"
#include "TarvoMediaTypes.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudInputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_TarvoAvc1};
const AMOVIESETUP_MEDIATYPE sudOutputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudInputType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudOutputType},
};

} // namespace

// Created by class identifier by the chain builder only.
const AMOVIESETUP_FILTER sudCoraAvcH264Decoder = {
    &CLSID_CoraAvcH264Decoder, CORAAVC_H264_DECODER_NAME, MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {CORAAVC_H264_DECODER_NAME, &CLSID_CoraAvcH264Decoder, CreateComInstance<CoraAvcH264Decoder>,
     nullptr, &sudCoraAvcH264Decoder},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
