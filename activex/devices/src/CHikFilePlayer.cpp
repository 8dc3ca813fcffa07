#include "CHikFilePlayer.h"

#include <atomic>
#include <mutex>
#include <string>

#include "DevicePlayers.h"
#include "PlayM4.h"

namespace {

constexpr LONG kPort = 99;

// The capture asked for and not yet written: process-wide, as the port is.
// The path is written on the control's thread and read by the library's.
std::mutex g_captureLock;
std::string g_capturePath;                 // guarded by g_captureLock
std::atomic<bool> g_capturePending{false}; // set and cleared under g_captureLock

// PlayM4's display callback: writes the pending capture, once.
void DisplayPicture(LONG, char* buffer, LONG size, LONG width, LONG height, LONG type)
{
    if (!g_capturePending.load())
        return;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_captureLock);
        if (!g_capturePending.load())
            return;
        path = g_capturePath;
        g_capturePending.store(false);
    }
    PlayM4_ConvertToBmpFile(buffer, size, width, height, type, path.c_str());
}

int Result(BOOL ok)
{
    return ok == TRUE ? 0 : TV_ERR_PLAYM4_BASE + static_cast<int>(PlayM4_GetLastError(kPort));
}

} // namespace

CHikFilePlayer::CHikFilePlayer(HWND hWnd) : CPlayerBase(hWnd) {}

CHikFilePlayer::~CHikFilePlayer()
{
    if (m_open)
        Close();
}

int CHikFilePlayer::OpenLocalFile(const char* path)
{
    if (PlayM4_OpenFile(kPort, path) != TRUE)
        return Result(FALSE);
    if (PlayM4_GetFileTime(kPort) > 0) {
        PlayM4_SetDisplayCallBack(kPort, DisplayPicture);
        if (PlayM4_Play(kPort, m_hWnd) == TRUE) {
            m_rate = 1.0;
            m_open = true;
            return 0;
        }
    }
    const int result = Result(FALSE);
    PlayM4_CloseFile(kPort);
    return result;
}

int CHikFilePlayer::Pause()
{
    if (m_stepping)
        return 0;
    return Result(PlayM4_Pause(kPort, 1));
}

int CHikFilePlayer::Play()
{
    m_stepping = false;
    const int result = Result(PlayM4_Pause(kPort, 0));
    if (result != 0)
        return result;
    return Result(PlayM4_Play(kPort, m_hWnd));
}

int CHikFilePlayer::Stop()
{
    m_stepping = false;
    return Result(PlayM4_Stop(kPort));
}

int CHikFilePlayer::Close()
{
    m_open = false;
    return Result(PlayM4_CloseFile(kPort));
}

int CHikFilePlayer::SetRate(double rate)
{
    if (!(rate >= 0.0625 && rate <= 16.0))
        return TV_ERR_FILE_RATE;
    while (rate > m_rate) {
        const int result = Result(PlayM4_Fast(kPort));
        if (result != 0)
            return result;
        m_rate *= 2;
    }
    while (rate < m_rate) {
        const int result = Result(PlayM4_Slow(kPort));
        if (result != 0)
            return result;
        m_rate /= 2;
    }
    return 0;
}

int CHikFilePlayer::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = m_rate;
    return 0;
}

int CHikFilePlayer::StepForward()
{
    int result = Result(PlayM4_Pause(kPort, 0));
    if (result == 0)
        result = Result(PlayM4_OneByOne(kPort));
    if (result == 0)
        m_stepping = true;
    return result;
}

int CHikFilePlayer::StepBackward()
{
    int result = Result(PlayM4_Pause(kPort, 0));
    if (result == 0)
        result = Result(PlayM4_OneByOneBack(kPort));
    if (result == 0)
        m_stepping = true;
    return result;
}

int CHikFilePlayer::GetDuration(int* milliseconds)
{
    if (!milliseconds)
        return E_POINTER;
    *milliseconds = static_cast<int>(PlayM4_GetFileTime(kPort) * 1000);
    return 0;
}

int CHikFilePlayer::GetPosition(int* milliseconds)
{
    if (!milliseconds)
        return E_POINTER;
    *milliseconds = static_cast<int>(PlayM4_GetPlayedTime(kPort) * 1000);
    return 0;
}

int CHikFilePlayer::SetPosition(int milliseconds)
{
    if (milliseconds < 0)
        return E_INVALIDARG;
    return Result(PlayM4_SetPlayedTimeEx(kPort, static_cast<DWORD>(milliseconds)));
}

int CHikFilePlayer::SetVolume(int)
{
    return E_FAIL;
}

int CHikFilePlayer::GetVolume(int*)
{
    return E_FAIL;
}

int CHikFilePlayer::GrabPicture(const char* path)
{
    if (!path)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(g_captureLock);
    g_capturePath = path;
    g_capturePending.store(true);
    return 0;
}
