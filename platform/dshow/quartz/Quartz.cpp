// The tvquartz module: the filter graph manager and the system reference clock.
#include <dshow.h>

#include "FilterGraph.h"
#include "SystemClock.h"

CFactoryTemplate g_Templates[] = {
    {L"Filter Graph", &CLSID_FilterGraph, CreateComInstance<CFilterGraph>, nullptr, nullptr},
    {L"System Clock", &CLSID_SystemClock, CreateComInstance<CSystemClock>, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
