// The module of "DeInterLace Filter": its registration data and class table.
#include "DeInterLaceFilter.h"
#include "OutsideFilterIds.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 3, sudTypes},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 3, sudTypes},
};

} // namespace

// Created by class identifier by the chain builder only.
const AMOVIESETUP_FILTER sudDeInterLaceFilter = {&CLSID_DeInterLaceFilter, DEINTERLACE_FILTER_NAME,
                                                 MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {DEINTERLACE_FILTER_NAME, &CLSID_DeInterLaceFilter, CreateComInstance<DeInterLaceFilter>,
     nullptr, &sudDeInterLaceFilter},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
