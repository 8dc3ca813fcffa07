// The module of "Tarvo Jp2k Decoder": its registration data and class table.
#include "OutsideFilterIds.h"
#include "TarvoJp2kDecoder.h"
#include "TarvoMediaTypes.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudInputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_TarvoJpeg2000};
const AMOVIESETUP_MEDIATYPE sudOutputType = {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2};
const AMOVIESETUP_MEDIATYPE sudInfoType = {&MEDIATYPE_Text, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudInputType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudOutputType},
    {L"Info", FALSE /*rendered*/, TRUE /*output*/, TRUE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudInfoType},
};

} // namespace

// Created by class identifier by the chain builder only.
const AMOVIESETUP_FILTER sudTarvoJp2kDecoder = {&CLSID_TarvoJp2kDecoder, TARVO_JP2K_DECODER_NAME,
                                                MERIT_DO_NOT_USE, 3, sudPins};

CFactoryTemplate g_Templates[] = {
    {TARVO_JP2K_DECODER_NAME, &CLSID_TarvoJp2kDecoder, CreateComInstance<TarvoJp2kDecoder>, nullptr,
     &sudTarvoJp2kDecoder},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
