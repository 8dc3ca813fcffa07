// The picture sources of windows: a table from window to the thing that draws
// into it. See win32/picture.h for the contract.
#include "win32/picture.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

struct PictureSource {
    TvWindowPictureProc proc;
    void* source;
};

// Held while a source copies its picture, so that removing a source waits for
// the copy that uses it.
std::mutex g_pictureLock;
// guarded by g_pictureLock
std::map<HWND, PictureSource> g_pictureSources;

} // namespace

void TvSetWindowPictureSource(HWND hwnd, TvWindowPictureProc proc, void* source)
{
    std::lock_guard<std::mutex> guard(g_pictureLock);
    if (proc) {
        g_pictureSources[hwnd] = PictureSource{proc, source};
        return;
    }
    auto it = g_pictureSources.find(hwnd);
    if (it != g_pictureSources.end() && it->second.source == source)
        g_pictureSources.erase(it);
}

BOOL TvCopyWindowPicture(HWND hwnd, BYTE* bgrx, size_t size, int* width, int* height,
                         uint64_t* shown)
{
    int w = 0, h = 0;
    uint64_t count = 0;
    BOOL copied = FALSE;
    {
        std::lock_guard<std::mutex> guard(g_pictureLock);
        auto it = g_pictureSources.find(hwnd);
        if (it == g_pictureSources.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        copied = it->second.proc(it->second.source, bgrx, size, &w, &h, &count);
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    if (shown)
        *shown = count;
    if (!copied)
        SetLastError(count == 0 ? ERROR_NOT_READY : ERROR_INSUFFICIENT_BUFFER);
    return copied;
}
