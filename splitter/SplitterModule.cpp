// The TarvoSplitterF module: the splitter's registration data and its class
// factory table. Loading it installs the device voice decoder for the
// module's record parsers (each module has its own copy of that hook).
#include "CTarvoSplitterF.h"
#include "DeviceVoiceDecoder.h"
#include "TarvoGuids.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudAnyType = {&GUID_NULL, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     L"Output", 1, &sudAnyType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudAnyType},
};

void InstallModuleVoiceDecoder(BOOL loading, const CLSID*)
{
    InstallVoiceDecoder(loading ? &DeviceVoiceDecoderCalls() : nullptr);
}

} // namespace

const AMOVIESETUP_FILTER sudTarvoSplitter = {&CLSID_TarvoSplitterF, L"New Tarvo Splitter Filter",
                                             0x80000300, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {L"New Tarvo Splitter Filter", &CLSID_TarvoSplitterF, CreateComInstance<CTarvoSplitterF>,
     InstallModuleVoiceDecoder, &sudTarvoSplitter},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
