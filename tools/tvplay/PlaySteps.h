// What the player and the demo share: how results are named, how each step is
// reported and counted, the statistics line, and waiting for pictures.
#pragma once

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <string>

#include <windows.h>
#include <wingdi.h>

#include "PlayWindow.h"

// "0", "1 S_FALSE", "-1", "10004 TP_ERR_UNSUPPORTED", "0x80004005 E_FAIL".
std::string Describe(int result);

// A LOGFONTA for the text and time overlays: Arial (a metric-compatible face
// through fontconfig), bold, `height` pixels.
LOGFONTA OverlayFont(int height);

// Prints what happens, each line stamped with the seconds since the start, and
// counts the steps that failed.
class CStepLog {
public:
    CStepLog();
    // "[  1.2s] text".
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "[  1.2s] ok      text" or "[  1.2s] FAILED  text"; returns ok.
    bool Check(bool ok, const char* format, ...) __attribute__((format(printf, 3, 4)));
    int Failures() const { return m_failures; }
    double Seconds() const;

private:
    // "[  1.2s] " and the verdict (null: none) before the formatted text.
    void Print(const char* verdict, const char* format, va_list args);

    std::chrono::steady_clock::time_point m_start;
    int m_failures = 0;
};

// The player's statistics text on one line ("NWSource--... | After Decoder--...");
// the result code when there is none.
std::string StatisticsLine(int handle);

// Keeps the window's events flowing while waiting: called about every 20 ms; a
// false result ends the wait early.
using PumpFn = bool (*)(void* user);

// Waits until the window has shown at least `count` pictures; false after
// timeoutMs (negative: no limit) or when pump says stop. `shown` receives the
// count last seen.
bool WaitForPictures(HWND hwnd, uint64_t count, int timeoutMs, PumpFn pump, void* user,
                     uint64_t* shown = nullptr);
// The number of pictures the window has shown (0 while nothing draws into it).
uint64_t PicturesShown(HWND hwnd);

// Copies the window's picture and writes it as a PNG; says what it wrote, and
// how many colours the picture has. False (a failed step) when there is no
// picture or the file cannot be written.
bool SaveSnapshot(CStepLog& log, HWND hwnd, const std::string& path);
