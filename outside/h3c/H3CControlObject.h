// The creation function of the simulated H3C control (its module's class
// table refers to it).
#pragma once

#include <objbase.h>

#include "com/factory.h"

CUnknown* H3cCreateControl(LPUNKNOWN outer, HRESULT* phr);
