// The diagnostic logs of the filters: plain text files in a folder that
// switches them on by existing ("C:\\SoftDecLog"), each run taking the first
// free index 0 to 9 in its file name.
#pragma once

#include <cstdio>

// Opens a new log named by pattern (a printf format with one %d) with the
// first index 0 to 9 whose file does not exist yet (an existing file belongs
// to an earlier run), created for writing. Null when the folder is missing or
// all ten names are taken. Any thread.
FILE* OpenFirstFreeLog(const char* pattern);
