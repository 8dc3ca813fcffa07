// The splitter's debug channel "splitter" (switched on with TARVO_TRACE):
// every ITarvoSplt call with its arguments and result.
#pragma once

#include "win32/trace.h"

#define SPLITTER_TRACE(...)                                                                        \
    do {                                                                                           \
        if (TvTraceEnabled("splitter"))                                                            \
            TvTrace("splitter", __VA_ARGS__);                                                      \
    } while (0)
