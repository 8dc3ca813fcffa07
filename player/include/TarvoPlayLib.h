/* TarvoPlayLib: the player library's exported interface.
 *
 * An application calls TP_Init once, then TP_Initialize once per video window to
 * obtain a player handle, opens a source on that handle (TP_OpenStream for a live
 * device stream, TP_OpenLocalFile for a record file), controls playback, overlays,
 * capture and recording, and finally calls TP_Uninitialize per handle and TP_Exit.
 *
 * Every function returns an int: 0 on success, a player error code
 * (TarvoPlayErrors.h), an HRESULT passed through unchanged (E_NOTIMPL for the
 * operations the player does not offer), or -1 with the reason stored in the
 * process-wide last error, which TP_GetLastError reads through any valid handle.
 *
 * Handle lookup, shared by every function that takes a handle (except TP_Initialize,
 * TP_Uninitialize and TP_OpenLocalFile, documented below):
 *   - unknown handle: TP_ERR_INVALID_HANDLE (10600);
 *   - the handle's entry holds no player: TP_ERR_NO_PLAYER (10001);
 *   - otherwise the player operation's result is returned unchanged.
 * Functions documented as "-1 on failure" store these codes in the last error and
 * return -1 instead.
 *
 * Threads: any application thread may call, also on different handles at once
 * and on a handle another thread is removing (the call then runs to its end on
 * the player it found, or answers TP_ERR_INVALID_HANDLE); calls on one player
 * are serialised. The last error stays one process-wide value. Messages the library posts to a
 * player's window (graph event notifications 0x402 = WM_USER + 2, render failures 0x401 = WM_USER +
 * 1 with wParam = the HRESULT) reach the application through TP_SetMessageCallback.
 *
 * Text is UTF-8 ("ANSI" on this platform). Plain C, usable from C programs. */
#ifndef TARVO_PLAY_LIB_H
#define TARVO_PLAY_LIB_H

#include <stdint.h>

#include "TarvoPlayErrors.h"

#ifdef __cplusplus
#include "win32/types.h"
#define TP_EXTERN_C extern "C"
#else
typedef struct HWND__* HWND;
typedef struct tagPOINT {
    int32_t x;
    int32_t y;
} POINT;
/* The font of the text and time overlays, in the Windows layout (60 bytes). C++
 * programs take it from <wingdi.h>. */
typedef struct tagLOGFONTA {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
} LOGFONTA;
#define TP_EXTERN_C
#endif

/* The filter graph's interface (strmif.h); opaque to C programs. */
#ifdef __cplusplus
struct IFilterGraph;
#else
typedef struct IFilterGraph IFilterGraph;
#endif

#if defined(TARVO_PLAYLIB_BUILD)
#define TP_API TP_EXTERN_C __attribute__((visibility("default")))
#else
#define TP_API TP_EXTERN_C
#endif

/* Device types TP_Initialize accepts: 1 to 14 except 6 and 8. */
#define TP_DEVICE_TYPE_MIN 1
#define TP_DEVICE_TYPE_MAX 14

/* Command codes of TP_PlayControl. */
#define TP_PLAY_PLAY 0
#define TP_PLAY_PAUSE 1
#define TP_PLAY_STOP 2
#define TP_PLAY_CLOSE 3
#define TP_PLAY_GET_RATE 5 /* out: double* */
#define TP_PLAY_SET_RATE 6 /* in: const double* */
#define TP_PLAY_STEP_FORWARD 7
#define TP_PLAY_STEP_BACKWARD 8
#define TP_PLAY_GET_DURATION 9        /* out: int* (ms) */
#define TP_PLAY_GET_PLAYED_PERCENT 10 /* out: int* */
#define TP_PLAY_SET_PLAYED_PERCENT 11 /* in: percent */
#define TP_PLAY_GET_POSITION 12       /* out: int* (ms) */
#define TP_PLAY_SET_POSITION 13       /* in: milliseconds */
#define TP_PLAY_GET_TOTAL_FRAMES 14   /* out: int* */
#define TP_PLAY_GET_PLAY_VALUE2 15    /* out: int* */
#define TP_PLAY_SET_PLAY_VALUE 16     /* in: value */
#define TP_PLAY_GET_VOLUME 17         /* out: int* (0-100) */
#define TP_PLAY_SET_VOLUME 18         /* in: volume 0-100 */
#define TP_PLAY_GET_VOD_RANGE 19      /* out: int[2] */
#define TP_PLAY_SET_VOD_RANGE 20      /* in: const int[2] */

/* Command codes of TP_VideoCutControl. */
#define TP_CUT_SET 0        /* in: const int[4] left, top, right, bottom */
#define TP_CUT_GET 1        /* out: int[4] left, top, right, bottom */
#define TP_CUT_VIDEO_SIZE 2 /* out: int[2] width, height */

/* Decoded-picture callback: user value, the YUY2 picture, its size in bytes, its
 * width and height. Runs on a streaming thread of the graph. */
typedef void (*TP_YUVFrameCallBack)(void* user, unsigned char* frame, int size, int width,
                                    int height);

/* Receives the messages posted to a player's window (see TP_SetMessageCallback):
 * the window, the message number, wParam, lParam and the user value. The result is
 * ignored. Runs on the platform's message thread, one message at a time, in the
 * order they were posted. */
typedef intptr_t (*TP_MessageCallback)(HWND hWnd, unsigned int uMsg, uintptr_t wParam,
                                       intptr_t lParam, void* user);

/* ---- Library and handles ---- */

/* Empties the player table (the players in it are not deleted) and restarts handle
 * numbering at 0. Returns 0. */
TP_API int TP_Init(void);
/* Deletes every player, empties the table and restarts handle numbering at 0.
 * Returns 0. */
TP_API int TP_Exit(void);
/* Initialises COM on the calling thread. 0, or TP_ERR_OUT_OF_MEMORY. */
TP_API int TP_Login(void);
/* The same entry point as TP_Login. */
TP_API int TP_Logout(void);
/* Creates a player for the window. deviceType must be 1-14 except 6 and 8 (else -1,
 * last error TP_ERR_UNSUPPORTED). Play mode 0 or 1 creates a live stream player
 * that builds its graph at once (a failure there still gives a handle, whose player
 * has no graph); any other play mode gives a handle without player, for
 * TP_OpenLocalFile. formatType is the stream's codec kind; loginHandle is ignored.
 * Returns the new handle (0, 1, 2, ... in creation order) or -1. */
TP_API int TP_Initialize(HWND hWnd, int deviceType, int formatType, int playMode, int loginHandle);
/* Removes the handle and deletes its player. 0, also for an unknown handle. */
TP_API int TP_Uninitialize(int handle);
TP_API int TP_SetLoginHandle(int handle, int loginHandle);
/* TP_ERR_INVALID_HANDLE, TP_ERR_NO_PLAYER, or the process-wide last error. */
TP_API int TP_GetLastError(int handle);
/* buffer receives the version text; *length is its size in, the text length out. */
TP_API int TP_GetVersions(int handle, char* buffer, int* length);

/* Routes the messages the library and the graph post to hWnd (any window given to
 * TP_Initialize) to fn; a null fn stops the routing. This is how an application
 * receives what a window procedure would receive on Windows. Replacing or removing
 * a callback waits until no call of the old one is running (unless called from
 * inside a callback). 0, or E_INVALIDARG when hWnd is not a window. */
TP_API int TP_SetMessageCallback(HWND hWnd, TP_MessageCallback fn, void* user);

/* Writes the player's statistics text into buffer (size bytes with the
 * terminating zero): lines ending in "\r\n", for a live stream first
 * "NWSource--RecvPackets:...,RecvLength:...,DeliverSamples:...,DeliverLength:...",
 * then "After Decoder--Samples:..., Length:..." and
 * "Render--FrameRate:..., Drawn:..., Dropped:...". 0; TP_ERR_OUT_OF_MEMORY (10003)
 * when a line does not fit (the lines before it stay); the player's failure code
 * otherwise (a graph not yet rendered has no frame processor); E_POINTER for a
 * null buffer. Added on this
 * platform: on Windows only the player control reads it. */
TP_API int TP_GetStatistics(int handle, char* buffer, int size);

/* Hands out the player's filter graph, so that an application can reach its
 * filters (their property pages, for one): *graph receives the graph's
 * IFilterGraph, add-referenced (the caller releases it), or null. 0;
 * E_POINTER for a null graph; TP_ERR_INVALID_HANDLE when the player has no
 * graph; E_NOTIMPL for a player that plays without one. The graph stays valid
 * while it is held, also after the player closes it, but it is then stopped
 * and no longer the player's. This kit's addition: no such function exists
 * on Windows. */
TP_API int TP_GetFilterGraph(int handle, IFilterGraph** graph);

/* ---- Sources ---- */

/* address: device address (UTF-8); connectType: 1 UDP multicast, 2 UDP, 3 TCP
 * server, 4 TCP client; channel is passed on but not used. */
TP_API int TP_OpenStream(int handle, const char* address, int port, int connectType, int channel);
TP_API int TP_OpenPeriod(int handle, int channel, int startTime, int endTime);
TP_API int TP_OpenRemoteFile(int handle, const char* fileName);
/* Replaces the handle's player (whatever it holds) with a file player and opens the
 * record file. 0; TP_ERR_INVALID_HANDLE for an unknown handle; E_FAIL when the file
 * cannot be played, after which the handle holds no player. */
TP_API int TP_OpenLocalFile(int handle, const char* path);

/* ---- Playback control and picture adjustment ---- */

/* command: TP_PLAY_*; in carries the value itself or a pointer, out points to the
 * result. Unknown commands: TP_ERR_UNSUPPORTED. */
TP_API int TP_PlayControl(int handle, int command, intptr_t in, void* out);
/* command: TP_CUT_*. Unknown commands: TP_ERR_UNSUPPORTED. */
TP_API int TP_VideoCutControl(int handle, int command, intptr_t in, void* out);
TP_API int TP_SetReduceLevel(int handle, int spatialLevel, int frameLevel);
TP_API int TP_GetReduceLevel(int handle, int* spatialLevel, int* frameLevel);
TP_API int TP_SetColor(int handle, int brightness, int contrast, int saturation, int hue);
TP_API int TP_GetColor(int handle, int* brightness, int* contrast, int* saturation, int* hue);
/* Only the low byte of full is passed on. */
TP_API int TP_SetFullScreenMode(int handle, int full);
TP_API int TP_ReSize(int handle);

/* ---- Overlays ----
 * Colours are 0x00BBGGRR. Start times are seconds since 1970 (0 or less: now);
 * durations are seconds (0 or less: no limit). The add functions return the new
 * overlay index or -1; TP_SetFlickerTime, TP_GetItemsByIndex and the two load
 * functions return 0 or -1; both report the reason in the last error. */

/* font points to a LOGFONTA. The text is drawn white. */
TP_API int TP_AddTextOverlay(int handle, int x, int y, const char* text, int color, void* font,
                             int startTime, int duration);
TP_API int TP_AddSysTimeOverlay(int handle, int x, int y, int color, void* font, int startTime,
                                int duration);
/* bitmap: file descriptor of a 24-bit BMP file; maskColor: the transparent colour. */
TP_API int TP_AddBitmapOverlay(int handle, int x, int y, int bitmap, int maskColor, int startTime,
                               int duration);
TP_API int TP_AddRectangleOverlay(int handle, const POINT* topLeft, const POINT* bottomRight,
                                  int color, int startTime, int duration);
TP_API int TP_AddCircleOverlay(int handle, const POINT* center, int radius, int color,
                               int startTime, int duration);
TP_API int TP_AddEllipseOverlay(int handle, const POINT* topLeft, const POINT* bottomRight,
                                int color, int startTime, int duration);
TP_API int TP_AddPolygonOverlay(int handle, const POINT* points, int count, int color,
                                int startTime, int duration);
TP_API int TP_RemoveOverlay(int handle, int index);
TP_API int TP_RemoveAllOverlay(int handle);
/* flickerTime: on time (ms) in the high 16 bits, off time (ms) in the low 16 bits. */
TP_API int TP_SetFlickerTime(int handle, int index, int flickerTime);
/* data receives the overlay records; *dataSize is its size in, the bytes written
 * out; *count the number of records. */
TP_API int TP_GetItemsByIndex(int handle, int index, unsigned char* data, int* dataSize,
                              int* count);
TP_API int TP_AddOverlaysFromFile(int handle, const char* path, int* count);
TP_API int TP_AddOverlaysFromByte(int handle, const unsigned char* data, int length, int* count);

/* ---- Capture, recording, data input, frame callback, downloads ---- */

/* Saves the next picture as a 24-bit BMP file (rows bottom-up, not padded).
 * The path is first created empty; when that fails its folder is created (one
 * level only; TP_ERR_FILE_ACCESS when that fails too). Then 0;
 * TP_ERR_NO_VIDEO_WINDOW before the stream has been rendered; E_INVALIDARG when
 * the picture is not YUY2 or the file cannot be written. */
TP_API int TP_GrabPicture(int handle, const char* path);
/* Records the received stream of a live stream player into directory\name
 * with its extension replaced by "tvx" (C:\rec + cam1.avi records into
 * C:\rec\cam1.tvx and leaves C:\rec\cam1.avi empty). The directory is
 * created (one level) when the joined path cannot be written; when that fails,
 * TP_ERR_FILE_ACCESS. File players answer E_NOTIMPL. */
TP_API int TP_StartRecord(int handle, const char* directory, const char* name);
TP_API int TP_StopRecord(int handle);
/* Pushes stream bytes into a live stream player; they join the received stream. */
TP_API int TP_InputData(int handle, const unsigned char* data, int length);
/* Calls callback for every picture after colour, crop and overlays. Set before
 * the stream is rendered, it is kept and handed on at the render. A null
 * callback switches it off. */
TP_API int TP_SetYUVFrameCallBack(int handle, TP_YUVFrameCallBack callback, void* user);
/* -1 on failure (no player offers downloads: last error E_NOTIMPL). */
TP_API int TP_DownloadByTime(int handle, int channel, int startTime, int endTime, const char* path);
TP_API int TP_GetDownloadPosition(int handle, int saveHandle, int* position);
TP_API int TP_StopDownload(int handle, int saveHandle);

#endif /* TARVO_PLAY_LIB_H */
