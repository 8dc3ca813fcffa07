// The creation function of the simulated H3C device object (its module's
// class table refers to it).
#pragma once

#include <objbase.h>

#include "com/factory.h"

CUnknown* H3cCreateDevice(LPUNKNOWN outer, HRESULT* phr);
