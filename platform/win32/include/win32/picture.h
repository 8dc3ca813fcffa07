// Window pictures: what draws into a window (the video renderer draws into its
// owner) offers the picture it last showed there, so that a program can keep a
// snapshot of the window as a person sees it, with or without a display. The
// window need not be known to the platform otherwise (an X11 window of the
// application).
//
// All functions are MT safe.
#pragma once

#include "win32/types.h"

#ifndef ERROR_NOT_READY
#define ERROR_NOT_READY 21L
#endif

// Copies the picture into bgrx: rows top-down, 4 bytes per pixel in the order B,
// G, R, X, width * 4 bytes per row. *width, *height and *shown (the number of
// pictures shown so far) are set even when nothing is copied. TRUE when a picture
// has been shown and was copied (bgrx not null, size large enough). Called with
// the platform's picture lock held: it must not call TvSetWindowPictureSource.
typedef BOOL (*TvWindowPictureProc)(void* source, BYTE* bgrx, size_t size, int* width, int* height,
                                    uint64_t* shown);

// Makes (proc, source) the picture source of hwnd, replacing any other. With a
// null proc it removes source from hwnd when source is the one set there (another
// source stays); when it returns, no copy from the removed source is running.
void TvSetWindowPictureSource(HWND hwnd, TvWindowPictureProc proc, void* source);

// The picture hwnd's source last showed (see TvWindowPictureProc; bgrx may be null
// to learn the size and the count; width, height and shown may be null). FALSE
// with ERROR_INVALID_WINDOW_HANDLE when nothing draws into hwnd, with
// ERROR_NOT_READY when nothing has been shown yet, with ERROR_INSUFFICIENT_BUFFER
// when size is below width * height * 4.
BOOL TvCopyWindowPicture(HWND hwnd, BYTE* bgrx, size_t size, int* width, int* height,
                         uint64_t* shown);
