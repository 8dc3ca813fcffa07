// The module's class table and the filters' registration data.
#include "async/AsyncReader.h"
#include "audio/DSoundRenderer.h"
#include "streams.h"
#include "video/VideoRenderer.h"

namespace {

const AMOVIESETUP_MEDIATYPE sudStreamType = {&MEDIATYPE_Stream, &MEDIASUBTYPE_NULL};
const AMOVIESETUP_PIN sudAsyncReaderPins[] = {
    {L"Output", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &sudStreamType},
};
const AMOVIESETUP_FILTER sudAsyncReader = {&CLSID_AsyncReader, L"File Async Reader", MERIT_UNLIKELY,
                                           1, sudAsyncReaderPins};

const AMOVIESETUP_MEDIATYPE sudVideoTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},   {&MEDIATYPE_Video, &MEDIASUBTYPE_UYVY},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},  {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB565}, {&MEDIATYPE_Video, &MEDIASUBTYPE_I420},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_IYUV},   {&MEDIATYPE_Video, &MEDIASUBTYPE_YV12},
};
const AMOVIESETUP_PIN sudVideoRendererPins[] = {
    {L"Input", TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, UINT(std::size(sudVideoTypes)),
     sudVideoTypes},
};
const AMOVIESETUP_FILTER sudVideoRenderer = {&CLSID_VideoRenderer, L"Video Renderer",
                                             MERIT_PREFERRED, 1, sudVideoRendererPins};
const AMOVIESETUP_FILTER sudVideoRendererDefault = {&CLSID_VideoRendererDefault, L"Video Renderer",
                                                    MERIT_PREFERRED + 1, 1, sudVideoRendererPins};

const AMOVIESETUP_MEDIATYPE sudAudioType = {&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM};
const AMOVIESETUP_PIN sudDSoundPins[] = {
    {L"Audio Input pin (rendered)", TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1,
     &sudAudioType},
};
const AMOVIESETUP_FILTER sudDSoundRender = {&CLSID_DSoundRender, L"DirectSound Renderer",
                                            MERIT_PREFERRED, 1, sudDSoundPins};

} // namespace

CFactoryTemplate g_Templates[] = {
    {L"File Async Reader", &CLSID_AsyncReader, CreateComInstance<CAsyncReader>, nullptr,
     &sudAsyncReader},
    {L"Video Renderer", &CLSID_VideoRenderer,
     CreateComInstance<CVideoRenderer, CLSID_VideoRenderer>, nullptr, &sudVideoRenderer},
    {L"Video Renderer", &CLSID_VideoRendererDefault,
     CreateComInstance<CVideoRenderer, CLSID_VideoRendererDefault>, nullptr,
     &sudVideoRendererDefault},
    {L"DirectSound Renderer", &CLSID_DSoundRender, CreateComInstance<CDSoundRenderer>, nullptr,
     &sudDSoundRender},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
