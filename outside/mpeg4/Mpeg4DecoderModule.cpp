// The module of "Tarvo Mpeg4 Decoder": its registration data and class table.
#include "OutsideFilterIds.h"
#include "TarvoMediaTypes.h"
#include "TarvoMpeg4Decoder.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudInputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_TarvoDivx};
const AMOVIESETUP_MEDIATYPE sudOutputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudInputType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudOutputType},
};

} // namespace

// Created by class identifier by the chain builder only.
const AMOVIESETUP_FILTER sudTarvoMpeg4Decoder = {&CLSID_TarvoMpeg4Decoder, TARVO_MPEG4_DECODER_NAME,
                                                 MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {TARVO_MPEG4_DECODER_NAME, &CLSID_TarvoMpeg4Decoder, CreateComInstance<TarvoMpeg4Decoder>,
     nullptr, &sudTarvoMpeg4Decoder},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
