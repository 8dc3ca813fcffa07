// Session information: who is logged on, and on which host. Any thread.
#pragma once

#include "win32/types.h"

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)NULL)
#define WTS_CURRENT_SESSION ((DWORD)-1)

// int-sized like the Windows enum, and any int value a caller passes is defined.
typedef enum _WTS_INFO_CLASS : int {
    WTSInitialProgram = 0,
    WTSApplicationName = 1,
    WTSWorkingDirectory = 2,
    WTSOEMId = 3,
    WTSSessionId = 4,
    WTSUserName = 5,
    WTSWinStationName = 6,
    WTSDomainName = 7,
    WTSConnectState = 8,
    WTSClientBuildNumber = 9,
    WTSClientName = 10,
    WTSClientDirectory = 11,
    WTSClientProductId = 12,
    WTSClientHardwareId = 13,
    WTSClientAddress = 14,
    WTSClientDisplay = 15,
    WTSClientProtocolType = 16,
} WTS_INFO_CLASS;

// Only the current server and the current session are served. WTSUserName gives
// the session's login name (the login record of the controlling terminal, else the
// account of the real user id, else $USER); WTSDomainName the host name. *buffer
// receives a NUL-terminated copy to free with WTSFreeMemory and *bytes (optional)
// its size including the NUL. Other classes: FALSE with ERROR_NOT_SUPPORTED; another
// server: ERROR_INVALID_HANDLE; another session or a null buffer pointer:
// ERROR_INVALID_PARAMETER. On failure *buffer is null.
extern "C" BOOL WTSQuerySessionInformationA(HANDLE server, DWORD sessionId,
                                            WTS_INFO_CLASS infoClass, LPSTR* buffer, DWORD* bytes);
extern "C" void WTSFreeMemory(PVOID memory);

// The name of the account the process runs as (effective user id). size: in, the
// buffer's size in bytes; out, the bytes written including the NUL, or the size
// needed (FALSE, ERROR_INSUFFICIENT_BUFFER) when the buffer is too small.
extern "C" BOOL GetUserNameA(LPSTR buffer, LPDWORD size);
#define GetUserName GetUserNameA
