#include "CH3CDevicePlayer.h"

#include <ctime>

#include "Bstr.h"
#include "CDeviceLoginState.h"
#include "DevicePlayers.h"
#include "H3CDevice.h"

namespace {

// The device's speed codes and their rates.
struct SpeedStep {
    int code;
    double rate;
};
constexpr SpeedStep kSpeeds[] = {{1, 0.25}, {2, 0.5}, {0, 1.0}, {3, 2.0},
                                 {4, 4.0},  {5, 8.0}, {6, 16.0}};

// A local time as the device reads it; "" when localtime cannot convert it.
std::string DeviceTime(time_t value)
{
    std::tm tm{};
    if (!localtime_r(&value, &tm))
        return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

} // namespace

CH3CDevicePlayer::CH3CDevicePlayer(HWND hWnd) : CPlayerBase(hWnd) {}

CH3CDevicePlayer::~CH3CDevicePlayer()
{
    if (m_playHandle >= 0 && Device())
        Close();
}

IH3CDevice* CH3CDevicePlayer::Device() const
{
    const CDeviceLoginState* state = CDeviceLoginState::Of(this);
    return state ? state->H3CDevice() : nullptr;
}

int CH3CDevicePlayer::SpeedCode(double rate)
{
    int code = kSpeeds[0].code;
    for (const SpeedStep& step : kSpeeds)
        if (step.rate <= rate)
            code = step.code;
    return code;
}

bool CH3CDevicePlayer::RateOfCode(int code, double* rate)
{
    for (const SpeedStep& step : kSpeeds)
        if (step.code == code) {
            *rate = step.rate;
            return true;
        }
    return false;
}

int CH3CDevicePlayer::OpenStream(const char*, int, int, int channel)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    Close();
    if (channel < 0)
        return TV_ERR_H3C_CHANNEL;
    LONG failed = 1;
    device->OpenRealPlay(channel, m_hWnd, &failed);
    if (failed != 0)
        return TV_ERR_H3C_OPEN_STREAM;
    m_playHandle = 0;
    return 0;
}

int CH3CDevicePlayer::OpenPeriod(int channel, int startTime, int endTime)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    Close();
    if (channel < 0)
        return TV_ERR_H3C_CHANNEL;
    const std::string start = DeviceTime(startTime);
    const std::string end = DeviceTime(endTime);
    if (start.empty() || end.empty())
        return TV_ERR_H3C_OPEN_PERIOD;
    CBstr startText(start.c_str()), endText(end.c_str());
    if (device->OpenPlayback(channel, startText, endText, m_hWnd) != 0)
        return TV_ERR_H3C_OPEN_PERIOD;
    m_playHandle = 0;
    return 0;
}

int CH3CDevicePlayer::OpenRemoteFile(const char* fileName)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    Close();
    CBstr name(fileName);
    const LONG answer = device->OpenPlaybackByName(name, m_hWnd);
    if (answer == 0)
        m_playHandle = 0;
    return answer;
}

int CH3CDevicePlayer::Pause()
{
    IH3CDevice* device = Device();
    return device ? device->Pause() : TV_ERR_H3C_NO_DEVICE;
}

int CH3CDevicePlayer::Play()
{
    IH3CDevice* device = Device();
    return device ? device->Play() : TV_ERR_H3C_NO_DEVICE;
}

int CH3CDevicePlayer::Stop()
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    m_playHandle = -1;
    return device->Stop();
}

int CH3CDevicePlayer::Close()
{
    if (!Device())
        return TV_ERR_H3C_NO_DEVICE;
    StopRecord();
    return Stop();
}

int CH3CDevicePlayer::SetRate(double rate)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    if (!(rate >= 0.25 && rate <= 16.0))
        return TV_ERR_DEVICE_RATE;
    return device->SetSpeed(SpeedCode(rate));
}

int CH3CDevicePlayer::GetRate(double* rate)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    if (!rate)
        return E_POINTER;
    LONG code = -1;
    const LONG answer = device->GetSpeed(&code);
    if (answer != 0)
        return answer;
    return RateOfCode(code, rate) ? 0 : TV_ERR_H3C_RATE_CODE;
}

int CH3CDevicePlayer::StartRecord(const char* directory, const char* name)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    CBstr directoryText(directory), nameText(name);
    return device->StartRecord(directoryText, nameText);
}

int CH3CDevicePlayer::StopRecord()
{
    IH3CDevice* device = Device();
    return device ? device->StopRecord() : TV_ERR_H3C_NO_DEVICE;
}

int CH3CDevicePlayer::DownloadByTime(int channel, int startTime, int endTime, const char* path)
{
    IH3CDevice* device = Device();
    if (!device) {
        TpSetLastError(TV_ERR_H3C_NO_DEVICE);
        return -1;
    }
    CBstr start(DeviceTime(startTime).c_str()), end(DeviceTime(endTime).c_str()), target(path);
    const LONG handle = device->DownloadByTime(channel, start, end, target);
    if (handle < 0)
        TpSetLastError(E_FAIL);
    return handle;
}

int CH3CDevicePlayer::GetDownloadPosition(int saveHandle, int* position)
{
    IH3CDevice* device = Device();
    if (!device)
        return TV_ERR_H3C_NO_DEVICE;
    LONG done = 0;
    const LONG answer = device->GetDownloadPosition(saveHandle, position ? &done : nullptr);
    if (answer == 0 && position)
        *position = done;
    return answer;
}

int CH3CDevicePlayer::StopDownload(int saveHandle)
{
    IH3CDevice* device = Device();
    return device ? device->StopDownload(saveHandle) : TV_ERR_H3C_NO_DEVICE;
}
