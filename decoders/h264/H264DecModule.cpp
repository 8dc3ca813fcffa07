// The TarvoH264Dec module: the class factory table (the filter, with its
// registration data in TarvoH264DecoderFilter.cpp, and its property page's class).
#include "CH264DecoderProp.h"
#include "TarvoGuids.h"
#include "TarvoH264DecoderFilter.h"

#include <dllsetup.h>
#include <uuids.h>

CFactoryTemplate g_Templates[] = {
    {L"Tarvo H264 Decoder Filter", &CLSID_TarvoH264Decoder, TarvoH264DecoderFilter::CreateInstance,
     nullptr, &sudTarvoH264Decoder},
    {L"Tarvo H264 Decoder Filter Properties", &CLSID_H264DecoderPropertyPage,
     CreateComInstance<CH264DecoderProp>, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
