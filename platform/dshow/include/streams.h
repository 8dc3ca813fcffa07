// The DirectShow base classes: include this where a filter would include
// <streams.h>. Declarations (dshow.h and the format headers), the helpers, the
// filter, pin, sample and allocator classes, registration, and the derived
// base classes (transform, source, output queue, position pass-through,
// control helpers, renderers) when they are present.
#pragma once

#include <objbase.h>
#include <windows.h>

#include "dshow.h"
#include "dvdmedia.h"
#include "fourcc.h"
#include "mmreg.h"

#include "dshowtrace.h"
#include "wxdebug.h"
#include "wxutil.h"
#include "reftime.h"
#include "mtype.h"
#include "amalloc.h"
#include "amfilter.h"
#include "dllsetup.h"

#if __has_include("ctlutil.h")
#include "ctlutil.h"
#endif
#if __has_include("posthru.h")
#include "posthru.h"
#endif
#if __has_include("outputq.h")
#include "outputq.h"
#endif
#if __has_include("transfrm.h")
#include "transfrm.h"
#endif
#if __has_include("source.h")
#include "source.h"
#endif
#if __has_include("renbase.h")
#include "renbase.h"
#endif
#if __has_include("winctrl.h")
#include "winctrl.h"
#endif
