// The network SDK of the player control's device type 6 (simulated): a C
// library that logs in to a device, shows its live channels, plays its
// records by time or name, records, downloads and captures. Results follow
// the library's own rules: most calls return a BOOL (1 success, 0 failure);
// handle calls return a handle, -1 on failure; NET_DVR_GetLastError then
// tells why (HcSimError below). ClientSet/GetVideoEffect return 0 on success.
//
// Threads: every call may come from any thread; the last error is the
// process's (the caller reads it right after the failing call).
#pragma once

#include <cstdint>

#include "win32/types.h"

extern "C" {

// 54 bytes, filled by NET_DVR_Login.
struct NET_DVR_DEVICEINFO {
    BYTE sSerialNumber[48];
    BYTE byAlarmInPortNum;
    BYTE byAlarmOutPortNum;
    BYTE byDiskNum;
    BYTE byDVRType;
    BYTE byChanNum;   // channels
    BYTE byStartChan; // number of the first channel
};
static_assert(sizeof(NET_DVR_DEVICEINFO) == 54, "the device information record is 54 bytes");

// A local date and time.
struct NET_DVR_TIME {
    DWORD dwYear;
    DWORD dwMonth;
    DWORD dwDay;
    DWORD dwHour;
    DWORD dwMinute;
    DWORD dwSecond;
};

// What NET_DVR_RealPlay shows and where.
struct NET_DVR_CLIENTINFO {
    LONG lChannel;
    LONG lLinkMode; // 0x80000000: the mode the control asks for
    HWND hPlayWnd;
    char* sMultiCastIP;
};

// Commands of NET_DVR_PlayBackControl.
#define NET_DVR_PLAYSTART 1
#define NET_DVR_PLAYSTOP 2
#define NET_DVR_PLAYPAUSE 3
#define NET_DVR_PLAYRESTART 4
#define NET_DVR_PLAYFAST 5
#define NET_DVR_PLAYSLOW 6
#define NET_DVR_PLAYNORMAL 7
#define NET_DVR_PLAYFRAME 8
#define NET_DVR_PLAYSTARTAUDIO 9
#define NET_DVR_PLAYSTOPAUDIO 10
#define NET_DVR_PLAYAUDIOVOLUME 11
#define NET_DVR_PLAYSETPOS 12
#define NET_DVR_PLAYGETPOS 13
#define NET_DVR_GETPLAYEDFRAMES 15
#define NET_DVR_GETTOTALFRAMES 16
#define NET_DVR_GETTOTALTIME 17

BOOL NET_DVR_Init(void);
BOOL NET_DVR_Cleanup(void);
DWORD NET_DVR_GetLastError(void);
// The login identifier (>= 0), or -1.
LONG NET_DVR_Login(const char* address, WORD port, const char* userName, const char* password,
                   NET_DVR_DEVICEINFO* deviceInfo);
BOOL NET_DVR_Logout(LONG userId);
// 1 client-side decoding of the shared sound, 2 the mode the control asks for.
BOOL NET_DVR_SetAudioMode(DWORD mode);

// Live view: a play handle (>= 0) or -1.
LONG NET_DVR_RealPlay(LONG userId, NET_DVR_CLIENTINFO* clientInfo);
BOOL NET_DVR_StopRealPlay(LONG realHandle);
BOOL NET_DVR_SaveRealData(LONG realHandle, const char* path);
BOOL NET_DVR_StopSaveRealData(LONG realHandle);
BOOL NET_DVR_OpenSoundShare(LONG realHandle);
BOOL NET_DVR_CloseSoundShare(LONG realHandle);
BOOL NET_DVR_Volume(LONG realHandle, WORD volume);
// 0 success. Values 0-10.
LONG NET_DVR_ClientSetVideoEffect(LONG realHandle, DWORD brightness, DWORD contrast,
                                  DWORD saturation, DWORD hue);
LONG NET_DVR_ClientGetVideoEffect(LONG realHandle, DWORD* brightness, DWORD* contrast,
                                  DWORD* saturation, DWORD* hue);
// A BMP of the current picture.
BOOL NET_DVR_CapturePicture(LONG realHandle, const char* path);

// Playback: a play handle (>= 0) or -1; nothing plays before NET_DVR_PLAYSTART.
LONG NET_DVR_PlayBackByTime(LONG userId, LONG channel, NET_DVR_TIME* start, NET_DVR_TIME* end,
                            HWND window);
LONG NET_DVR_PlayBackByName(LONG userId, const char* fileName, HWND window);
BOOL NET_DVR_PlayBackControl(LONG playHandle, DWORD command, DWORD inValue, DWORD* outValue);
BOOL NET_DVR_PlayBackSaveData(LONG playHandle, const char* path);
BOOL NET_DVR_StopPlayBackSave(LONG playHandle);
BOOL NET_DVR_PlayBackCaptureFile(LONG playHandle, const char* path);

// Downloads: a save handle (>= 0) or -1; the transfer begins with
// NET_DVR_PlayBackControl(handle, NET_DVR_PLAYSTART).
LONG NET_DVR_GetFileByTime(LONG userId, LONG channel, NET_DVR_TIME* start, NET_DVR_TIME* end,
                           const char* path);
// Percent done (0-100), or -1 for a bad handle.
int NET_DVR_GetDownloadPos(LONG fileHandle);
BOOL NET_DVR_StopGetFile(LONG fileHandle);

} // extern "C"
