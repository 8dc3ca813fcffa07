// Text conversions between the platform's two string forms: "ANSI" text is
// UTF-8 here and wide text (WCHAR, wchar_t) is UTF-32.
#pragma once

#include <string>

#include "win32/types.h"

// Wide text as UTF-8; invalid code points become U+FFFD. "" for null.
std::string TvWideToUtf8(const WCHAR* text);
// UTF-8 as wide text; malformed sequences become U+FFFD. L"" for null.
std::wstring TvUtf8ToWide(const char* text);
