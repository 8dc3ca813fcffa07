// The filter's debug channel "h264dec": every IH264DecoderControl call and the
// connection and stream events, off unless TARVO_TRACE names it.
#pragma once

#include "win32/trace.h"

#define H264DEC_TRACE(...)                                                                         \
    do {                                                                                           \
        if (TvTraceEnabled("h264dec"))                                                             \
            TvTrace("h264dec", __VA_ARGS__);                                                       \
    } while (0)
