// The record-file parsers' debug channel "parsers" (switched on with
// TARVO_TRACE): every public call of a parser with its arguments and result,
// and the index thread's start and end.
#pragma once

#include "win32/trace.h"

#define PARSERS_TRACE(...) TV_TRACE("parsers", __VA_ARGS__)
