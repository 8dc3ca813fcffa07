// Text conversions between the platform's two string forms: "ANSI" text is
// UTF-8 here and wide text (WCHAR, wchar_t) is UTF-32.
#pragma once

#include <string>

#include "win32/types.h"

// Wide text as UTF-8; invalid code points become U+FFFD. "" for null.
std::string TvWideToUtf8(const WCHAR* text);
// UTF-8 as wide text; malformed sequences become U+FFFD. L"" for null.
std::wstring TvUtf8ToWide(const char* text);

#ifndef CP_UTF8
#define CP_UTF8 65001
#endif

// Code pages (the devices' texts travel in 936, GBK) through the C library's
// iconv. A code page number the C library has no converter for is "unknown".

// The converter name of a Windows code page number ("CP936", "GB2312", ...).
std::string TvCodePageName(UINT codePage);
// UTF-8 text in `codePage`, cut before the first character that would make it
// longer than maxBytes, so that no character is ever split. A character the
// code page lacks becomes '?', as WideCharToMultiByte's default character.
// False (and out empty) when the code page is unknown.
bool TvUtf8ToCodePage(const std::string& text, UINT codePage, size_t maxBytes, std::string& out);
// Bytes in `codePage` as UTF-8; a byte that starts no valid character becomes
// U+FFFD. Unknown code pages are read as UTF-8.
std::string TvCodePageToUtf8(const char* bytes, size_t count, UINT codePage);
