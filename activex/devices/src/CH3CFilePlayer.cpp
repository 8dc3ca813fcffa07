#include "CH3CFilePlayer.h"

#include <chrono>
#include <string>
#include <thread>

#include "DevicePlayers.h"
#include "H3CWindow.h"
#include "win32/path.h"

namespace {

struct RateCode {
    double rate;
    int code;
};
constexpr RateCode kRateCodes[] = {{1, 0}, {0.25, 1}, {0.5, 2}, {2, 3},  {4, 4},
                                   {8, 5}, {-1, 7},   {-2, 8},  {-4, 9}, {-8, 10}};

// The control loads a file in the background: asked this often, this far apart.
constexpr int kLoadQueries = 50;
constexpr auto kLoadInterval = std::chrono::milliseconds(10);

} // namespace

CH3CFilePlayer::CH3CFilePlayer(HWND hWnd, TvH3CWindow* h3c) : CPlayerBase(hWnd), m_h3c(h3c) {}

bool CH3CFilePlayer::SpeedCode(double rate, int* code)
{
    for (const RateCode& entry : kRateCodes)
        if (entry.rate == rate) {
            *code = entry.code;
            return true;
        }
    return false;
}

int CH3CFilePlayer::Single(const wchar_t* member)
{
    return CallH3C(m_h3c, member) ? 0 : E_FAIL;
}

bool CH3CFilePlayer::PlayTime(LONG* played, LONG* total)
{
    return CallH3C(m_h3c, L"GetPlayTime", {H3CArg::Out(played), H3CArg::Out(total)});
}

int CH3CFilePlayer::OpenLocalFile(const char* path)
{
    if (!m_h3c || !path || !CallH3C(m_h3c, L"OpenFile", {H3CArg::Text(path)}))
        return E_FAIL;
    for (int i = 0; i < kLoadQueries; ++i) {
        LONG played = 0, total = 0;
        if (PlayTime(&played, &total) && total > 0) {
            CallH3C(m_h3c, L"ShowWindow", {H3CArg::Number(1)});
            return Single(L"Play");
        }
        std::this_thread::sleep_for(kLoadInterval);
    }
    return E_FAIL;
}

int CH3CFilePlayer::Pause()
{
    return Single(L"Pause");
}

int CH3CFilePlayer::Play()
{
    return Single(L"Play");
}

int CH3CFilePlayer::StepForward()
{
    return Single(L"StepForward");
}

int CH3CFilePlayer::Stop()
{
    const int result = Single(L"Stop");
    if (result != 0)
        return result;
    return CallH3C(m_h3c, L"SetPosition", {H3CArg::Number(0)}) ? 0 : E_FAIL;
}

int CH3CFilePlayer::Close()
{
    if (!m_h3c)
        return E_FAIL;
    Single(L"Stop");
    return CallH3C(m_h3c, L"ShowWindow", {H3CArg::Number(0)}) ? 0 : E_FAIL;
}

int CH3CFilePlayer::SetRate(double rate)
{
    int code = 0;
    if (!m_h3c || !SpeedCode(rate, &code))
        return E_FAIL;
    return CallH3C(m_h3c, L"SetSpeed", {H3CArg::Number(code)}) ? 0 : E_FAIL;
}

int CH3CFilePlayer::GetDuration(int* milliseconds)
{
    if (!milliseconds)
        return E_POINTER;
    LONG played = 0, total = 0;
    if (!PlayTime(&played, &total))
        return E_FAIL;
    *milliseconds = static_cast<int>(total) * 1000;
    return 0;
}

int CH3CFilePlayer::GetPosition(int* milliseconds)
{
    if (!milliseconds)
        return E_POINTER;
    LONG played = 0, total = 0;
    if (!PlayTime(&played, &total))
        return E_FAIL;
    *milliseconds = static_cast<int>(played) * 1000;
    return 0;
}

int CH3CFilePlayer::SetPosition(int milliseconds)
{
    return CallH3C(m_h3c, L"SetPosition", {H3CArg::Number(milliseconds / 1000)}) ? 0 : E_FAIL;
}

int CH3CFilePlayer::GrabPicture(const char* path)
{
    if (!m_h3c || !path)
        return E_FAIL;
    // A file name is not the control's to choose: it is given the folder only.
    std::string folder = path;
    const char* name = TvFindLastSeparator(path);
    const char* start = name ? name + 1 : path;
    if (std::string(start).find('.') != std::string::npos)
        folder.resize(static_cast<size_t>(start - path));
    if (!CallH3C(m_h3c, L"SetCapturePath", {H3CArg::Text(folder.c_str())}))
        return E_FAIL;
    return Single(L"Capture");
}
