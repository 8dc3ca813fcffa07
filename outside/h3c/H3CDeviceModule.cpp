// The H3C device object's COM module: one class, registered under its CLSID.
#include <objbase.h>

#include "H3CDevice.h"
#include "H3CDeviceObject.h"
#include "com/factory.h"

CFactoryTemplate g_Templates[] = {
    {L"H3C Device", &CLSID_H3CDevice, H3cCreateDevice, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
