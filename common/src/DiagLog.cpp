#include "DiagLog.h"

#include "win32/file.h"

FILE* OpenFirstFreeLog(const char* pattern)
{
    if (!pattern)
        return nullptr;
    char name[300];
    for (int i = 0; i < 10; ++i) {
        std::snprintf(name, sizeof(name), pattern, i);
        // A file that opens for update exists already: the next index.
        if (FILE* existing = TvFopen(name, "r+")) {
            std::fclose(existing);
            continue;
        }
        if (FILE* created = TvFopen(name, "w"))
            return created;
    }
    return nullptr;
}
