// The PlayM4 file player: a local recording played by the file player
// library on port 99, so one such file per process. The first choice of the
// control's OpenLocalFile.
//
// PlayM4 results of 1 are success; anything else gives 20100 + the library's
// error on port 99.
//
// Threads: operations on the control's thread; the display callback on the
// library's thread (it only reads the pending capture and clears it).
#pragma once

#include "CPlayerBase.h"

class CHikFilePlayer : public CPlayerBase {
public:
    explicit CHikFilePlayer(HWND hWnd);
    // Closes the file when one is open.
    ~CHikFilePlayer() override;

    int OpenLocalFile(const char* path) override;
    int Pause() override;
    int Play() override;
    int Stop() override;
    int Close() override;
    int SetRate(double rate) override;
    int GetRate(double* rate) override;
    int StepForward() override;
    int StepBackward() override;
    int GetDuration(int* milliseconds) override;
    int GetPosition(int* milliseconds) override;
    int SetPosition(int milliseconds) override;
    int SetVolume(int volume) override;
    int GetVolume(int* volume) override;
    // Remembers the path; the next picture PlayM4 shows is written there.
    int GrabPicture(const char* path) override;

private:
    double m_rate = 1.0;
    bool m_stepping = false;
    bool m_open = false;
};
