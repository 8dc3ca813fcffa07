#include "window_x11.h"

#include "win32/window.h"

#include <X11/Xlib.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace {

std::once_flag g_openOnce;
Display* g_display = nullptr; // written once under g_openOnce

// Set once the connection to the X server broke (the server ended or went
// away). Xlib's default reaction ends the process; ours marks the connection
// lost, after which nothing here touches it again: windows on that server
// answer as gone and the renderers draw offscreen. Never cleared.
std::atomic<bool> g_lost{false};
std::atomic<XIOErrorHandler> g_previousIOHandler{nullptr};

// Probes of application-owned ids may hit windows that are gone. Xlib reports that
// through the process-wide error handler, whose default ends the process, so each
// probe puts ours in place for its duration and puts the previous one back.
std::mutex g_probeLock; // serialises probes
std::atomic<bool> g_probeFailed{false};
std::atomic<XErrorHandler> g_previousHandler{nullptr};

int onXError(Display* display, XErrorEvent* event)
{
    if (display == g_display) {
        // Only probes use our connection, so any error on it is the probe's.
        g_probeFailed.store(true);
        return 0;
    }
    // Another connection of the process (the application's): not ours to judge.
    XErrorHandler previous = g_previousHandler.load();
    return previous ? previous(display, event) : 0;
}

// The I/O error handler is process-wide: connections of the application keep
// the handler they had (and with it, by default, the exit that follows).
int onIOError(Display* display)
{
    if (display == g_display) {
        g_lost.store(true);
        return 0;
    }
    XIOErrorHandler previous = g_previousIOHandler.load();
    return previous ? previous(display) : 0;
}

// Runs after the I/O error handler, for our connection only; by returning it
// keeps the process alive.
void onIOErrorExit(Display*, void*)
{
    g_lost.store(true);
}

void openDisplay()
{
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        return;
    XInitThreads();
    g_display = XOpenDisplay(nullptr);
    if (!g_display)
        return;
    XIOErrorHandler previous = XSetIOErrorHandler(onIOError);
    g_previousIOHandler.store(previous == onIOError ? nullptr : previous);
    XSetIOErrorExitHandler(g_display, onIOErrorExit, nullptr);
}

} // namespace

void* TvGetX11Display(void)
{
    std::call_once(g_openOnce, openDisplay);
    return g_lost.load() ? nullptr : g_display;
}

BOOL TvX11ConnectionLost(void)
{
    return g_lost.load() ? TRUE : FALSE;
}

namespace tvwin {

bool X11WindowSize(uintptr_t xid, int* width, int* height)
{
    if (xid == 0 || xid >= kX11IdLimit)
        return false;
    auto* display = static_cast<Display*>(TvGetX11Display());
    if (!display)
        return false;

    std::lock_guard<std::mutex> guard(g_probeLock);
    if (g_lost.load())
        return false;
    g_probeFailed.store(false);
    XErrorHandler previous = XSetErrorHandler(onXError);
    g_previousHandler.store(previous == onXError ? nullptr : previous);
    XWindowAttributes attributes;
    Status ok = XGetWindowAttributes(display, static_cast<Window>(xid), &attributes);
    // Collect any error of this request before our handler goes away (a
    // connection that broke meanwhile takes no more requests).
    if (!g_lost.load())
        XSync(display, False);
    XSetErrorHandler(previous == onXError ? nullptr : previous);
    if (!ok || g_probeFailed.load() || g_lost.load())
        return false;
    if (width)
        *width = attributes.width;
    if (height)
        *height = attributes.height;
    return true;
}

} // namespace tvwin
