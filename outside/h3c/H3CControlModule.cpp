// The H3C control's COM module: one class, registered under its CLSID.
#include <objbase.h>

#include "H3CControl.h"
#include "H3CControlObject.h"
#include "com/factory.h"

CFactoryTemplate g_Templates[] = {
    {L"H3C Control", &CLSID_H3CControl, H3cCreateControl, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
