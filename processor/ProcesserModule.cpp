// The TarvoProcesser module: the filter's registration data and the class
// factory table (the filter and its "Adjuster" property page).
#include "CAdjusterProp.h"
#include "CProcesserFilter.h"
#include "TarvoGuids.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudAnyType = {&GUID_NULL, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     L"Output", 1, &sudAnyType},
    {L"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1, &sudAnyType},
    {L"Overlay Input", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1, &sudAnyType},
};

} // namespace

// Merit 0x200000, the value the filter has always been registered with: it is
// created by class identifier only, never picked by intelligent connect.
const AMOVIESETUP_FILTER sudProcesser = {&CLSID_TarvoProcesser, L"TarvoProcesser", MERIT_DO_NOT_USE,
                                         3, sudPins};

CFactoryTemplate g_Templates[] = {
    {L"TarvoProcesser", &CLSID_TarvoProcesser, CreateComInstance<CProcesserFilter>, nullptr,
     &sudProcesser},
    {L"Adjuster Property Page", &CLSID_AdjusterPropertyPage, CreateComInstance<CAdjusterProp>,
     nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
