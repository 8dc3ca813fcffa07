#include "PlaySteps.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <thread>

#include "TarvoPlayLib.h"

std::string Describe(int result)
{
    char text[96];
    const char* name = TpResultName(result);
    if (result < -1)
        std::snprintf(text, sizeof text, "0x%08X %s", static_cast<unsigned>(result),
                      name ? name : "");
    else if (result == 1)
        std::snprintf(text, sizeof text, "1 S_FALSE");
    else if (result > 1 && name)
        std::snprintf(text, sizeof text, "%d %s", result, name);
    else
        std::snprintf(text, sizeof text, "%d", result);
    return text;
}

LOGFONTA OverlayFont(int height)
{
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(font.lfFaceName, "Arial", sizeof font.lfFaceName - 1);
    return font;
}

CStepLog::CStepLog() : m_start(std::chrono::steady_clock::now()) {}

double CStepLog::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void CStepLog::Print(const char* verdict, const char* format, va_list args)
{
    std::printf("[%5.1fs] ", Seconds());
    if (verdict)
        std::printf("%-7s ", verdict);
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
}

void CStepLog::Say(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Print(nullptr, format, args);
    va_end(args);
}

bool CStepLog::Check(bool ok, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Print(ok ? "ok" : "FAILED", format, args);
    va_end(args);
    if (!ok)
        ++m_failures;
    return ok;
}

std::string StatisticsLine(int handle)
{
    char text[1024] = "";
    int r = TP_GetStatistics(handle, text, sizeof text);
    if (r != 0)
        return "no statistics: " + Describe(r);
    // "a\r\nb\r\n" on one line: "a | b".
    std::string line;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r')
            continue;
        if (*p == '\n') {
            if (p[1])
                line += " | ";
            continue;
        }
        line += *p;
    }
    return line;
}

uint64_t PicturesShown(HWND hwnd)
{
    uint64_t shown = 0;
    TvCopyWindowPicture(hwnd, nullptr, 0, nullptr, nullptr, &shown);
    return shown;
}

bool WaitForPictures(HWND hwnd, uint64_t count, int timeoutMs, PumpFn pump, void* user,
                     uint64_t* shown)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        uint64_t now = PicturesShown(hwnd);
        if (shown)
            *shown = now;
        if (now >= count)
            return true;
        if (pump && !pump(user))
            return false;
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool SaveSnapshot(CStepLog& log, HWND hwnd, const std::string& path)
{
    WindowPicture picture;
    if (!CopyWindowPicture(hwnd, picture))
        return log.Check(false, "PNG snapshot %s: the window has shown no picture", path.c_str());
    std::string error;
    if (!SavePicturePng(picture, path, error))
        return log.Check(false, "PNG snapshot %s: %s", path.c_str(), error.c_str());
    const int colours = picture.DistinctColours(1000);
    return log.Check(colours > 1, "PNG snapshot of the window's picture: %s (%dx%d, %s%d colours)",
                     path.c_str(), picture.width, picture.height, colours >= 1000 ? ">= " : "",
                     colours);
}
