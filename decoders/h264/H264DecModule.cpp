// The TarvoH264Dec module: the filter's registration data and the class
// factory table (the filter and its property page's class).
#include "TarvoGuids.h"
#include "TarvoH264DecoderFilter.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudAnyType = {&GUID_NULL, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudAnyType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudAnyType},
};

// The page's class is registered with the filter; its dialog is not built
// yet, so creating it reports E_NOTIMPL.
CUnknown* CreateH264DecoderPropertyPage(LPUNKNOWN, HRESULT* phr)
{
    if (phr)
        *phr = E_NOTIMPL;
    return nullptr;
}

} // namespace

// Merit 0x200000: only ever created by class identifier by the chain builder.
const AMOVIESETUP_FILTER sudTarvoH264Decoder = {
    &CLSID_TarvoH264Decoder, L"Tarvo H264 Decoder Filter", MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {L"Tarvo H264 Decoder Filter", &CLSID_TarvoH264Decoder, TarvoH264DecoderFilter::CreateInstance,
     nullptr, &sudTarvoH264Decoder},
    {L"Tarvo H264 Decoder Filter Properties", &CLSID_H264DecoderPropertyPage,
     CreateH264DecoderPropertyPage, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
