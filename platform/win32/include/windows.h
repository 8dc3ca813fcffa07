// The Win32 stand-in: include this where Windows code would include <windows.h>.
#pragma once

#include "win32/types.h"
#if __has_include("win32/sync.h")
#include "win32/sync.h"
#endif
#if __has_include("win32/timefn.h")
#include "win32/timefn.h"
#endif
#if __has_include("win32/path.h")
#include "win32/path.h"
#endif
#if __has_include("win32/file.h")
#include "win32/file.h"
#endif
#if __has_include("win32/registry.h")
#include "win32/registry.h"
#endif
#if __has_include("win32/window.h")
#include "win32/window.h"
#endif
#if __has_include("win32/msgbox.h")
#include "win32/msgbox.h"
#endif
#if __has_include("win32/session.h")
#include "win32/session.h"
#endif
