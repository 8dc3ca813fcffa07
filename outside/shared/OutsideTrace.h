// Debug channels of the outside filters ("jp2kdec", "mpeg2dec", "mpeg4dec",
// "coraavc", "colorspace", "deinterlace"): connection, stream and type events,
// off unless TARVO_TRACE names the channel.
#pragma once

#include "win32/trace.h"

#define OUTSIDE_TRACE(channel, ...)                                                                \
    do {                                                                                           \
        if (TvTraceEnabled(channel))                                                               \
            TvTrace(channel, __VA_ARGS__);                                                         \
    } while (0)
