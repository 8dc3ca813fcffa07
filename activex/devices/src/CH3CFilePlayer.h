// The H3C file player: a local recording played by the hosted H3C control
// (the control's second choice for OpenLocalFile). Without the control every
// operation returns E_FAIL; a call the control refuses is E_FAIL too.
//
// Threads: the control's thread.
#pragma once

#include "CPlayerBase.h"

struct TvH3CWindow;

class CH3CFilePlayer : public CPlayerBase {
public:
    // h3c belongs to the control and outlives the player; null is allowed.
    CH3CFilePlayer(HWND hWnd, TvH3CWindow* h3c);

    int OpenLocalFile(const char* path) override;
    int Pause() override;
    int Play() override;
    int Stop() override;
    int Close() override;
    int SetRate(double rate) override;
    int StepForward() override;
    int GetDuration(int* milliseconds) override;
    int GetPosition(int* milliseconds) override;
    int SetPosition(int milliseconds) override;
    int GrabPicture(const char* path) override;

    // The control's speed code of a rate; false for a rate it has no code for.
    static bool SpeedCode(double rate, int* code);

private:
    // One member call with no arguments: 0, or E_FAIL.
    int Single(const wchar_t* member);
    // The control's played and total seconds; false when it does not answer.
    bool PlayTime(LONG* played, LONG* total);

    TvH3CWindow* m_h3c;
};
