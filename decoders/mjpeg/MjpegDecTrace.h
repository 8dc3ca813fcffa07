// The Motion JPEG decoder's debug channel "mjpegdec": connection, media types,
// allocator sizes and dropped frames, off unless TARVO_TRACE names it.
#pragma once

#include "win32/trace.h"

#define MJPEGDEC_TRACE(...) TV_TRACE("mjpegdec", __VA_ARGS__)
