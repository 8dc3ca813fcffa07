// Debug channels: every module logs its entry points on a channel of its own,
// off by default. TARVO_TRACE holds a list of channel names separated by
// commas, spaces or colons ("com,player", "all"); the list is read once.
#pragma once

// True when the channel (e.g. "com", "player", "dshow") is switched on.
bool TvTraceEnabled(const char* channel);

// Writes "channel: text" as one line to standard error (printf format).
void TvTrace(const char* channel, const char* format, ...) __attribute__((format(printf, 2, 3)));
