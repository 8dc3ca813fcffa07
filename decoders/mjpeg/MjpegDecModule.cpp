// The TarvoMjpegDecoder module: the filter's registration data and the class
// factory table.
#include "TarvoGuids.h"
#include "TarvoMjpegDecoderFilter.h"

#include <dllsetup.h>
#include <uuids.h>

namespace {

const AMOVIESETUP_MEDIATYPE sudVideoAny = {&MEDIATYPE_Video, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     L"Output", 1, &sudVideoAny},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     L"Input", 1, &sudVideoAny},
};

} // namespace

// Merit "do not use": only ever created by class identifier by the chain builder.
const AMOVIESETUP_FILTER sudTarvoMjpegDecoder = {&CLSID_TarvoMjpegDecoder, L"Tarvo M-Jpeg Decoder",
                                                 MERIT_DO_NOT_USE, 2, sudPins};

CFactoryTemplate g_Templates[] = {
    {L"Tarvo M-Jpeg Decoder", &CLSID_TarvoMjpegDecoder, CreateComInstance<TarvoMjpegDecoderFilter>,
     nullptr, &sudTarvoMjpegDecoder},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
