// DirectShow: include this where DirectShow code would include <dshow.h>.
#pragma once

#include <objbase.h>

#include "control.h"
#include "strmif.h"
#include "uuids.h"
