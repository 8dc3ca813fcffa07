// The network SDK's device player (device type 6): live view of a channel,
// playback by time or by file name, recording, downloads, capture, colour and
// sound, through the SDK's play handle.
//
// Every operation first needs an initialised SDK (20003) and a login
// identifier (20201); those on a play handle need one (20204); the playback
// operations answer E_FAIL in live view. SDK failures are 20000 + the SDK's
// last error.
//
// Threads: the control's thread.
#pragma once

#include <ctime>
#include <string>

#include "CPlayerBase.h"

class CDeviceLoginState;

class CHikDevicePlayer : public CPlayerBase {
public:
    // NET_DVR_Init through the player's login state; loginHandle < 0: none yet.
    CHikDevicePlayer(HWND hWnd, int loginHandle);
    // Close; the login state then cleans the SDK up.
    ~CHikDevicePlayer() override;

    int OpenStream(const char* address, int port, int connectType, int channel) override;
    int OpenPeriod(int channel, int startTime, int endTime) override;
    int OpenRemoteFile(const char* fileName) override;
    int Pause() override;
    int Play() override;
    int Stop() override;
    int Close() override;
    int SetRate(double rate) override;
    int GetRate(double* rate) override;
    int StepForward() override;
    int GetDuration(int* milliseconds) override;
    int GetTotalFrames(int* value) override;
    int StartRecord(const char* directory, const char* name) override;
    int StopRecord() override;
    int DownloadByTime(int channel, int startTime, int endTime, const char* path) override;
    int GetDownloadPosition(int saveHandle, int* position) override;
    int StopDownload(int saveHandle) override;
    int SetVolume(int volume) override;
    int SetColor(int brightness, int contrast, int saturation, int hue) override;
    int GetColor(int* brightness, int* contrast, int* saturation, int* hue) override;
    int GrabPicture(const char* path) override;
    // Logs in through the player's login state; a device login of type 6
    // becomes this player's login identifier when it has none yet.
    int Login(int deviceType, const char* address, int port, const char* userName,
              const char* password, int* loginId) override;
    int SetLoginHandle(int loginHandle) override;

private:
    // 0, 20003 or 20201.
    int Ready() const;
    // Ready, then 20204 without a play handle.
    int ReadyWithHandle() const;
    // Ready with a handle, then E_FAIL in live view.
    int ReadyForPlayback() const;
    // One playback command; 0, or 20000 + the SDK's error when it does not return 1.
    int Command(unsigned command, unsigned inValue = 0, unsigned* outValue = nullptr);
    // Takes a playback handle the SDK opened and starts it; a start that fails
    // stops it again and keeps no handle.
    int StartPlayback(LONG handle);
    // A playback value the device reports through `command`, times scale.
    int ReadPlaybackValue(unsigned command, unsigned scale, int* value);
    // Opens the playback of the kept channel and times, or of the kept file name.
    int Reopen();

    CDeviceLoginState* m_state; // the base's login state; null without one
    int m_loginId;
    int m_playHandle = -1;
    bool m_live = true;
    double m_rate = 1.0;
    bool m_stepping = false;
    int m_channel = -1;
    time_t m_startTime = -1;
    time_t m_endTime = -1;
    bool m_paused = false;
    // The file of a playback by name ("" for one by time): Play after Stop
    // opens it again.
    std::string m_fileName;
};
