// The TarvoNWSource module: the class factory table with the filter's
// registration data, and the property page's class.
#include "CNWSourceFilter.h"
#include "CNWSourceProp.h"
#include "TarvoGuids.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudOutputType = {&MEDIATYPE_Video, &GUID_NULL};

const AMOVIESETUP_PIN sudOutputPin = {
    L"Output",      FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/,
    FALSE /*many*/, &CLSID_NULL,        nullptr,         1,
    &sudOutputType,
};

} // namespace

// Registered with merit 0x200000, the value the filter has always stored: it is
// only ever created by class identifier, never picked by intelligent connect.
const AMOVIESETUP_FILTER sudNWSource = {&CLSID_TarvoNWSource, L"Tarvo NWSource", MERIT_DO_NOT_USE,
                                        1, &sudOutputPin};

CFactoryTemplate g_Templates[] = {
    {L"Tarvo NWSource", &CLSID_TarvoNWSource, CreateComInstance<CNWSourceFilter>, nullptr,
     &sudNWSource},
    {L"Tarvo NWSource Properties", &CLSID_NWSourceProp, CreateComInstance<CNWSourceProp>, nullptr,
     nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
