#include "CHikDevicePlayer.h"

#include <cmath>

#include "CDeviceLoginState.h"
#include "CGraphPlayerCapture.h"
#include "DeviceFiles.h"
#include "DevicePlayers.h"
#include "HCNetSDK.h"

namespace {

constexpr int kHikDevice = 6;
// The link mode and multicast address the control asks live view for.
constexpr LONG kLinkMode = static_cast<LONG>(0x80000000u);
char kNoMulticast[] = "0.0.0.0";

int SdkFailure()
{
    return TV_ERR_HIK_BASE + static_cast<int>(NET_DVR_GetLastError());
}

// A local time in the SDK's record; false when localtime cannot convert it.
bool ToSdkTime(time_t value, NET_DVR_TIME* out)
{
    std::tm tm{};
    if (!localtime_r(&value, &tm))
        return false;
    out->dwYear = static_cast<DWORD>(tm.tm_year + 1900);
    out->dwMonth = static_cast<DWORD>(tm.tm_mon + 1);
    out->dwDay = static_cast<DWORD>(tm.tm_mday);
    out->dwHour = static_cast<DWORD>(tm.tm_hour);
    out->dwMinute = static_cast<DWORD>(tm.tm_min);
    out->dwSecond = static_cast<DWORD>(tm.tm_sec);
    return true;
}

} // namespace

CHikDevicePlayer::CHikDevicePlayer(HWND hWnd, int loginHandle)
    : CPlayerBase(hWnd), m_state(CDeviceLoginState::Of(this)),
      m_loginId(loginHandle >= 0 ? loginHandle : -1)
{
    if (m_state)
        m_state->EnsureHikInitialised();
}

CHikDevicePlayer::~CHikDevicePlayer()
{
    if (m_playHandle >= 0)
        Close();
}

int CHikDevicePlayer::Ready() const
{
    if (!m_state || !m_state->HikInitialised())
        return TV_ERR_HIK_NOT_INITIALISED;
    if (m_loginId < 0)
        return TV_ERR_NO_LOGIN_ID;
    return 0;
}

int CHikDevicePlayer::ReadyWithHandle() const
{
    const int result = Ready();
    if (result != 0)
        return result;
    return m_playHandle < 0 ? TV_ERR_NO_PLAY_HANDLE : 0;
}

int CHikDevicePlayer::ReadyForPlayback() const
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    return m_live ? E_FAIL : 0;
}

int CHikDevicePlayer::Command(unsigned command, unsigned inValue, unsigned* outValue)
{
    DWORD out = 0;
    if (NET_DVR_PlayBackControl(m_playHandle, command, inValue, &out) != TRUE)
        return SdkFailure();
    if (outValue)
        *outValue = out;
    return 0;
}

int CHikDevicePlayer::Login(int deviceType, const char* address, int port, const char* userName,
                            const char* password, int* loginId)
{
    int id = -1;
    const int result = CPlayerBase::Login(deviceType, address, port, userName, password, &id);
    if (loginId)
        *loginId = id;
    if (result == 0 && deviceType == kHikDevice && m_loginId < 0 && id >= 0)
        m_loginId = id;
    return result;
}

int CHikDevicePlayer::SetLoginHandle(int loginHandle)
{
    if (!m_state || !m_state->HikInitialised())
        return TV_ERR_HIK_NOT_INITIALISED;
    if (loginHandle < 0)
        return TV_ERR_NEGATIVE_LOGIN;
    m_loginId = loginHandle;
    return 0;
}

int CHikDevicePlayer::OpenStream(const char*, int, int, int channel)
{
    int result = Ready();
    if (result != 0)
        return result;
    Close();
    if (channel < 0)
        return TV_ERR_NEGATIVE_CHANNEL;
    NET_DVR_SetAudioMode(2);
    NET_DVR_CLIENTINFO info{};
    info.lChannel = channel;
    info.lLinkMode = kLinkMode;
    info.hPlayWnd = m_hWnd;
    info.sMultiCastIP = kNoMulticast;
    const LONG handle = NET_DVR_RealPlay(m_loginId, &info);
    if (handle < 0)
        return SdkFailure();
    m_playHandle = handle;
    m_channel = channel;
    m_live = true;
    m_fileName.clear();
    return 0;
}

int CHikDevicePlayer::OpenPeriod(int channel, int startTime, int endTime)
{
    int result = Ready();
    if (result != 0)
        return result;
    Close();
    if (channel < 0)
        return TV_ERR_NEGATIVE_CHANNEL;
    NET_DVR_TIME start{}, end{};
    if (!ToSdkTime(startTime, &start) || !ToSdkTime(endTime, &end))
        return E_FAIL;
    const LONG handle = NET_DVR_PlayBackByTime(m_loginId, channel, &start, &end, m_hWnd);
    if (handle < 0)
        return SdkFailure();
    result = StartPlayback(handle);
    if (result != 0)
        return result;
    m_channel = channel;
    m_startTime = startTime;
    m_endTime = endTime;
    m_rate = 1.0;
    m_fileName.clear();
    return 0;
}

int CHikDevicePlayer::StartPlayback(LONG handle)
{
    m_playHandle = handle;
    m_live = false;
    const int result = Command(NET_DVR_PLAYSTART);
    if (result != 0) {
        // A playback that never started is not kept open on the device.
        Command(NET_DVR_PLAYSTOP);
        m_playHandle = -1;
    }
    return result;
}

int CHikDevicePlayer::OpenRemoteFile(const char* fileName)
{
    int result = Ready();
    if (result != 0)
        return result;
    Close();
    if (!fileName)
        return E_POINTER;
    const LONG handle = NET_DVR_PlayBackByName(m_loginId, fileName, m_hWnd);
    if (handle < 0)
        return SdkFailure();
    result = StartPlayback(handle);
    if (result != 0)
        return result;
    m_rate = 1.0;
    m_fileName = fileName;
    return 0;
}

int CHikDevicePlayer::Pause()
{
    int result = ReadyForPlayback();
    if (result != 0)
        return result;
    if (m_stepping)
        return 0;
    result = Command(NET_DVR_PLAYPAUSE);
    if (result == 0)
        m_paused = true;
    return result;
}

int CHikDevicePlayer::Reopen()
{
    if (m_live)
        return OpenStream(nullptr, 0, 0, m_channel);
    if (!m_fileName.empty()) {
        const std::string name = m_fileName;
        return OpenRemoteFile(name.c_str());
    }
    return OpenPeriod(m_channel, static_cast<int>(m_startTime), static_cast<int>(m_endTime));
}

int CHikDevicePlayer::Play()
{
    int result = Ready();
    if (result != 0)
        return result;
    if (m_stepping && m_playHandle >= 0) {
        result = Command(NET_DVR_PLAYNORMAL);
        if (result == 0) {
            m_stepping = false;
            m_rate = 1.0;
        }
        return result;
    }
    if (!m_paused || m_playHandle < 0)
        return Reopen();
    m_paused = false;
    if (m_live)
        return E_FAIL;
    return Command(NET_DVR_PLAYRESTART);
}

int CHikDevicePlayer::Stop()
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (m_live)
        NET_DVR_StopRealPlay(m_playHandle);
    else
        Command(NET_DVR_PLAYSTOP);
    m_playHandle = -1;
    // Play after Stop opens again, whatever state the stopped one was in.
    m_paused = false;
    m_stepping = false;
    return 0;
}

int CHikDevicePlayer::Close()
{
    StopRecord();
    return Stop();
}

int CHikDevicePlayer::SetRate(double rate)
{
    int result = ReadyForPlayback();
    if (result != 0)
        return result;
    if (!(rate >= 0.125 && rate <= 8.0))
        return TV_ERR_DEVICE_RATE;
    if (rate == 1.0) {
        result = Command(NET_DVR_PLAYNORMAL);
        if (result == 0)
            m_rate = 1.0;
        return result;
    }
    // The device only halves and doubles: slow down past the rate, then speed
    // up to the first step at or above it.
    if (rate < m_rate) {
        do {
            result = Command(NET_DVR_PLAYSLOW);
            if (result != 0)
                return result;
            m_rate /= 2;
        } while (m_rate > rate);
    }
    while (m_rate < rate) {
        result = Command(NET_DVR_PLAYFAST);
        if (result != 0)
            return result;
        m_rate *= 2;
    }
    return 0;
}

int CHikDevicePlayer::GetRate(double* rate)
{
    const int result = Ready();
    if (result != 0)
        return result;
    if (!rate)
        return E_POINTER;
    *rate = m_rate;
    return 0;
}

int CHikDevicePlayer::StepForward()
{
    int result = ReadyForPlayback();
    if (result != 0)
        return result;
    result = Command(NET_DVR_PLAYFRAME);
    if (result == 0)
        m_stepping = true;
    return result;
}

int CHikDevicePlayer::ReadPlaybackValue(unsigned command, unsigned scale, int* value)
{
    int result = ReadyForPlayback();
    if (result != 0)
        return result;
    if (!value)
        return E_POINTER;
    unsigned reported = 0;
    result = Command(command, 0, &reported);
    if (result == 0)
        *value = static_cast<int>(reported * scale);
    return result;
}

int CHikDevicePlayer::GetDuration(int* milliseconds)
{
    return ReadPlaybackValue(NET_DVR_GETTOTALTIME, 1000, milliseconds);
}

int CHikDevicePlayer::GetTotalFrames(int* value)
{
    return ReadPlaybackValue(NET_DVR_GETTOTALFRAMES, 1, value);
}

int CHikDevicePlayer::StartRecord(const char* directory, const char* name)
{
    int result = Ready();
    if (result != 0)
        return result;
    if (!directory || !*directory || !name || !*name)
        return TV_ERR_RECORD_NAME;
    if (m_playHandle < 0)
        return TV_ERR_NO_PLAY_HANDLE;
    const std::string path = RecordFilePath(directory, name, ".mp4");
    const BOOL saved = m_live ? NET_DVR_SaveRealData(m_playHandle, path.c_str())
                              : NET_DVR_PlayBackSaveData(m_playHandle, path.c_str());
    return saved == TRUE ? 0 : SdkFailure();
}

int CHikDevicePlayer::StopRecord()
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (m_live)
        NET_DVR_StopSaveRealData(m_playHandle);
    else
        NET_DVR_StopPlayBackSave(m_playHandle);
    return 0;
}

int CHikDevicePlayer::DownloadByTime(int channel, int startTime, int endTime, const char* path)
{
    const int ready = Ready();
    if (ready != 0) {
        TpSetLastError(ready);
        return -1;
    }
    NET_DVR_TIME start{}, end{};
    if (!ToSdkTime(startTime, &start) || !ToSdkTime(endTime, &end)) {
        TpSetLastError(E_FAIL);
        return -1;
    }
    const LONG saveHandle = NET_DVR_GetFileByTime(m_loginId, channel, &start, &end, path);
    if (saveHandle >= 0)
        NET_DVR_PlayBackControl(saveHandle, NET_DVR_PLAYSTART, 0, nullptr);
    TpSetLastError(SdkFailure());
    return saveHandle;
}

int CHikDevicePlayer::GetDownloadPosition(int saveHandle, int* position)
{
    const int result = Ready();
    if (result != 0)
        return result;
    if (saveHandle < 0 || !position)
        return SdkFailure();
    const int done = NET_DVR_GetDownloadPos(saveHandle);
    if (done < 0)
        return SdkFailure();
    *position = done;
    return 0;
}

int CHikDevicePlayer::StopDownload(int saveHandle)
{
    const int result = Ready();
    if (result != 0)
        return result;
    const int done = NET_DVR_GetDownloadPos(saveHandle);
    if (done > 0 && done < 100)
        NET_DVR_StopGetFile(saveHandle);
    return 0;
}

int CHikDevicePlayer::SetVolume(int volume)
{
    int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (m_live) {
        if (volume < 0)
            return NET_DVR_CloseSoundShare(m_playHandle) == TRUE ? 0 : SdkFailure();
        if (NET_DVR_OpenSoundShare(m_playHandle) != TRUE ||
            NET_DVR_Volume(m_playHandle, static_cast<WORD>(volume)) != TRUE)
            return SdkFailure();
        return 0;
    }
    if (volume < 0)
        return Command(NET_DVR_PLAYSTOPAUDIO);
    result = Command(NET_DVR_PLAYSTARTAUDIO);
    if (result != 0)
        return result;
    return Command(NET_DVR_PLAYAUDIOVOLUME, static_cast<unsigned>(volume));
}

int CHikDevicePlayer::SetColor(int brightness, int contrast, int saturation, int hue)
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (!m_live)
        return SdkFailure();
    return NET_DVR_ClientSetVideoEffect(m_playHandle, brightness / 12, contrast / 12,
                                        saturation / 12, hue / 12) == 0
               ? 0
               : SdkFailure();
}

int CHikDevicePlayer::GetColor(int* brightness, int* contrast, int* saturation, int* hue)
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (!brightness || !contrast || !saturation || !hue)
        return E_POINTER;
    if (!m_live)
        return SdkFailure();
    DWORD b = 0, c = 0, s = 0, h = 0;
    if (NET_DVR_ClientGetVideoEffect(m_playHandle, &b, &c, &s, &h) != 0)
        return SdkFailure();
    *brightness = static_cast<int>(b * 12);
    *contrast = static_cast<int>(c * 12);
    *saturation = static_cast<int>(s * 12);
    *hue = static_cast<int>(h * 12);
    return 0;
}

int CHikDevicePlayer::GrabPicture(const char* path)
{
    const int result = ReadyWithHandle();
    if (result != 0)
        return result;
    if (!path)
        return E_POINTER;
    if (!CreateFoldersAlong(path))
        return E_FAIL;
    const BOOL captured = m_live ? NET_DVR_CapturePicture(m_playHandle, path)
                                 : NET_DVR_PlayBackCaptureFile(m_playHandle, path);
    return captured ? 0 : SdkFailure();
}
