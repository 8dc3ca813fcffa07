// The module of "Tarvo Color Space": its registration data and class table.
#include "OutsideFilterIds.h"
#include "TarvoColorSpace.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudInputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
};
const AMOVIESETUP_MEDIATYPE sudOutputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 2, sudInputTypes},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 2, sudOutputTypes},
};

} // namespace

// Created by class identifier by the chain builder only.
const AMOVIESETUP_FILTER sudTarvoColorSpace = {&CLSID_TarvoColorSpace, TARVO_COLOR_SPACE_NAME,
                                               MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {TARVO_COLOR_SPACE_NAME, &CLSID_TarvoColorSpace, CreateComInstance<TarvoColorSpace>, nullptr,
     &sudTarvoColorSpace},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
