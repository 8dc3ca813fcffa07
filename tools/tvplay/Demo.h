// tvplay --demo: the kit end to end in one minute. A simulated encoder in this
// process sends its live stream over loopback; a player shows it with overlays,
// records ten seconds of it, captures a picture and reports its statistics once
// a second; then a file player plays the recording back (seek, double speed,
// stepping). Exits 1 when any step failed.
#pragma once

#include "Options.h"

int RunDemo(const PlayOptions& options);
