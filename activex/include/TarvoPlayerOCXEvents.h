// The player control's outgoing interface, as its hosts see it: the
// connection point's IID and the events' DISPIDs. A host advises an IDispatch
// sink on that point (FindConnectionPoint with DIID__DTarvoPlayerOCXEvents)
// and receives each event as an Invoke with the event's DISPID and its long
// arguments (DISPPARAMS order: the last argument first).
#pragma once

#include "com/guid.h"

// {F2F2734C-BB00-49BD-AA40-2EEF1FBE47AF}: _DTarvoPlayerOCXEvents
DEFINE_GUID(DIID__DTarvoPlayerOCXEvents, 0xF2F2734C, 0xBB00, 0x49BD, 0xAA, 0x40, 0x2E, 0xEF, 0x1F,
            0xBE, 0x47, 0xAF);

#define DISPID_OCX_PTZEVENT 1
#define DISPID_OCX_FILEENDEVENT 2
#define DISPID_OCX_ERROREVENT 3
#define DISPID_OCX_WINDOWPROC 4
#define DISPID_OCX_ACTIVEWINDOW 5
#define DISPID_OCX_FIRSTSAMPLEDELIVERED 6
