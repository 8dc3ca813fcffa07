// The H3C device player (device type 8): live view, playback by time or by
// name, speed, record and download through the H3C device object that the
// player's login created (CPlayerBase's login state). Without that object
// every operation returns 30003.
//
// Threads: the control's thread.
#pragma once

#include "CPlayerBase.h"

struct IH3CDevice;

class CH3CDevicePlayer : public CPlayerBase {
public:
    explicit CH3CDevicePlayer(HWND hWnd);
    ~CH3CDevicePlayer() override;

    int OpenStream(const char* address, int port, int connectType, int channel) override;
    int OpenPeriod(int channel, int startTime, int endTime) override;
    int OpenRemoteFile(const char* fileName) override;
    int Pause() override;
    int Play() override;
    int Stop() override;
    int Close() override;
    int SetRate(double rate) override;
    int GetRate(double* rate) override;
    int StartRecord(const char* directory, const char* name) override;
    int StopRecord() override;
    int DownloadByTime(int channel, int startTime, int endTime, const char* path) override;
    int GetDownloadPosition(int saveHandle, int* position) override;
    int StopDownload(int saveHandle) override;

    // The device's speed code for a rate in 0.25-16 (the largest listed rate
    // not above it), and the rate of a code; false for an unknown code.
    static int SpeedCode(double rate);
    static bool RateOfCode(int code, double* rate);

private:
    // The login state's device object (not add-referenced), or null.
    IH3CDevice* Device() const;

    int m_playHandle = -1; // 0 while something is open on the device
};
