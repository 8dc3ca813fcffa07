// tvplay SOURCE [OPTIONS]: one player over the TP_ functions, live or from a
// record file, with the options' overlays, colour, crop, rate, record, capture
// and snapshot, statistics once a second and, in an X11 window, the keys.
#pragma once

#include "Options.h"

int RunPlayer(const PlayOptions& options);
