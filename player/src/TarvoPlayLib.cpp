// The exported TP_ functions over the player table.
//
// Applications call from more than one thread (a thread per camera is common),
// so the table, the handle counter and the detached players are guarded by one
// table lock, held only to look an entry up or change it. The players are
// shared: a call holds its player for its own length, so a handle removed
// while a call on it runs loses its entry at once and its player when that
// call returns; no operation runs under the table lock.

#include "win32/trace.h"
#include "TarvoPlayLib.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <new>
#include <type_traits>
#include <vector>

#include <windows.h>

#include "win32/file.h"
#include "win32/path.h"

#include "CFilePlayer.h"
#include "CGraphPlayerCapture.h"
#include "CPlayerBase.h"
#include "CStreamPlayer.h"
#include "PlayerCommands.h"

static_assert(std::is_same_v<TP_MessageCallback, TvMessageHandler>,
              "TP_MessageCallback must be the platform's window message handler type");

namespace {

using PlayerRef = std::shared_ptr<CPlayerBase>;

struct PlayerEntry {
    HWND hWnd;
    PlayerRef player; // may be null
};

std::mutex g_tableLock;
// guarded by g_tableLock
std::map<int, PlayerEntry> g_players;
int g_nextHandle = 0;

// Players dropped from the table by TP_Init. TP_Init does not delete them (an
// application may call it with players still running); they stay reachable here
// and TP_Exit deletes them with the rest. Guarded by g_tableLock.
std::vector<PlayerRef>& DetachedPlayers()
{
    static auto* players = new std::vector<PlayerRef>();
    return *players;
}

// The entry's player for one call: TP_ERR_INVALID_HANDLE for an unknown
// handle, TP_ERR_NO_PLAYER for an entry without player, else 0.
int FindPlayer(int handle, PlayerRef& player)
{
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto it = g_players.find(handle);
    if (it == g_players.end())
        return TP_ERR_INVALID_HANDLE;
    if (!it->second.player)
        return TP_ERR_NO_PLAYER;
    player = it->second.player;
    return 0;
}

// The COM initialisations TP_Login made, kept for the life of the process.
std::vector<CPlayerBase*>& LoginHolders()
{
    static auto* holders = new std::vector<CPlayerBase*>();
    return *holders;
}

bool IsAcceptedDeviceType(int deviceType)
{
    return deviceType >= TP_DEVICE_TYPE_MIN && deviceType <= TP_DEVICE_TYPE_MAX &&
           deviceType != 6 && deviceType != 8;
}

// The shared handle lookup: unknown handle, entry without player, or the
// operation's result.
template <typename Op> int WithPlayer(int handle, Op op)
{
    PlayerRef player;
    if (int error = FindPlayer(handle, player))
        return error;
    return op(*player);
}

// The same for the functions that report failure as -1 with the last error.
template <typename Op> int WithPlayerOrMinusOne(int handle, Op op)
{
    PlayerRef player;
    if (int error = FindPlayer(handle, player)) {
        TpSetLastError(error);
        return -1;
    }
    return op(*player);
}

int DispatchPlayControl(CPlayerBase& player, int command, intptr_t in, void* out)
{
    int* outInt = static_cast<int*>(out);
    switch (command) {
    case TP_PLAY_PLAY:
        return player.Play();
    case TP_PLAY_PAUSE:
        return player.Pause();
    case TP_PLAY_STOP:
        return player.Stop();
    case TP_PLAY_CLOSE:
        return player.Close();
    case TP_PLAY_GET_RATE:
        return player.GetRate(static_cast<double*>(out));
    case TP_PLAY_SET_RATE: {
        const double* rate = reinterpret_cast<const double*>(in);
        if (!rate)
            return E_POINTER;
        return player.SetRate(*rate);
    }
    case TP_PLAY_STEP_FORWARD:
        return player.StepForward();
    case TP_PLAY_STEP_BACKWARD:
        return player.StepBackward();
    case TP_PLAY_GET_DURATION:
        return player.GetDuration(outInt);
    case TP_PLAY_GET_PLAYED_PERCENT:
        return player.GetPlayedPercent(outInt);
    case TP_PLAY_SET_PLAYED_PERCENT:
        return player.SetPlayedPercent(static_cast<int>(in));
    case TP_PLAY_GET_POSITION:
        return player.GetPosition(outInt);
    case TP_PLAY_SET_POSITION:
        return player.SetPosition(static_cast<int>(in));
    case TP_PLAY_GET_TOTAL_FRAMES:
        return player.GetTotalFrames(outInt);
    case TP_PLAY_GET_PLAY_VALUE2:
        return player.GetPlayValue2(outInt);
    case TP_PLAY_SET_PLAY_VALUE:
        return player.SetPlayValue(static_cast<int>(in));
    case TP_PLAY_GET_VOLUME:
        return player.GetVolume(outInt);
    case TP_PLAY_SET_VOLUME:
        return player.SetVolume(static_cast<int>(in));
    case TP_PLAY_GET_VOD_RANGE:
        return player.GetVodRange(outInt);
    case TP_PLAY_SET_VOD_RANGE: {
        const int* range = reinterpret_cast<const int*>(in);
        if (!range)
            return E_POINTER;
        return player.SetVodRange(range[0], range[1]);
    }
    default:
        return TP_ERR_UNSUPPORTED; // 4 and everything outside 0-20
    }
}

int DispatchVideoCutControl(CPlayerBase& player, int command, intptr_t in, void* out)
{
    int* rect = static_cast<int*>(out);
    switch (command) {
    case TP_CUT_SET: {
        // The caller's rectangle is left, top, right, bottom.
        const int* r = reinterpret_cast<const int*>(in);
        if (!r)
            return E_POINTER;
        return player.SetVideoCut(r[0], r[2], r[1], r[3]);
    }
    case TP_CUT_GET:
        if (!rect)
            return E_POINTER;
        return player.GetVideoCut(&rect[0], &rect[2], &rect[1], &rect[3]);
    case TP_CUT_VIDEO_SIZE:
        if (!rect)
            return E_POINTER;
        return player.GetVideoSize(&rect[0], &rect[1]);
    default:
        return TP_ERR_UNSUPPORTED;
    }
}

} // namespace

int TpPlayControl(CPlayerBase& player, int command, intptr_t in, void* out)
{
    return DispatchPlayControl(player, command, in, out);
}

int TpVideoCutControl(CPlayerBase& player, int command, intptr_t in, void* out)
{
    return DispatchVideoCutControl(player, command, in, out);
}

// ---- Library and handles ----

static int InitImpl()
{
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto& detached = DetachedPlayers();
    for (auto& [handle, entry] : g_players) {
        if (entry.player)
            detached.push_back(entry.player);
    }
    g_players.clear();
    g_nextHandle = 0;
    return 0;
}

TP_API int TP_Init(void)
{
    CTvTraceCall trace("player", "TP_Init()");
    return trace(InitImpl());
}

static int ExitImpl()
{
    // Players are deleted outside the table lock, in key order, then the
    // ones TP_Init dropped.
    std::vector<PlayerRef> doomed;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        for (auto& [handle, entry] : g_players)
            doomed.push_back(std::move(entry.player));
        g_players.clear();
        auto& detached = DetachedPlayers();
        for (auto it = detached.rbegin(); it != detached.rend(); ++it)
            doomed.push_back(std::move(*it));
        detached.clear();
        g_nextHandle = 0;
    }
    for (PlayerRef& player : doomed)
        player.reset();
    return 0;
}

TP_API int TP_Exit(void)
{
    CTvTraceCall trace("player", "TP_Exit()");
    return trace(ExitImpl());
}

static int LoginImpl()
{
    CPlayerBase* holder = new (std::nothrow) CPlayerBase(nullptr);
    if (!holder)
        return TP_ERR_OUT_OF_MEMORY;
    try {
        LoginHolders().push_back(holder);
    } catch (const std::bad_alloc&) {
        delete holder;
        return TP_ERR_OUT_OF_MEMORY;
    }
    return 0;
}

TP_API int TP_Login(void)
{
    CTvTraceCall trace("player", "TP_Login()");
    return trace(LoginImpl());
}

// Both names are one entry point.
extern "C" __attribute__((visibility("default"), alias("TP_Login"))) int TP_Logout(void);

static int InitializeImpl(HWND hWnd, int deviceType, int formatType, int playMode)
{
    if (!IsAcceptedDeviceType(deviceType)) {
        TpSetLastError(TP_ERR_UNSUPPORTED);
        return -1;
    }
    PlayerRef player;
    try {
        if (playMode == 0 || playMode == 1)
            player.reset(new CStreamPlayer(hWnd, playMode, formatType));
        std::lock_guard<std::mutex> lock(g_tableLock);
        int handle = g_nextHandle;
        g_players[handle] = PlayerEntry{hWnd, player};
        ++g_nextHandle;
        return handle;
    } catch (const std::bad_alloc&) {
        TpSetLastError(TP_ERR_OUT_OF_MEMORY);
        return -1;
    }
}

TP_API int TP_Initialize(HWND hWnd, int deviceType, int formatType, int playMode, int loginHandle)
{
    CTvTraceCall trace("player", "TP_Initialize(%p, %d, %d, %d, %d)",
                       static_cast<const void*>(hWnd), deviceType, formatType, playMode,
                       loginHandle);
    return trace(InitializeImpl(hWnd, deviceType, formatType, playMode));
}

static int UninitializeImpl(int handle)
{
    PlayerRef player;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        auto it = g_players.find(handle);
        if (it == g_players.end())
            return 0;
        player = std::move(it->second.player);
        g_players.erase(it);
    }
    // Deleted here unless a call on another thread still holds it.
    player.reset();
    return 0;
}

TP_API int TP_Uninitialize(int handle)
{
    CTvTraceCall trace("player", "TP_Uninitialize(%d)", handle);
    return trace(UninitializeImpl(handle));
}

TP_API int TP_SetLoginHandle(int handle, int loginHandle)
{
    CTvTraceCall trace("player", "TP_SetLoginHandle(%d, %d)", handle, loginHandle);
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.SetLoginHandle(loginHandle); }));
}

TP_API int TP_GetLastError(int handle)
{
    CTvTraceCall trace("player", "TP_GetLastError(%d)", handle);
    return trace(WithPlayer(handle, [](CPlayerBase&) { return TpGetLastError(); }));
}

TP_API int TP_GetVersions(int handle, char* buffer, int* length)
{
    CTvTraceCall trace("player", "TP_GetVersions(%d, %p, %p)", handle,
                       reinterpret_cast<const void*>(buffer),
                       reinterpret_cast<const void*>(length));
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.GetVersions(buffer, length); }));
}

TP_API int TP_SetMessageCallback(HWND hWnd, TP_MessageCallback fn, void* user)
{
    CTvTraceCall trace("player", "TP_SetMessageCallback(%p, %p, %p)",
                       reinterpret_cast<const void*>(hWnd), reinterpret_cast<const void*>(fn),
                       reinterpret_cast<const void*>(user));
    return trace(TvSetWindowMessageHandler(hWnd, fn, user) ? 0 : E_INVALIDARG);
}

TP_API int TP_GetStatistics(int handle, char* buffer, int size)
{
    CTvTraceCall trace("player", "TP_GetStatistics(%d, %p, %d)", handle,
                       reinterpret_cast<const void*>(buffer), size);
    return trace(WithPlayer(handle, [&](CPlayerBase& p) {
        return buffer ? p.GetStatistics(buffer, size < 0 ? 0 : size) : E_POINTER;
    }));
}

static int GetFilterGraphImpl(int handle, IFilterGraph** graph)
{
    if (!graph)
        return E_POINTER;
    *graph = nullptr;
    return WithPlayer(handle, [&](CPlayerBase& p) {
        auto* graphPlayer = dynamic_cast<CGraphPlayer*>(&p);
        return graphPlayer ? graphPlayer->TakeFilterGraph(graph) : int(E_NOTIMPL);
    });
}

TP_API int TP_GetFilterGraph(int handle, IFilterGraph** graph)
{
    CTvTraceCall trace("player", "TP_GetFilterGraph(%d, %p)", handle,
                       reinterpret_cast<const void*>(graph));
    return trace(GetFilterGraphImpl(handle, graph));
}

// ---- Sources ----

TP_API int TP_OpenStream(int handle, const char* address, int port, int connectType, int channel)
{
    CTvTraceCall trace("player", "TP_OpenStream(%d, \"%s\", %d, %d, %d)", handle,
                       TvTraceText(address), port, connectType, channel);
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.OpenStream(address, port, connectType, channel); }));
}

TP_API int TP_OpenPeriod(int handle, int channel, int startTime, int endTime)
{
    CTvTraceCall trace("player", "TP_OpenPeriod(%d, %d, %d, %d)", handle, channel, startTime,
                       endTime);
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.OpenPeriod(channel, startTime, endTime); }));
}

TP_API int TP_OpenRemoteFile(int handle, const char* fileName)
{
    CTvTraceCall trace("player", "TP_OpenRemoteFile(%d, \"%s\")", handle, TvTraceText(fileName));
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.OpenRemoteFile(fileName); }));
}

// Puts player into the handle's entry when the handle still exists; the
// entry's previous player comes back in old. False for a handle gone meanwhile.
bool ReplacePlayer(int handle, PlayerRef player, PlayerRef& old)
{
    std::lock_guard<std::mutex> lock(g_tableLock);
    auto it = g_players.find(handle);
    if (it == g_players.end())
        return false;
    old = std::move(it->second.player);
    it->second.player = std::move(player);
    return true;
}

static int OpenLocalFileImpl(int handle, const char* path)
{
    HWND hWnd = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        auto it = g_players.find(handle);
        if (it == g_players.end())
            return TP_ERR_INVALID_HANDLE;
        hWnd = it->second.hWnd;
    }
    // The old player goes first: its renderer leaves the window before the
    // file's renderer arrives.
    PlayerRef old;
    if (!ReplacePlayer(handle, nullptr, old))
        return TP_ERR_INVALID_HANDLE;
    old.reset();

    std::shared_ptr<CFilePlayer> player;
    try {
        player = std::make_shared<CFilePlayer>(hWnd);
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
    if (!ReplacePlayer(handle, player, old))
        return TP_ERR_INVALID_HANDLE; // removed meanwhile: the new player goes with it
    old.reset();
    if (player->OpenLocalFile(path) != 0) {
        // Only this player leaves the entry; one that another thread put
        // there meanwhile stays.
        std::lock_guard<std::mutex> lock(g_tableLock);
        auto it = g_players.find(handle);
        if (it != g_players.end() && it->second.player == player)
            it->second.player.reset();
        return E_FAIL;
    }
    return 0;
}

TP_API int TP_OpenLocalFile(int handle, const char* path)
{
    CTvTraceCall trace("player", "TP_OpenLocalFile(%d, \"%s\")", handle, TvTraceText(path));
    return trace(OpenLocalFileImpl(handle, path));
}

// ---- Playback control and picture adjustment ----

TP_API int TP_PlayControl(int handle, int command, intptr_t in, void* out)
{
    CTvTraceCall trace("player", "TP_PlayControl(%d, %d, %lld, %p)", handle, command,
                       static_cast<long long>(in), reinterpret_cast<const void*>(out));
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return DispatchPlayControl(p, command, in, out); }));
}

TP_API int TP_VideoCutControl(int handle, int command, intptr_t in, void* out)
{
    CTvTraceCall trace("player", "TP_VideoCutControl(%d, %d, %lld, %p)", handle, command,
                       static_cast<long long>(in), reinterpret_cast<const void*>(out));
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return DispatchVideoCutControl(p, command, in, out); }));
}

TP_API int TP_SetReduceLevel(int handle, int spatialLevel, int frameLevel)
{
    CTvTraceCall trace("player", "TP_SetReduceLevel(%d, %d, %d)", handle, spatialLevel, frameLevel);
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.SetReduceLevel(spatialLevel, frameLevel); }));
}

TP_API int TP_GetReduceLevel(int handle, int* spatialLevel, int* frameLevel)
{
    CTvTraceCall trace("player", "TP_GetReduceLevel(%d, %p, %p)", handle,
                       reinterpret_cast<const void*>(spatialLevel),
                       reinterpret_cast<const void*>(frameLevel));
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.GetReduceLevel(spatialLevel, frameLevel); }));
}

TP_API int TP_SetColor(int handle, int brightness, int contrast, int saturation, int hue)
{
    CTvTraceCall trace("player", "TP_SetColor(%d, %d, %d, %d, %d)", handle, brightness, contrast,
                       saturation, hue);
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.SetColor(brightness, contrast, saturation, hue); }));
}

TP_API int TP_GetColor(int handle, int* brightness, int* contrast, int* saturation, int* hue)
{
    CTvTraceCall trace(
        "player", "TP_GetColor(%d, %p, %p, %p, %p)", handle,
        reinterpret_cast<const void*>(brightness), reinterpret_cast<const void*>(contrast),
        reinterpret_cast<const void*>(saturation), reinterpret_cast<const void*>(hue));
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.GetColor(brightness, contrast, saturation, hue); }));
}

TP_API int TP_SetFullScreenMode(int handle, int full)
{
    CTvTraceCall trace("player", "TP_SetFullScreenMode(%d, %d)", handle, full);
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.SetFullScreenMode(static_cast<BYTE>(full)); }));
}

TP_API int TP_ReSize(int handle)
{
    CTvTraceCall trace("player", "TP_ReSize(%d)", handle);
    return trace(WithPlayer(handle, [](CPlayerBase& p) { return p.ReSize(0, 0); }));
}

// ---- Overlays ----

TP_API int TP_AddTextOverlay(int handle, int x, int y, const char* text, int color, void* font,
                             int startTime, int duration)
{
    CTvTraceCall trace("player", "TP_AddTextOverlay(%d, %d, %d, \"%s\", %d, %p, %d, %d)", handle, x,
                       y, TvTraceText(text), color, reinterpret_cast<const void*>(font), startTime,
                       duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddTextOverlay(x, y, text, color, font, startTime, duration);
    }));
}

TP_API int TP_AddSysTimeOverlay(int handle, int x, int y, int color, void* font, int startTime,
                                int duration)
{
    CTvTraceCall trace("player", "TP_AddSysTimeOverlay(%d, %d, %d, %d, %p, %d, %d)", handle, x, y,
                       color, reinterpret_cast<const void*>(font), startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddSysTimeOverlay(x, y, color, font, startTime, duration);
    }));
}

TP_API int TP_AddBitmapOverlay(int handle, int x, int y, int bitmap, int maskColor, int startTime,
                               int duration)
{
    CTvTraceCall trace("player", "TP_AddBitmapOverlay(%d, %d, %d, %d, %d, %d, %d)", handle, x, y,
                       bitmap, maskColor, startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddBitmapOverlay(x, y, bitmap, maskColor, startTime, duration);
    }));
}

TP_API int TP_AddRectangleOverlay(int handle, const POINT* topLeft, const POINT* bottomRight,
                                  int color, int startTime, int duration)
{
    CTvTraceCall trace("player", "TP_AddRectangleOverlay(%d, %p, %p, %d, %d, %d)", handle,
                       reinterpret_cast<const void*>(topLeft),
                       reinterpret_cast<const void*>(bottomRight), color, startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddRectangleOverlay(topLeft, bottomRight, color, startTime, duration);
    }));
}

TP_API int TP_AddCircleOverlay(int handle, const POINT* center, int radius, int color,
                               int startTime, int duration)
{
    CTvTraceCall trace("player", "TP_AddCircleOverlay(%d, %p, %d, %d, %d, %d)", handle,
                       reinterpret_cast<const void*>(center), radius, color, startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddCircleOverlay(center, radius, color, startTime, duration);
    }));
}

TP_API int TP_AddEllipseOverlay(int handle, const POINT* topLeft, const POINT* bottomRight,
                                int color, int startTime, int duration)
{
    CTvTraceCall trace("player", "TP_AddEllipseOverlay(%d, %p, %p, %d, %d, %d)", handle,
                       reinterpret_cast<const void*>(topLeft),
                       reinterpret_cast<const void*>(bottomRight), color, startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddEllipseOverlay(topLeft, bottomRight, color, startTime, duration);
    }));
}

TP_API int TP_AddPolygonOverlay(int handle, const POINT* points, int count, int color,
                                int startTime, int duration)
{
    CTvTraceCall trace("player", "TP_AddPolygonOverlay(%d, %p, %d, %d, %d, %d)", handle,
                       reinterpret_cast<const void*>(points), count, color, startTime, duration);
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.AddPolygonOverlay(points, count, color, startTime, duration);
    }));
}

TP_API int TP_RemoveOverlay(int handle, int index)
{
    CTvTraceCall trace("player", "TP_RemoveOverlay(%d, %d)", handle, index);
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.RemoveOverlay(index); }));
}

TP_API int TP_RemoveAllOverlay(int handle)
{
    CTvTraceCall trace("player", "TP_RemoveAllOverlay(%d)", handle);
    return trace(WithPlayer(handle, [](CPlayerBase& p) { return p.RemoveAllOverlay(); }));
}

TP_API int TP_SetFlickerTime(int handle, int index, int flickerTime)
{
    CTvTraceCall trace("player", "TP_SetFlickerTime(%d, %d, %d)", handle, index, flickerTime);
    return trace(WithPlayerOrMinusOne(
        handle, [&](CPlayerBase& p) { return p.SetFlickerTime(index, flickerTime); }));
}

TP_API int TP_GetItemsByIndex(int handle, int index, unsigned char* data, int* dataSize, int* count)
{
    CTvTraceCall trace("player", "TP_GetItemsByIndex(%d, %d, %p, %p, %p)", handle, index,
                       reinterpret_cast<const void*>(data), reinterpret_cast<const void*>(dataSize),
                       reinterpret_cast<const void*>(count));
    return trace(WithPlayerOrMinusOne(
        handle, [&](CPlayerBase& p) { return p.GetItemsByIndex(index, data, dataSize, count); }));
}

TP_API int TP_AddOverlaysFromFile(int handle, const char* path, int* count)
{
    CTvTraceCall trace("player", "TP_AddOverlaysFromFile(%d, \"%s\", %p)", handle,
                       TvTraceText(path), reinterpret_cast<const void*>(count));
    return trace(WithPlayerOrMinusOne(
        handle, [&](CPlayerBase& p) { return p.AddOverlaysFromFile(path, count); }));
}

TP_API int TP_AddOverlaysFromByte(int handle, const unsigned char* data, int length, int* count)
{
    CTvTraceCall trace("player", "TP_AddOverlaysFromByte(%d, %p, %d, %p)", handle,
                       reinterpret_cast<const void*>(data), length,
                       reinterpret_cast<const void*>(count));
    return trace(WithPlayerOrMinusOne(
        handle, [&](CPlayerBase& p) { return p.AddOverlaysFromByte(data, length, count); }));
}

// ---- Capture, recording, data input, frame callback, downloads ----

namespace {

// Whether a file can be written at path: creates it empty (or empties it).
bool ProbeWritable(const std::string& path)
{
    FILE* file = TvFopen(path.c_str(), "w");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

} // namespace

static int GrabPictureImpl(CPlayerBase& player, const char* path)
{
    if (!path)
        return E_POINTER;
    if (!ProbeWritable(path)) {
        // The capture folder is made when missing, one level only.
        const char* sep = TvFindLastSeparator(path);
        if (!sep || !CreateDirectoryA(std::string(path, sep).c_str(), nullptr))
            return TP_ERR_FILE_ACCESS;
    }
    return player.GrabPicture(path);
}

int TpGrabPictureChecked(CPlayerBase& player, const char* path)
{
    return GrabPictureImpl(player, path);
}

TP_API int TP_GrabPicture(int handle, const char* path)
{
    CTvTraceCall trace("player", "TP_GrabPicture(%d, \"%s\")", handle, TvTraceText(path));
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return GrabPictureImpl(p, path); }));
}

static int StartRecordImpl(CPlayerBase& player, const char* directory, const char* name)
{
    if (!directory || !name)
        return E_POINTER;
    if (!ProbeWritable(JoinRecordPath(directory, name)) && !CreateDirectoryA(directory, nullptr))
        return TP_ERR_FILE_ACCESS;
    return player.StartRecord(directory, name);
}

int TpStartRecordChecked(CPlayerBase& player, const char* directory, const char* name)
{
    return StartRecordImpl(player, directory, name);
}

TP_API int TP_StartRecord(int handle, const char* directory, const char* name)
{
    CTvTraceCall trace("player", "TP_StartRecord(%d, \"%s\", \"%s\")", handle,
                       TvTraceText(directory), TvTraceText(name));
    return trace(
        WithPlayer(handle, [&](CPlayerBase& p) { return StartRecordImpl(p, directory, name); }));
}

TP_API int TP_StopRecord(int handle)
{
    CTvTraceCall trace("player", "TP_StopRecord(%d)", handle);
    return trace(WithPlayer(handle, [](CPlayerBase& p) { return p.StopRecord(); }));
}

TP_API int TP_InputData(int handle, const unsigned char* data, int length)
{
    CTvTraceCall trace("player", "TP_InputData(%d, %p, %d)", handle,
                       reinterpret_cast<const void*>(data), length);
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.InputData(data, length); }));
}

TP_API int TP_SetYUVFrameCallBack(int handle, TP_YUVFrameCallBack callback, void* user)
{
    CTvTraceCall trace("player", "TP_SetYUVFrameCallBack(%d, %p, %p)", handle,
                       reinterpret_cast<const void*>(callback),
                       reinterpret_cast<const void*>(user));
    return trace(
        WithPlayer(handle, [&](CPlayerBase& p) { return p.SetYUVFrameCallBack(callback, user); }));
}

TP_API int TP_DownloadByTime(int handle, int channel, int startTime, int endTime, const char* path)
{
    CTvTraceCall trace("player", "TP_DownloadByTime(%d, %d, %d, %d, \"%s\")", handle, channel,
                       startTime, endTime, TvTraceText(path));
    return trace(WithPlayerOrMinusOne(handle, [&](CPlayerBase& p) {
        return p.DownloadByTime(channel, startTime, endTime, path);
    }));
}

TP_API int TP_GetDownloadPosition(int handle, int saveHandle, int* position)
{
    CTvTraceCall trace("player", "TP_GetDownloadPosition(%d, %d, %p)", handle, saveHandle,
                       reinterpret_cast<const void*>(position));
    return trace(WithPlayer(
        handle, [&](CPlayerBase& p) { return p.GetDownloadPosition(saveHandle, position); }));
}

TP_API int TP_StopDownload(int handle, int saveHandle)
{
    CTvTraceCall trace("player", "TP_StopDownload(%d, %d)", handle, saveHandle);
    return trace(WithPlayer(handle, [&](CPlayerBase& p) { return p.StopDownload(saveHandle); }));
}
