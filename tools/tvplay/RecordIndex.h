// tvplay --index FILE.
#pragma once

// Builds the frame index of a record file (its ".idx" file is written beside it),
// printing the progress while it takes longer than a second; then the frames,
// the GOP and the duration. 0, or 1 when the file cannot be indexed.
int RunIndex(const char* path);
