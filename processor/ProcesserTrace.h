// The frame processor's debug channel "processor" (TARVO_TRACE=processor):
// each call of its private interfaces with its arguments and result.
#pragma once

#include "win32/trace.h"

#define PROCESSER_TRACE(...)                                                                       \
    do {                                                                                           \
        if (TvTraceEnabled("processor"))                                                           \
            TvTrace("processor", __VA_ARGS__);                                                     \
    } while (0)
