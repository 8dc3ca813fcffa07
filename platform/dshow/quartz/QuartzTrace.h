// The graph manager's debug channel, "quartz" (win32/trace.h): set TARVO_TRACE
// to a list containing "quartz" (or "all") to log each graph-building and
// state-change call with its arguments and result on standard error. Off by
// default.
#pragma once

#include "win32/trace.h"

#define QUARTZ_TRACE(...) TV_TRACE("quartz", __VA_ARGS__)
