// DirectShow: include this where DirectShow code would include <dshow.h>.
#pragma once

#include <objbase.h>

#include "amvideo.h"
#include "control.h"
#include "evcode.h"
#include "strmif.h"
#include "uuids.h"
#include "vfwmsgs.h"
