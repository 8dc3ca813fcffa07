// The property pages of the player's filters (the "Connect Parameter" page of
// the network source, the processor's "Adjuster", the decoder's page), reached
// through TP_GetFilterGraph: the 'p' key and --pages.
#pragma once

#include "PlaySteps.h"

// On screen: opens a Qt window with the pages (the chooser when several
// filters have pages) and returns when a person closes it; playback goes on
// meanwhile, and tvplay's own window waits. Offscreen: names the filters with
// pages in the log and shows nothing. False (a failed step) when the player
// has no graph or tvplay was built without Qt.
bool OpenFilterPages(CStepLog& log, int handle, bool onScreen);
