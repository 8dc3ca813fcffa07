// The X11 side of the window functions: the platform's own display connection and
// safe queries of window ids that the application owns. Private to tvplatform.
#pragma once

#include <cstdint>

namespace tvwin {

// X11 window ids are below this bound; virtual window ids start above it.
constexpr uintptr_t kX11IdLimit = uintptr_t(1) << 29;

// Client size of the X11 window xid. False (never an X error that ends the process)
// when there is no display or the server does not know the window.
bool X11WindowSize(uintptr_t xid, int* width, int* height);

} // namespace tvwin
