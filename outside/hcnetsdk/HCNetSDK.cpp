// The simulated network SDK: one process-wide device model behind a lock.
#include "HCNetSDK.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>

#include "HCNetSDKSim.h"
#include "SdkMedia.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class PlayKind { Live, Playback, Download };

struct Play {
    PlayKind kind = PlayKind::Live;
    LONG user = -1;
    LONG channel = 0;
    bool started = false;
    bool paused = false;
    bool audio = false;
    bool sound = false;
    bool saving = false;
    int speed = 0; // 0 normal; the device's range is -4 .. +4
    DWORD position = 0;
    DWORD brightness = 6, contrast = 6, saturation = 6, hue = 6;
    std::string path; // a download's target
    Clock::time_point begun;
    int forcedPosition = -1;
    bool written = false;
};

struct Sdk {
    std::mutex lock;
    int initCount = 0;
    HcSimDevice device;
    int downloadMillis = 2000;
    LONG nextUser = 0;
    LONG nextHandle = 0;
    std::map<LONG, bool> users;
    std::map<LONG, Play> plays;
};

Sdk& State()
{
    static Sdk sdk;
    return sdk;
}

std::atomic<DWORD> g_lastError{0};

// The call's result after it is logged: a failure requested by a test, or
// the simulation's own.
template <class T> T Fail(int error, T value)
{
    g_lastError.store(static_cast<DWORD>(error));
    return value;
}

template <class T> T Succeed(T value)
{
    g_lastError.store(kHcOk);
    return value;
}

bool Requested(const char* name, int* error)
{
    return HcSimCalls().TakeFailure(name, error);
}

std::string TimeText(const NET_DVR_TIME* t)
{
    if (!t)
        return "(null)";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t->dwYear, t->dwMonth,
                  t->dwDay, t->dwHour, t->dwMinute, t->dwSecond);
    return text;
}

long long ToTimeT(const NET_DVR_TIME* t)
{
    std::tm tm{};
    tm.tm_year = static_cast<int>(t->dwYear) - 1900;
    tm.tm_mon = static_cast<int>(t->dwMonth) - 1;
    tm.tm_mday = static_cast<int>(t->dwDay);
    tm.tm_hour = static_cast<int>(t->dwHour);
    tm.tm_min = static_cast<int>(t->dwMinute);
    tm.tm_sec = static_cast<int>(t->dwSecond);
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
}

std::string HandleArg(HWND window)
{
    return SdkArg(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

// Checks common to every call: initialised (else kHcErrNotInit).
bool Initialised(Sdk& sdk)
{
    return sdk.initCount > 0;
}

Play* FindPlay(Sdk& sdk, LONG handle, PlayKind kind)
{
    auto it = sdk.plays.find(handle);
    return it != sdk.plays.end() && it->second.kind == kind ? &it->second : nullptr;
}

bool ValidChannel(const Sdk& sdk, LONG channel)
{
    return channel >= sdk.device.startChannel &&
           channel < sdk.device.startChannel + sdk.device.channelCount;
}

SdkMediaInfo MediaOf(const Sdk& sdk)
{
    SdkMediaInfo info;
    info.frameCount = sdk.device.totalSeconds * info.frameRate;
    return info;
}

int DownloadPosition(Sdk& sdk, Play& play)
{
    if (play.forcedPosition >= 0)
        return play.forcedPosition;
    if (!play.started)
        return 0;
    const long long elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - play.begun).count();
    const int position =
        sdk.downloadMillis <= 0
            ? 100
            : static_cast<int>(std::min<long long>(100, elapsed * 100 / sdk.downloadMillis));
    if (position == 100 && !play.written) {
        play.written = true;
        SdkWriteMediaFile(play.path.c_str(), MediaOf(sdk));
    }
    return position;
}

BOOL Capture(Sdk& sdk, LONG handle, const char* path)
{
    const SdkMediaInfo info = MediaOf(sdk);
    const std::vector<uint8_t> picture =
        SdkDrawYv12(info.width, info.height, sdk.plays[handle].position);
    return SdkWriteYv12Bmp(picture.data(), picture.size(), info.width, info.height, path)
               ? Succeed<BOOL>(TRUE)
               : Fail<BOOL>(kHcErrFile, FALSE);
}

} // namespace

CSdkCallLog& HcSimCalls()
{
    static CSdkCallLog log;
    return log;
}

void HcSimReset()
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    HcSimCalls().Clear();
    sdk.initCount = 0;
    sdk.device = HcSimDevice();
    sdk.downloadMillis = 2000;
    sdk.nextUser = 0;
    sdk.nextHandle = 0;
    sdk.users.clear();
    sdk.plays.clear();
    g_lastError.store(0);
}

void HcSimSetDevice(const HcSimDevice& device)
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    sdk.device = device;
}

void HcSimSetDownloadMillis(int milliseconds)
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    sdk.downloadMillis = milliseconds;
}

void HcSimSetDownloadPosition(long fileHandle, int position)
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (Play* play = FindPlay(sdk, static_cast<LONG>(fileHandle), PlayKind::Download))
        play->forcedPosition = position;
}

int HcSimInitCount()
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    return sdk.initCount;
}

int HcSimSpeedLevel(long playHandle)
{
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    auto it = sdk.plays.find(static_cast<LONG>(playHandle));
    return it == sdk.plays.end() ? 0 : it->second.speed;
}

// ---- The SDK ----

// The functions keep the C linkage of their declarations.

BOOL NET_DVR_Init(void)
{
    HcSimCalls().Record("NET_DVR_Init", {});
    int error = 0;
    if (Requested("NET_DVR_Init", &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    ++sdk.initCount;
    return Succeed<BOOL>(TRUE);
}

BOOL NET_DVR_Cleanup(void)
{
    HcSimCalls().Record("NET_DVR_Cleanup", {});
    int error = 0;
    if (Requested("NET_DVR_Cleanup", &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (sdk.initCount == 0)
        return Fail<BOOL>(kHcErrNotInit, FALSE);
    // The last cleanup ends every login and play, as unloading would.
    if (--sdk.initCount == 0) {
        sdk.users.clear();
        sdk.plays.clear();
    }
    return Succeed<BOOL>(TRUE);
}

DWORD NET_DVR_GetLastError(void)
{
    return g_lastError.load();
}

LONG NET_DVR_Login(const char* address, WORD port, const char* userName, const char* password,
                   NET_DVR_DEVICEINFO* deviceInfo)
{
    HcSimCalls().Record("NET_DVR_Login", {SdkArg(address), SdkArg(port), SdkArg(userName),
                                          SdkArg(password), SdkArgPointer(deviceInfo)});
    int error = 0;
    if (Requested("NET_DVR_Login", &error))
        return Fail<LONG>(error, -1);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<LONG>(kHcErrNotInit, -1);
    if (!address || !userName || !password)
        return Fail<LONG>(kHcErrParameter, -1);
    if (sdk.device.address != address || sdk.device.port != port)
        return Fail<LONG>(kHcErrConnect, -1);
    if (sdk.device.userName != userName || sdk.device.password != password)
        return Fail<LONG>(kHcErrPassword, -1);
    if (deviceInfo) {
        std::memset(deviceInfo, 0, sizeof *deviceInfo);
        std::snprintf(reinterpret_cast<char*>(deviceInfo->sSerialNumber),
                      sizeof deviceInfo->sSerialNumber, "TVSIM%08d", 1);
        deviceInfo->byDiskNum = 1;
        deviceInfo->byChanNum = static_cast<BYTE>(sdk.device.channelCount);
        deviceInfo->byStartChan = static_cast<BYTE>(sdk.device.startChannel);
    }
    const LONG user = sdk.nextUser++;
    sdk.users[user] = true;
    return Succeed<LONG>(user);
}

BOOL NET_DVR_Logout(LONG userId)
{
    HcSimCalls().Record("NET_DVR_Logout", {SdkArg(userId)});
    int error = 0;
    if (Requested("NET_DVR_Logout", &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<BOOL>(kHcErrNotInit, FALSE);
    if (!sdk.users.erase(userId))
        return Fail<BOOL>(kHcErrNotLoggedIn, FALSE);
    return Succeed<BOOL>(TRUE);
}

BOOL NET_DVR_SetAudioMode(DWORD mode)
{
    HcSimCalls().Record("NET_DVR_SetAudioMode", {SdkArg(mode)});
    int error = 0;
    if (Requested("NET_DVR_SetAudioMode", &error))
        return Fail<BOOL>(error, FALSE);
    if (mode != 1 && mode != 2)
        return Fail<BOOL>(kHcErrParameter, FALSE);
    return Succeed<BOOL>(TRUE);
}

LONG NET_DVR_RealPlay(LONG userId, NET_DVR_CLIENTINFO* info)
{
    HcSimCalls().Record(
        "NET_DVR_RealPlay",
        {SdkArg(userId), info ? SdkArg(info->lChannel) : "(null)",
         info ? SdkArg(static_cast<unsigned long>(static_cast<DWORD>(info->lLinkMode))) : "",
         info ? HandleArg(info->hPlayWnd) : "", info ? SdkArg(info->sMultiCastIP) : ""});
    int error = 0;
    if (Requested("NET_DVR_RealPlay", &error))
        return Fail<LONG>(error, -1);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<LONG>(kHcErrNotInit, -1);
    if (!sdk.users.count(userId))
        return Fail<LONG>(kHcErrNotLoggedIn, -1);
    if (!info)
        return Fail<LONG>(kHcErrParameter, -1);
    if (!ValidChannel(sdk, info->lChannel))
        return Fail<LONG>(kHcErrChannel, -1);
    const LONG handle = sdk.nextHandle++;
    Play& play = sdk.plays[handle];
    play.kind = PlayKind::Live;
    play.user = userId;
    play.channel = info->lChannel;
    play.started = true;
    return Succeed<LONG>(handle);
}

namespace {

// The body of the calls that take one handle of a kind and change it.
template <class F>
BOOL OnPlay(const char* name, std::vector<std::string> args, LONG handle, PlayKind kind, F change)
{
    HcSimCalls().Record(name, std::move(args));
    int error = 0;
    if (Requested(name, &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<BOOL>(kHcErrNotInit, FALSE);
    Play* play = FindPlay(sdk, handle, kind);
    if (!play)
        return Fail<BOOL>(kHcErrParameter, FALSE);
    const int failure = change(sdk, *play);
    return failure ? Fail<BOOL>(failure, FALSE) : Succeed<BOOL>(TRUE);
}

int Save(Sdk& sdk, Play& play, const char* path)
{
    if (play.saving)
        return kHcErrOrder;
    if (!path || !SdkWriteMediaFile(path, MediaOf(sdk)))
        return kHcErrFile;
    play.saving = true;
    return 0;
}

int StopSaving(Play& play)
{
    if (!play.saving)
        return kHcErrOrder;
    play.saving = false;
    return 0;
}

} // namespace

BOOL NET_DVR_StopRealPlay(LONG realHandle)
{
    return OnPlay("NET_DVR_StopRealPlay", {SdkArg(realHandle)}, realHandle, PlayKind::Live,
                  [&](Sdk& sdk, Play&) {
                      sdk.plays.erase(realHandle);
                      return 0;
                  });
}

BOOL NET_DVR_SaveRealData(LONG realHandle, const char* path)
{
    return OnPlay("NET_DVR_SaveRealData", {SdkArg(realHandle), SdkArg(path)}, realHandle,
                  PlayKind::Live, [&](Sdk& sdk, Play& play) { return Save(sdk, play, path); });
}

BOOL NET_DVR_StopSaveRealData(LONG realHandle)
{
    return OnPlay("NET_DVR_StopSaveRealData", {SdkArg(realHandle)}, realHandle, PlayKind::Live,
                  [&](Sdk&, Play& play) { return StopSaving(play); });
}

BOOL NET_DVR_OpenSoundShare(LONG realHandle)
{
    return OnPlay("NET_DVR_OpenSoundShare", {SdkArg(realHandle)}, realHandle, PlayKind::Live,
                  [&](Sdk&, Play& play) {
                      play.sound = true;
                      return 0;
                  });
}

BOOL NET_DVR_CloseSoundShare(LONG realHandle)
{
    return OnPlay("NET_DVR_CloseSoundShare", {SdkArg(realHandle)}, realHandle, PlayKind::Live,
                  [&](Sdk&, Play& play) {
                      if (!play.sound)
                          return static_cast<int>(kHcErrOrder);
                      play.sound = false;
                      return 0;
                  });
}

BOOL NET_DVR_Volume(LONG realHandle, WORD volume)
{
    return OnPlay("NET_DVR_Volume", {SdkArg(realHandle), SdkArg(volume)}, realHandle,
                  PlayKind::Live,
                  [&](Sdk&, Play& play) { return play.sound ? 0 : static_cast<int>(kHcErrOrder); });
}

LONG NET_DVR_ClientSetVideoEffect(LONG realHandle, DWORD brightness, DWORD contrast,
                                  DWORD saturation, DWORD hue)
{
    const BOOL ok = OnPlay(
        "NET_DVR_ClientSetVideoEffect",
        {SdkArg(realHandle), SdkArg(brightness), SdkArg(contrast), SdkArg(saturation), SdkArg(hue)},
        realHandle, PlayKind::Live, [&](Sdk&, Play& play) {
            if (brightness > 10 || contrast > 10 || saturation > 10 || hue > 10)
                return static_cast<int>(kHcErrParameter);
            play.brightness = brightness;
            play.contrast = contrast;
            play.saturation = saturation;
            play.hue = hue;
            return 0;
        });
    return ok ? 0 : -1;
}

LONG NET_DVR_ClientGetVideoEffect(LONG realHandle, DWORD* brightness, DWORD* contrast,
                                  DWORD* saturation, DWORD* hue)
{
    const BOOL ok = OnPlay("NET_DVR_ClientGetVideoEffect", {SdkArg(realHandle)}, realHandle,
                           PlayKind::Live, [&](Sdk&, Play& play) {
                               if (!brightness || !contrast || !saturation || !hue)
                                   return static_cast<int>(kHcErrParameter);
                               *brightness = play.brightness;
                               *contrast = play.contrast;
                               *saturation = play.saturation;
                               *hue = play.hue;
                               return 0;
                           });
    return ok ? 0 : -1;
}

namespace {

// A picture of a live view or a playback, as both capture calls take it.
BOOL CaptureOn(const char* call, LONG handle, PlayKind kind, const char* path)
{
    HcSimCalls().Record(call, {SdkArg(handle), SdkArg(path)});
    int error = 0;
    if (Requested(call, &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<BOOL>(kHcErrNotInit, FALSE);
    if (!FindPlay(sdk, handle, kind))
        return Fail<BOOL>(kHcErrParameter, FALSE);
    return Capture(sdk, handle, path);
}

} // namespace

BOOL NET_DVR_CapturePicture(LONG realHandle, const char* path)
{
    return CaptureOn("NET_DVR_CapturePicture", realHandle, PlayKind::Live, path);
}

namespace {

// Playback and download openings share their checks.
LONG OpenByTime(const char* name, PlayKind kind, LONG userId, LONG channel, NET_DVR_TIME* start,
                NET_DVR_TIME* end, std::string last, const char* path)
{
    HcSimCalls().Record(
        name, {SdkArg(userId), SdkArg(channel), TimeText(start), TimeText(end), std::move(last)});
    int error = 0;
    if (Requested(name, &error))
        return Fail<LONG>(error, -1);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<LONG>(kHcErrNotInit, -1);
    if (!sdk.users.count(userId))
        return Fail<LONG>(kHcErrNotLoggedIn, -1);
    if (!start || !end || (kind == PlayKind::Download && !path))
        return Fail<LONG>(kHcErrParameter, -1);
    if (!ValidChannel(sdk, channel))
        return Fail<LONG>(kHcErrChannel, -1);
    const long long from = ToTimeT(start);
    const long long to = ToTimeT(end);
    if (from >= to || to <= sdk.device.recordStart || from >= sdk.device.recordEnd)
        return Fail<LONG>(kHcErrNoRecord, -1);
    const LONG handle = sdk.nextHandle++;
    Play& play = sdk.plays[handle];
    play.kind = kind;
    play.user = userId;
    play.channel = channel;
    if (path)
        play.path = path;
    return Succeed<LONG>(handle);
}

} // namespace

LONG NET_DVR_PlayBackByTime(LONG userId, LONG channel, NET_DVR_TIME* start, NET_DVR_TIME* end,
                            HWND window)
{
    return OpenByTime("NET_DVR_PlayBackByTime", PlayKind::Playback, userId, channel, start, end,
                      HandleArg(window), nullptr);
}

LONG NET_DVR_PlayBackByName(LONG userId, const char* fileName, HWND window)
{
    HcSimCalls().Record("NET_DVR_PlayBackByName",
                        {SdkArg(userId), SdkArg(fileName), HandleArg(window)});
    int error = 0;
    if (Requested("NET_DVR_PlayBackByName", &error))
        return Fail<LONG>(error, -1);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<LONG>(kHcErrNotInit, -1);
    if (!sdk.users.count(userId))
        return Fail<LONG>(kHcErrNotLoggedIn, -1);
    if (!fileName)
        return Fail<LONG>(kHcErrParameter, -1);
    int channel = 0;
    char rest[16] = "";
    if (std::sscanf(fileName, "ch%d_%15s", &channel, rest) != 2 ||
        std::strcmp(rest, "record") != 0 || !ValidChannel(sdk, channel))
        return Fail<LONG>(kHcErrNoRecord, -1);
    const LONG handle = sdk.nextHandle++;
    Play& play = sdk.plays[handle];
    play.kind = PlayKind::Playback;
    play.user = userId;
    play.channel = channel;
    return Succeed<LONG>(handle);
}

BOOL NET_DVR_PlayBackControl(LONG playHandle, DWORD command, DWORD inValue, DWORD* outValue)
{
    HcSimCalls().Record("NET_DVR_PlayBackControl",
                        {SdkArg(playHandle), SdkArg(command), SdkArg(inValue)});
    int error = 0;
    if (Requested("NET_DVR_PlayBackControl", &error))
        return Fail<BOOL>(error, FALSE);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<BOOL>(kHcErrNotInit, FALSE);
    auto it = sdk.plays.find(playHandle);
    if (it == sdk.plays.end() || it->second.kind == PlayKind::Live)
        return Fail<BOOL>(kHcErrParameter, FALSE);
    Play& play = it->second;
    // A download only starts and stops.
    if (play.kind == PlayKind::Download && command != NET_DVR_PLAYSTART &&
        command != NET_DVR_PLAYSTOP)
        return Fail<BOOL>(kHcErrCommand, FALSE);
    const DWORD totalFrames = static_cast<DWORD>(sdk.device.totalSeconds) * 25;
    const bool needsOut = command == NET_DVR_PLAYGETPOS || command == NET_DVR_GETPLAYEDFRAMES ||
                          command == NET_DVR_GETTOTALFRAMES || command == NET_DVR_GETTOTALTIME;
    if (needsOut && !outValue)
        return Fail<BOOL>(kHcErrParameter, FALSE);
    if (command != NET_DVR_PLAYSTART && command != NET_DVR_PLAYSTOP && !needsOut && !play.started)
        return Fail<BOOL>(kHcErrOrder, FALSE);
    switch (command) {
    case NET_DVR_PLAYSTART:
        play.started = true;
        play.begun = Clock::now();
        break;
    case NET_DVR_PLAYSTOP:
        sdk.plays.erase(it);
        break;
    case NET_DVR_PLAYPAUSE:
        play.paused = true;
        break;
    case NET_DVR_PLAYRESTART:
        play.paused = false;
        break;
    case NET_DVR_PLAYFAST:
        if (play.speed >= 4)
            return Fail<BOOL>(kHcErrCommand, FALSE);
        ++play.speed;
        break;
    case NET_DVR_PLAYSLOW:
        if (play.speed <= -4)
            return Fail<BOOL>(kHcErrCommand, FALSE);
        --play.speed;
        break;
    case NET_DVR_PLAYNORMAL:
        play.speed = 0;
        play.paused = false;
        break;
    case NET_DVR_PLAYFRAME:
        play.paused = true;
        play.position = std::min(totalFrames, play.position + 1);
        break;
    case NET_DVR_PLAYSTARTAUDIO:
        play.audio = true;
        break;
    case NET_DVR_PLAYSTOPAUDIO:
        play.audio = false;
        break;
    case NET_DVR_PLAYAUDIOVOLUME:
        if (!play.audio || inValue > 0xFFFF)
            return Fail<BOOL>(kHcErrOrder, FALSE);
        break;
    case NET_DVR_PLAYSETPOS:
        if (inValue > 100)
            return Fail<BOOL>(kHcErrParameter, FALSE);
        play.position = totalFrames * inValue / 100;
        break;
    case NET_DVR_PLAYGETPOS:
        *outValue = totalFrames ? play.position * 100 / totalFrames : 0;
        break;
    case NET_DVR_GETPLAYEDFRAMES:
        *outValue = play.position;
        break;
    case NET_DVR_GETTOTALFRAMES:
        *outValue = totalFrames;
        break;
    case NET_DVR_GETTOTALTIME:
        *outValue = static_cast<DWORD>(sdk.device.totalSeconds);
        break;
    default:
        return Fail<BOOL>(kHcErrCommand, FALSE);
    }
    return Succeed<BOOL>(TRUE);
}

BOOL NET_DVR_PlayBackSaveData(LONG playHandle, const char* path)
{
    return OnPlay("NET_DVR_PlayBackSaveData", {SdkArg(playHandle), SdkArg(path)}, playHandle,
                  PlayKind::Playback, [&](Sdk& sdk, Play& play) { return Save(sdk, play, path); });
}

BOOL NET_DVR_StopPlayBackSave(LONG playHandle)
{
    return OnPlay("NET_DVR_StopPlayBackSave", {SdkArg(playHandle)}, playHandle, PlayKind::Playback,
                  [&](Sdk&, Play& play) { return StopSaving(play); });
}

BOOL NET_DVR_PlayBackCaptureFile(LONG playHandle, const char* path)
{
    return CaptureOn("NET_DVR_PlayBackCaptureFile", playHandle, PlayKind::Playback, path);
}

LONG NET_DVR_GetFileByTime(LONG userId, LONG channel, NET_DVR_TIME* start, NET_DVR_TIME* end,
                           const char* path)
{
    return OpenByTime("NET_DVR_GetFileByTime", PlayKind::Download, userId, channel, start, end,
                      SdkArg(path), path);
}

int NET_DVR_GetDownloadPos(LONG fileHandle)
{
    HcSimCalls().Record("NET_DVR_GetDownloadPos", {SdkArg(fileHandle)});
    int error = 0;
    if (Requested("NET_DVR_GetDownloadPos", &error))
        return Fail<int>(error, -1);
    Sdk& sdk = State();
    std::lock_guard<std::mutex> lock(sdk.lock);
    if (!Initialised(sdk))
        return Fail<int>(kHcErrNotInit, -1);
    Play* play = FindPlay(sdk, fileHandle, PlayKind::Download);
    if (!play)
        return Fail<int>(kHcErrParameter, -1);
    return Succeed<int>(DownloadPosition(sdk, *play));
}

BOOL NET_DVR_StopGetFile(LONG fileHandle)
{
    return OnPlay("NET_DVR_StopGetFile", {SdkArg(fileHandle)}, fileHandle, PlayKind::Download,
                  [&](Sdk& sdk, Play&) {
                      sdk.plays.erase(fileHandle);
                      return 0;
                  });
}
